#include "emulator/FactoryRom.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <string>

#include "emulator/RomWaves.h"
#include "model/Layer.h"
#include "model/Ma1Units.h"
#include "platform/ByteIO.h"
#include "platform/RomDirectory.h"

namespace talmeru::emulator {

namespace {

constexpr int kTypeKeymap = 1;
constexpr int kTypeSample = 2;
constexpr int kTypeProgram = 3;
constexpr uint16_t kSilent = 0xFFFF;
constexpr int kDrumKitProgram = 128;
constexpr int kDrumKitKeymap = 73;

int RegionIndex(std::string_view name) {
    auto dir = RomDirectory();
    for (size_t i = 0; i < dir.size(); ++i)
        if (dir[i].name == name) return int(i);
    return -1;
}

// General MIDI percussion, keys 35..81.
constexpr const char* kDrumKeys[] = {
    "Dry Kick",     "Dry Kick",       "Side Stick", "Snare 1",         "Hand Clap", "Snare 2",
    "High Tom",     "Closed HH",      "High Tom",   "Foot HH",         "High Tom",  "OpenCl HH",
    "High Tom",     "High Tom",       "Crash",      "High Tom",        "Ride Rim",  "China Cymbal",
    "Ride Bell",    "Tambourine Hit", "Splash",     "Cowbell",         "Crash",     "Vibeslap",
    "Ride Rim",     "High Bongo",     "Low Bongo",  "Mute High Conga", "Conga",     "Conga",
    "Low Timbale",  "Low Timbale",    "Agogo",      "Agogo",           "Shaker",    "Maracas",
    "Long Whistle", "Long Whistle",   "Long Guiro", "Long Guiro",      "Clave",     "Wood Block",
    "Wood Block",   "Cuica",          "Cuica",      "Triangle",        "Triangle",
};
constexpr int kFirstDrumKey = 35;

// The key a drum region plays at its recorded pitch: the first key of the kit that plays it,
// so that each drum sounds as made there and its neighbours (the toms) step up from it.
std::optional<int> DrumRootKey(std::string_view name) {
    for (size_t i = 0; i < std::size(kDrumKeys); ++i)
        if (name == kDrumKeys[i]) return kFirstDrumKey + int(i);
    return std::nullopt;
}

// ---- sample headers: one per ROM region, numbered as the directory

void NaturalEntry(ByteWriter& w, int slope, uint16_t frames) {
    w.S16(int16_t(slope));
    w.U16(frames);
}

int NaturalSlope(double dbPerSecond) {
    return int(
        std::clamp(std::lround(dbPerSecond / units::kNaturalDbPerSecondPerStep), -32768L, 32767L));
}

std::vector<uint8_t> SampleBody(const RomRegion& r) {
    const std::optional<int> root = RomRootKey(r.name);
    const double playsAt = root ? RomRecordedKey(r) : DrumRootKey(r.name).value_or(60);
    ByteWriter w;
    w.S32(r.start);
    w.S32(r.loopStart);
    w.S32(r.end);
    w.S8(0);  // amplitude
    w.U8(0);  // 8-bit K8 data
    // 8-bit ROM data plays at 44.1 kHz: an octave below the 88.2 kHz reference.
    w.S16(int16_t(std::lround(256 * (playsAt - 60 + 12))));
    // Held: the stretches the wave asks for, each in pieces a header entry can count.
    for (const NaturalStretch& s : RomHeldEnvelope(r)) {
        int32_t frames = s.frames;
        do {
            const int32_t n = std::min<int32_t>(frames, 30000);
            NaturalEntry(w, NaturalSlope(s.dbPerSecond), uint16_t(n));
            frames -= n;
        } while (frames > 0);
    }
    // Released, a tone falls 60 dB a second under the layer's envelope; a drum at once.
    if (root) {
        NaturalEntry(w, -200, 0);
        NaturalEntry(w, -2046, 0);
    } else {
        NaturalEntry(w, -6818, 0);
    }
    return w.Take();
}

// ---- keymaps

struct KeymapPlan {
    int number;
    const char* name;
    const char* match;  // the keymap plays every region whose name contains this
    int amp;
};

// Numbers 0..72 cover the instrument families; 87, 90 and 95 are the further maps that
// K2000 imports rely on.
constexpr KeymapPlan kKeymaps[] = {
    {0, "Grand Piano", "-gm piano", 0},
    {1, "Strings", "-gm strings", 0},
    {2, "Elec Piano", "-gm elec piano", 0},
    {3, "Steel Guitar", "-gm steel string", 0},
    {4, "Jazz Guitar", "-gm jazz guitar", 0},
    {5, "Nylon Guitar", "-gm nylon guitar", 0},
    {6, "Fretless Bass", "-gm fretless bass", 0},
    {7, "Pick Bass", "-gm pick bass", 0},
    {8, "Slap Bass", "-gm slap bass", 0},
    {9, "Finger Bass", "-gm acoustic bass", 0},
    {10, "Flute", "-gm flute", 0},
    {11, "Oboe", "-gm oboe", 0},
    {12, "Clarinet", "-gm clarinet", 0},
    {13, "English Horn", "-gm ehorn", 0},
    {14, "Bassoon", "-gm bassoon", 0},
    {15, "French Horn", "-gm french", 0},
    {16, "Trumpet", "-gm trumpet", 0},
    {17, "Trombone", "-gm trombone", 0},
    {18, "Violin", "-gm violin", 0},
    {19, "Viola", "-gm viola", 0},
    {20, "Cello", "-gm cello", 0},
    {21, "Double Bass", "-gm double bass", 0},
    {22, "Vibes", "-gm vibes", 0},
    {23, "Glockenspiel", "-gm glock", 0},
    {24, "Celeste", "-gm celeste", 0},
    {25, "Timpani", "-gm timpani", 0},
    {26, "Harpsichord", "-Harpsichord", 0},
    {27, "Clav", "-Clav", 0},
    {28, "Koto", "-Koto", 0},
    {29, "Marimba", "-Marimba", 0},
    {30, "Kalimba", "-Kalimba", 0},
    {31, "Muted Trumpet", "-Muted Trumpet", 0},
    {32, "Strat", "-Strat", 0},
    {33, "Dist Guitar", "-Dist Gtr", 0},
    {34, "Harp", "-Plucked Harp", 0},
    {35, "Church Organ", "-Church Organ", 0},
    {36, "Panflute", "-Panflute", 0},
    {37, "Pizzicato", "-Pizzicato", 0},
    {38, "Reed", "-Reed", 0},
    {39, "Bagpipe", "-Bagpipe", 0},
    {40, "Bottle", "-Bottle", 0},
    {41, "Steel Drum", "-SteelDrum", 0},
    {42, "Synth String", "-Synth String", 0},
    {43, "Synth Vox", "-Synth Vox", 0},
    {44, "Organ", "-GM Organ 3", 0},
    {45, "Ocarina", "Ocarina", 0},
    {46, "Doos", "-Doos", 0},
    {47, "Tubular Bells", "-Tubular Bells", 0},
    {48, "Perc Organ", "-Perc Organ", 0},
    {49, "Spectral Wave", "-Spectral Wave", 0},
    {50, "Tenor Sax", "-Tenor Sax", 0},
    {51, "Orch Hit", "-Orch Hit", 0},
    {52, "Telephone", "-Telephone", 0},
    {53, "Gunshot", "-Gunshot", 0},
    {54, "Sine Wave", "-Sine Wave", 0},
    {55, "Saw Wave", "-Saw", 0},
    {56, "Square Wave", "-Square", 0},
    {57, "EP Wave", "-EP Wave", 0},
    {58, "Bell Wave", "-Bell Wave", 0},
    {59, "Vocal Ahhs", "-Vocal Ahhs", 0},
    {60, "Applause", "-Applause", 0},
    {61, "Icerain", "-Icerain", 0},
    {62, "Banjo", "-Banjo", 0},
    {63, "Brass", "-Brass", 0},
    {64, "Accordion", "-Accordion", 0},
    {65, "Harmonica", "-Harmonica", 0},
    {66, "Gtr Harmonics", "-GtrHarm", 0},
    {67, "Drawbar Organ", "-Drawbar Organ", 0},
    {68, "Voices", "-Vocal Ahhs", -3},
    {69, "Mellow Vox", "-Synth Vox", -6},
    {70, "Fret Noise", "-Fret Noise", 0},
    {71, "Bird", "-Bird", 0},
    {72, "Soft Elec Piano", "-gm elec piano", -6},
    {87, "Chiff", "-Chiff", 0},
    {90, "Dull Saw", "-Saw", 0},
    {95, "Dual Elec Bass", "-gm pick bass", -2},
};

void KeymapEntry(ByteWriter& w, int top, int amp, uint16_t sample) {
    w.U8(uint8_t(top));
    w.S8(int8_t(amp));
    w.U16(sample);
}

// One entry per distinct root, split halfway between neighbouring roots.
std::vector<uint8_t> KeymapBody(const KeymapPlan& plan) {
    struct Pick {
        int root;
        int sample;
    };
    std::vector<Pick> picks;
    auto dir = RomDirectory();
    for (size_t i = 0; i < dir.size(); ++i) {
        if (dir[i].name.find(plan.match) == std::string_view::npos) continue;
        int root = RomRootKey(dir[i].name).value_or(60);
        if (!picks.empty() && root <= picks.back().root) continue;
        picks.push_back({root, int(i)});
    }
    ByteWriter w;
    w.U8(0);
    w.U8(127);
    for (size_t j = 0; j < picks.size(); ++j) {
        int top = j + 1 == picks.size() ? 127 : (picks[j].root + picks[j + 1].root) / 2;
        KeymapEntry(w, top, plan.amp, uint16_t(picks[j].sample));
    }
    return w.Take();
}

std::vector<uint8_t> DrumKeymapBody() {
    ByteWriter w;
    w.U8(0);
    w.U8(127);
    KeymapEntry(w, kFirstDrumKey - 1, 0, kSilent);
    int key = kFirstDrumKey;
    for (const char* name : kDrumKeys)
        KeymapEntry(w, key++, 0, uint16_t(RegionIndex(name)));
    KeymapEntry(w, 127, 0, kSilent);
    return w.Take();
}

// ---- programs

struct GmProgram {
    const char* name;
    int keymap;
};

// The General MIDI programs in order, each with the keymap it plays.
constexpr GmProgram kGmPrograms[128] = {
    {"Acoustic Grand", 0},
    {"Bright Acoustic", 0},
    {"Electric Grand", 0},
    {"Honky-tonk Piano", 0},
    {"Electric Piano 1", 2},
    {"Electric Piano 2", 72},
    {"Harpsichord", 26},
    {"Clavinet", 27},
    {"Celesta", 24},
    {"Glockenspiel", 23},
    {"Music Box", 58},
    {"Vibraphone", 22},
    {"Marimba", 29},
    {"Xylophone", 29},
    {"Tubular Bells", 47},
    {"Dulcimer", 28},
    {"Drawbar Organ", 67},
    {"Percussive Organ", 48},
    {"Rock Organ", 44},
    {"Church Organ", 35},
    {"Reed Organ", 38},
    {"Accordion", 64},
    {"Harmonica", 65},
    {"Tango Accordion", 64},
    {"Nylon Guitar", 5},
    {"Steel Guitar", 3},
    {"Jazz Guitar", 4},
    {"Clean Guitar", 32},
    {"Muted Guitar", 3},
    {"Overdrive Guitar", 33},
    {"Distortion Gtr", 33},
    {"Guitar Harmonics", 66},
    {"Acoustic Bass", 9},
    {"Finger Bass", 9},
    {"Pick Bass", 7},
    {"Fretless Bass", 6},
    {"Slap Bass 1", 8},
    {"Slap Bass 2", 8},
    {"Synth Bass 1", 95},
    {"Synth Bass 2", 21},
    {"Violin", 18},
    {"Viola", 19},
    {"Cello", 20},
    {"Contrabass", 21},
    {"Tremolo Strings", 1},
    {"Pizzicato Str", 37},
    {"Orchestral Harp", 34},
    {"Timpani", 25},
    {"String Ensemble1", 1},
    {"String Ensemble2", 1},
    {"Synth Strings 1", 42},
    {"Synth Strings 2", 42},
    {"Choir Aahs", 68},
    {"Voice Oohs", 59},
    {"Synth Voice", 69},
    {"Orchestra Hit", 51},
    {"Trumpet", 16},
    {"Trombone", 17},
    {"Tuba", 17},
    {"Muted Trumpet", 31},
    {"French Horn", 15},
    {"Brass Section", 63},
    {"Synth Brass 1", 63},
    {"Synth Brass 2", 55},
    {"Soprano Sax", 50},
    {"Alto Sax", 50},
    {"Tenor Sax", 50},
    {"Baritone Sax", 50},
    {"Oboe", 11},
    {"English Horn", 13},
    {"Bassoon", 14},
    {"Clarinet", 12},
    {"Piccolo", 10},
    {"Flute", 10},
    {"Recorder", 10},
    {"Pan Flute", 36},
    {"Blown Bottle", 40},
    {"Shakuhachi", 45},
    {"Whistle", 54},
    {"Ocarina", 45},
    {"Square Lead", 56},
    {"Sawtooth Lead", 55},
    {"Calliope Lead", 45},
    {"Chiff Lead", 87},
    {"Charang Lead", 33},
    {"Voice Lead", 69},
    {"Fifths Lead", 55},
    {"Bass + Lead", 90},
    {"New Age Pad", 58},
    {"Warm Pad", 90},
    {"Polysynth Pad", 55},
    {"Choir Pad", 68},
    {"Bowed Pad", 42},
    {"Metallic Pad", 58},
    {"Halo Pad", 43},
    {"Sweep Pad", 90},
    {"Rain FX", 61},
    {"Soundtrack FX", 49},
    {"Crystal FX", 58},
    {"Atmosphere FX", 57},
    {"Brightness FX", 49},
    {"Goblins FX", 43},
    {"Echoes FX", 46},
    {"Sci-fi FX", 49},
    {"Sitar", 62},
    {"Banjo", 62},
    {"Shamisen", 28},
    {"Koto", 28},
    {"Kalimba", 30},
    {"Bagpipe", 39},
    {"Fiddle", 18},
    {"Shanai", 38},
    {"Tinkle Bell", 58},
    {"Agogo", 41},
    {"Steel Drums", 41},
    {"Woodblock", 29},
    {"Taiko Drum", 25},
    {"Melodic Tom", 25},
    {"Synth Drum", 25},
    {"Reverse Cymbal", 61},
    {"Guitar Fret Nois", 70},
    {"Breath Noise", 45},
    {"Seashore", 61},
    {"Bird Tweet", 71},
    {"Telephone Ring", 52},
    {"Helicopter", 49},
    {"Applause", 60},
    {"Gunshot", 53},
};

struct LayerPlan {
    int keymap = 0;
    int lowKey = 0;
    int highKey = 127;
    int coarse = 0;
    int fine = 0;
    int attack = 0;  // envelope times, 0..255
    int release = 20;
    bool filter = false;
    bool vibrato = false;  // reads the program's LFO through the mod wheel
    uint16_t flags = 0;
};

void Put(ByteWriter& w, std::initializer_list<int> bytes) {
    for (int b : bytes)
        w.U8(uint8_t(b));
}

void WriteLayer(ByteWriter& w, const LayerPlan& s) {
    w.U16(s.flags);
    w.U8(uint8_t(s.highKey));
    w.U8(uint8_t(s.lowKey));
    w.U8(127);  // velocity range
    w.U8(0);
    w.S8(0);   // timbre shift
    w.U8(15);  // pan: centre, auto
    w.U8(0);   // exclusive zone
    w.U8(0);
    w.U16(uint16_t(s.keymap));
    w.U16(0);  // delay
    w.U8(0);
    w.U8(1);  // one layer modulator: the amplitude envelope
    Put(w, {0x20, 14, 0x00, 127, 127, 127, 127, 64});
    Put(w, {127, s.attack, 127, 50, 0, s.release});

    // The channel's pitch bend moves every voice by the range RPN 0 sets; no entry needed.
    const int pitchEntries = s.vibrato ? 1 : 0;
    Put(w, {0xD0, 10 + 4 * pitchEntries, 0, 0, 0, 0});
    w.S8(int8_t(s.coarse));
    w.S8(int8_t(s.fine));
    w.U8(64);  // detune control: none
    w.U8(uint8_t(pitchEntries));
    if (s.vibrato) {
        Put(w, {0xC0, 0, 8, 0x81});
    }

    if (s.filter) {
        Put(w, {0xC3, 10, 3, 0, 0x50, 0x00, 0, 20, 32, 0});  // 2-pole low pass
    } else {
        Put(w, {0xC0, 4, 0, 0});
    }
    Put(w, {0xC0, 4, 16, 0});

    // -6 dB: General MIDI music of a dozen voices stays clear of clipping.
    Put(w, {0xE0, 14, 16, 0, 250, 50, 0, 64, 0, 1, 0xF0, 127, 127, 64});
}

std::vector<uint8_t> ProgramBody(const std::vector<LayerPlan>& layers, bool lfo) {
    ByteWriter w;
    w.U8(0);
    w.U8(0);
    w.U8(uint8_t(layers.size()));
    w.U8(lfo ? 1 : 0);
    const size_t table = w.Pos();
    w.Zeros(2 * layers.size());
    if (lfo) {
        Put(w, {0x10, 6, 0x01, 50, 200, 64});  // sine vibrato
    }
    for (size_t i = 0; i < layers.size(); ++i) {
        w.PatchU16(table + 2 * i, uint16_t(w.Pos()));
        WriteLayer(w, layers[i]);
    }
    return w.Take();
}

std::vector<uint8_t> GmProgramBody(int gm) {
    const int family = gm / 8;
    LayerPlan base;
    base.keymap = kGmPrograms[gm].keymap;
    base.release = family <= 1 ? 30 : 12;
    // The ensembles swell in like the pads, but for the orchestra's stab.
    const bool pad = (family == 6 && gm != 55) || family == 11 || family == 12;
    const bool lead = family == 10;
    const bool vibrato = lead || family == 5 || family == 8;
    if (pad) {
        base.attack = 40;
        base.release = 90;
    }
    base.filter = pad || lead;
    // A pad's slow attack over a falling wave would never reach its level: pads sustain
    // whatever their wave does held alone (the bells of New Age Pad and Crystal).
    if (pad) base.flags = Layer::kFlagNoNaturalEnvelope;
    base.vibrato = vibrato;

    std::vector<LayerPlan> layers = {base};
    if (gm == 3 || gm == 49 || gm == 89) {  // detuned doubles
        LayerPlan second = base;
        second.fine = 12;
        layers.push_back(second);
    } else if (gm == 86) {  // fifths
        LayerPlan second = base;
        second.coarse = 7;
        layers.push_back(second);
    } else if (gm == 87) {  // bass below middle C, lead above
        layers[0].lowKey = 60;
        LayerPlan bass = base;
        bass.keymap = 7;
        bass.highKey = 59;
        bass.vibrato = false;
        layers.push_back(bass);
    }
    return ProgramBody(layers, vibrato);
}

std::vector<uint8_t> DrumKitBody() {
    LayerPlan drums;
    drums.keymap = kDrumKitKeymap;
    drums.release = 60;
    drums.flags = 0x08;  // ignore note off
    return ProgramBody({drums}, false);
}

// Blocks of the further kinds, opaque to everyone but the synthesizer.
std::vector<uint8_t> RawBody(int seed, size_t size) {
    std::vector<uint8_t> body(size);
    for (size_t i = 0; i < size; ++i)
        body[i] = uint8_t((seed * 31 + int(i) * 7) & 0x7F);
    return body;
}

ObjectMap Build() {
    ObjectMap rom;
    auto dir = RomDirectory();
    for (size_t i = 0; i < dir.size(); ++i)
        rom[{kTypeSample, int(i)}] =
            ObjectBlock(kTypeSample, int(i), dir[i].name, SampleBody(dir[i]));
    for (const auto& k : kKeymaps)
        rom[{kTypeKeymap, k.number}] = ObjectBlock(kTypeKeymap, k.number, k.name, KeymapBody(k));
    rom[{kTypeKeymap, kDrumKitKeymap}] =
        ObjectBlock(kTypeKeymap, kDrumKitKeymap, "GM Drum Kit", DrumKeymapBody());
    for (int gm = 0; gm < 128; ++gm)
        rom[{kTypeProgram, gm}] =
            ObjectBlock(kTypeProgram, gm, kGmPrograms[gm].name, GmProgramBody(gm));
    rom[{kTypeProgram, kDrumKitProgram}] =
        ObjectBlock(kTypeProgram, kDrumKitProgram, "Standard Kit", DrumKitBody());
    rom[{5, 0}] = ObjectBlock(5, 0, "Reverb Setup", RawBody(1, 24));
    rom[{5, 1}] = ObjectBlock(5, 1, "Chorus Setup", RawBody(2, 24));
    rom[{6, 0}] = ObjectBlock(6, 0, "Master Tuning", RawBody(3, 128));
    return rom;
}

}  // namespace

std::vector<uint8_t> ObjectBlock(int type, int number, std::string_view name,
                                 std::span<const uint8_t> body) {
    ByteWriter w(22 + body.size());
    w.U8(uint8_t(type));
    w.U8(0);
    w.U16(uint16_t(number));
    w.U16(uint16_t(body.size()));
    w.FixedString(name, 16);
    w.Bytes(body);
    return w.Take();
}

const ObjectMap& FactoryRom() {
    static const ObjectMap rom = Build();
    return rom;
}

}  // namespace talmeru::emulator
