#include "voice/Engine.h"

#include <algorithm>

#include "voice/BankImage.h"

namespace talmeru::voice {

class Engine::Impl {
  public:
    double rate = kEngineRate;
};

Engine::Engine(double sampleRate) : impl_(std::make_unique<Impl>()) {
    impl_->rate = sampleRate;
}
Engine::~Engine() = default;
void Engine::SetBank(std::shared_ptr<const BankImage>) {}
void Engine::Send(uint32_t) {}
void Engine::SetSampleRate(double rate) {
    impl_->rate = rate;
}
double Engine::SampleRate() const {
    return impl_->rate;
}
void Engine::Render(float* left, float* right, int frames) {
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
}
EngineStats Engine::Stats() const {
    return {};
}

}  // namespace talmeru::voice
