#include "voice/Effects.h"

namespace talmeru::voice {

Effects::Effects(double sampleRate) : rate_(sampleRate) {}
void Effects::SetSampleRate(double rate) {
    rate_ = rate;
}
void Effects::SetReverbType(int type) {
    if (type >= 0 && type <= 9) reverb_ = type;
}
void Effects::SetChorusType(int type) {
    if (type >= 0 && type <= 8) chorus_ = type;
}
void Effects::Process(const float*, const float*, const float*, const float*, float*, float*, int) {
}
void Effects::Clear() {}

}  // namespace talmeru::voice
