#include "model/Ma1Units.h"

#include <algorithm>
#include <cmath>

namespace talmeru::units {

namespace {
int RoundClamp(double v, int lo, int hi) {
    return static_cast<int>(std::clamp(std::lround(v), long(lo), long(hi)));
}
}  // namespace

double EnvSeconds(int step) {
    return step * kEnvSecondsPerStep;
}
int EnvStep(double seconds) {
    return RoundClamp(seconds / kEnvSecondsPerStep, 0, 255);
}

double NaturalSlopeDbPerSecond(int slope) {
    return slope * kNaturalDbPerSecondPerStep;
}

double LfoHz(int value) {
    return value * 5.0 / 51.0;
}
int LfoValue(double hz) {
    return RoundClamp(hz * 51.0 / 5.0, 0, 255);
}

double FineTuneCents(int steps) {
    return steps * 100.0 / 127.0;
}

double PlaybackFramesPerSecond(double key, int pitch) {
    return 88200.0 * std::exp2((key - 60.0 - pitch / 256.0) / 12.0);
}

double RootKeyForPitch(int pitch, double rate) {
    return 60.0 + pitch / 256.0 + 12.0 * std::log2(rate / 88200.0);
}

double EnvLevel(int level) {
    return level / 127.0;
}

int EnvLevelForDb(double db) {
    return RoundClamp(127.0 * (1.0 + std::min(db, 0.0) / kAmpRangeDb), 0, 127);
}

double DbForEnvLevel(int level) {
    return (std::clamp(level, 0, 127) / 127.0 - 1.0) * kAmpRangeDb;
}

double VelocityDb(int tracking, int velocity) {
    const double v = std::max(velocity, 1) / 127.0;
    return tracking / 64.0 * 40.0 * std::log10(v);
}

double KeyDb(int tracking, int key) {
    return tracking * (key - 60) / 64.0;
}

double FilterHz(int setting) {
    return 440.0 * std::exp2((setting / 256.0 - 69.0) / 12.0);
}
int FilterSetting(double hz) {
    if (hz <= 0) return 0;
    return RoundClamp((69.0 + 12.0 * std::log2(hz / 440.0)) * 256.0, 0, 0x7F00);
}
double ResonanceDb(int lowByte) {
    return (lowByte & 0xFF) * 24.0 / 255.0;
}

double FilterVelocitySemitones(int tracking, int velocity) {
    return tracking / 127.0 * 48.0 * (velocity - 64) / 63.0;
}
double FilterKeySemitones(int tracking, int key) {
    return tracking / 64.0 * (key - 60);
}
double ShaperDrive(int setting) {
    return 1.0 + setting / 2048.0;
}

// A new layer's 15 is the centre, so the 32 steps fall 15 to the left of it and 16 to the
// right, and both ends are hard.
double PanPosition(int pan) {
    pan = std::clamp(pan, 0, 31) - kPanCentre;
    return pan <= 0 ? pan / double(kPanCentre) : pan / double(31 - kPanCentre);
}

int PanForPosition(double position) {
    const double steps = position <= 0 ? kPanCentre : 31 - kPanCentre;
    return RoundClamp(kPanCentre + position * steps, 0, 31);
}

}  // namespace talmeru::units
