#pragma once
// What a SoundFont zone's generators make of an MA-1 layer: envelopes, LFOs, their routes,
// the filter, pan and level, in the voice engine's units and as SoundFont players hear them.
// Both ways of importing a SoundFont (by instruments and by presets) build their layers here.
#include <string>
#include <vector>

#include "model/Program.h"

namespace talmeru {

// The generators that shape a layer, in the SoundFont's units (defaults as the standard's).
struct Sf2LayerValues {
    // delay, attack, hold, decay (timecents), sustain (cB or 0.1%), release (timecents)
    int modEnv[6] = {-12000, -12000, -12000, -12000, 0, -12000};
    int volEnv[6] = {-12000, -12000, -12000, -12000, 0, -12000};
    int modLfoFreq = 0, vibLfoFreq = 0;                           // absolute cents: 8.176 Hz
    int modLfoToPitch = 0, vibLfoToPitch = 0, modEnvToPitch = 0;  // cents
    int modLfoToFilter = 0, modEnvToFilter = 0;                   // cents
    int modLfoToVolume = 0;                                       // cB
    int filterFc = 13500, filterQ = 0;                            // absolute cents, cB
    int pan = 0;                                                  // 0.1%, -500..500
    int attenuation = 0;                                          // cB
};

struct Sf2LayerModulators {
    EnvModulator* envA = nullptr;  // modulation envelope
    EnvModulator* envB = nullptr;  // volume envelope
    LfoModulator* lfoA = nullptr;  // modulation LFO
    LfoModulator* lfoB = nullptr;  // vibrato LFO
};

// Adds the four modulators a SoundFont layer uses, in the order the layer's routes name them.
Sf2LayerModulators AddSf2LayerModulators(Layer& layer);

// Sets the modulators, routes, filter, pan and level from v. With playersDefaults, the
// modulators every SoundFont player applies unless a file replaces them are added too (the
// velocity curve on the level and on the cutoff, mod wheel and channel pressure on the vibrato
// depth); a file of our own export carries its own.
void MakeSf2Layer(const Sf2LayerValues& v, const Sf2LayerModulators& m, Layer& layer,
                  bool playersDefaults);

// What of v the MA-1 cannot hold and MakeSf2Layer holds at the nearest it can, one phrase
// each ("a volume decay of 31.2 s, held to 20.4 s"); empty when everything fits.
std::vector<std::string> Sf2LayerApproximations(const Sf2LayerValues& v);

// A SoundFont modulator: source, destination generator, amount, amount source.
struct Sf2Route {
    int src = 0, dest = 0, amount = 0, amountSrc = 0;
};

// Whether m is the tracking of the Amp or Filter #1 block (velocity and key into the level or
// the cutoff), which the blocks' tracking holds rather than a route.
bool IsSf2Tracking(const Sf2Route& m);

// Modulators from MIDI sources as modulation entries: a route from a source into Pitch,
// Filter #1 or Amp, or a depth that a source adjusts (of such a route, or of a route from the
// layer's envelopes and LFOs), in the engine's units. Modulators of tracking, of amount 0 or
// from sources the MA-1 has not are passed over.
void AddSf2Routes(const std::vector<Sf2Route>& routes, const Sf2LayerModulators& m, Layer& layer);

// Reads one generator into v; false when it is not one that shapes a layer.
bool SetSf2LayerValue(Sf2LayerValues& v, int op, int amount);

// The layer's level in dB from an initial attenuation: players scale the generator by 0.4, as
// the sound cards the format was made for did, and files are voiced for that.
double Sf2AttenuationDb(double centibels);
// The inverse, for the export.
double Sf2AttenuationCb(double db);

// The Amp gain in dB of a layer made from v with the filter it has: the attenuation as players
// scale it, less half the peak of a resonant filter, by which players lower its output.
int Sf2LayerGain(const Sf2LayerValues& v, const Layer& layer);

}  // namespace talmeru
