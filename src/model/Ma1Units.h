#pragma once
// What the MA-1's stored values mean physically: one table, used by the voice engine that
// plays them, the importers that convert other formats into them and the editors that show
// them. Where a value's meaning is not documented by the synthesizer, the choice here is the
// one that lets a SoundFont imported and played here sound like the original.
#include <cstdint>

namespace talmeru::units {

// ---- time
// ENV segment times: steps of 0.02 s (0..255, up to 5.1 s).
inline constexpr double kEnvSecondsPerStep = 0.02;
double EnvSeconds(int step);
int EnvStep(double seconds);  // rounded, 0..255
// Layer delay: steps of 0.6 ms.
inline constexpr double kDelaySecondsPerStep = 0.0006;
// Natural envelope of a sample header: slopes are rates, 0.3 dB a second per step (so the
// tonal wizard's release "Rate" runs from 1, very slow, to 1000, fast: 0.3 s to silence; the
// -6818 of a header made from a wave file stops a released note in about 50 ms).
// Durations count frames of the sample as it plays (so a percussive envelope follows the
// sample's length); a zero duration ends a group, and its slope goes on: the first group's
// while the note is held, the second's after the release.
inline constexpr double kNaturalDbPerSecondPerStep = 0.3;
double NaturalSlopeDbPerSecond(int slope);

// ---- rate
// LFO rates: value x 5/51 Hz (0..25 Hz).
double LfoHz(int value);
int LfoValue(double hz);  // rounded, 0..255

// ---- pitch
// Fine tune: steps of 100/127 cent.
double FineTuneCents(int steps);
// A Pitch block entry at depth 1 and source value 1.0 moves the pitch by 10 cents.
inline constexpr double kPitchCentsPerDepth = 10.0;
// The "Detune Ctrl" source at 1.0 detunes by a semitone.
inline constexpr double kDetuneCents = 100.0;
// Frames per second at which a sample plays at `key` with header pitch `pitch`
// (1/256 semitone): a header of pitch 0 plays 88.2 kHz data at its recorded pitch on key 60.
double PlaybackFramesPerSecond(double key, int pitch);
// The key (fractional) at which a header of pitch `pitch` plays data recorded at `rate` Hz at
// its recorded pitch: the inverse of the rule above.
double RootKeyForPitch(int pitch, double rate);

// ---- level
// ENV and segment levels: value / 127 (-1..1).
double EnvLevel(int level);
// Amp block: gain in dB (-64..32); the Amp block's modulation entries attenuate by
// 96 dB x depth/127 x (1 - value), so an envelope at full level leaves the gain as it is
// and one at 0 silences it.
inline constexpr double kAmpRangeDb = 96.0;
// An ENV level that gives `db` (0 or less) of attenuation through a depth-127 Amp route.
int EnvLevelForDb(double db);
// The attenuation (0 or less, dB) that an ENV level gives through a depth-127 Amp route.
double DbForEnvLevel(int level);
// Velocity tracking (-64..64): at 64, 40 log10(velocity / 127) dB; scaled linearly.
double VelocityDb(int tracking, int velocity);
// Key tracking (-48..48): tracking x (key - 60) / 64 dB.
double KeyDb(int tracking, int key);
// Headroom before a filter: 3 dB a step (0..3).
inline constexpr double kHeadroomDbPerStep = 3.0;

// ---- filters
// Frequency setting (0..0x7F00): setting / 256 is a key number, so 69 x 256 is 440 Hz and
// the top is 12.5 kHz; for "2P LP (res)" the high byte is the key number and the low byte
// the resonance (0..255 gives 0..24 dB of peak).
double FilterHz(int setting);
int FilterSetting(double hz);  // 0..0x7F00
double ResonanceDb(int lowByte);
// Velocity tracking (-127..127): semitones = tracking / 127 x 48 x (velocity - 64) / 63.
double FilterVelocitySemitones(int tracking, int velocity);
// Key tracking (-127..127): tracking / 64 semitones per key from key 60 (64: follows the key).
double FilterKeySemitones(int tracking, int key);
// A Filter block entry at depth 1 and value 1.0 moves the frequency by one semitone.
inline constexpr double kFilterSemitonesPerDepth = 1.0;
// Wave shapers ("Saw", "Sine", "Dist."): drive = 1 + setting / 2048 (1..16.9).
double ShaperDrive(int setting);

// ---- pan
// Pan positions 0..31: 0 hard left, 15 the centre, 31 hard right.
inline constexpr int kPanCentre = 15;
double PanPosition(int pan);          // -1..1
int PanForPosition(double position);  // rounded, 0..31

}  // namespace talmeru::units
