#include "plugin/Instrument.h"

#include <algorithm>
#include <cmath>

namespace talmeru::plugin {

Instrument::Instrument(double sampleRate) : engine_(sampleRate) {}

void Instrument::SetBank(std::shared_ptr<const voice::BankImage> bank) {
    engine_.SetBank(std::move(bank));
}

bool Instrument::Queue(int frame, uint32_t message) {
    if (eventWrite_ - eventRead_ >= kEventCapacity) return false;
    int64_t at = hostFrame_ + std::max(frame, 0);
    // A host that sends events out of order has them played in the order they came.
    if (eventWrite_ != eventRead_)
        at = std::max(at, events_[(eventWrite_ - 1) % kEventCapacity].frame);
    events_[eventWrite_ % kEventCapacity] = {at, message};
    ++eventWrite_;
    return true;
}

// The global effect types are NRPNs 1 (reverb) and 2 (chorus) on the first channel, as
// render sends them.
void Instrument::Nrpn(int number, int value) {
    Queue(0, 0x63B0u);
    Queue(0, 0x62B0u | uint32_t(number) << 16);
    Queue(0, 0x06B0u | uint32_t(value) << 16);
}

void Instrument::SetEffects(int reverb, int chorus) {
    reverb = std::clamp(reverb, 0, 9);
    chorus = std::clamp(chorus, 0, 8);
    if (reverb != reverb_) Nrpn(1, reverb);
    if (chorus != chorus_) Nrpn(2, chorus);
    reverb_ = reverb;
    chorus_ = chorus;
}

void Instrument::SetGainDb(float db) {
    gainTarget_ = std::pow(10.0f, std::clamp(db, -90.0f, 24.0f) / 20.0f);
}

// One control period from the engine's frame: the events due there first, then frames up to
// the next event or a whole period, as render's calls to the engine split them.
void Instrument::RenderPeriod() {
    while (eventRead_ != eventWrite_ && events_[eventRead_ % kEventCapacity].frame <= engineFrame_)
        engine_.Apply(events_[eventRead_++ % kEventCapacity].message);
    int n = kLatency;
    if (eventRead_ != eventWrite_)
        n = int(std::min<int64_t>(n, events_[eventRead_ % kEventCapacity].frame - engineFrame_));
    float left[kLatency], right[kLatency];
    engine_.Render(left, right, n);
    for (int i = 0; i < n; ++i) {
        const auto at = size_t((buffered_ + i) % kBufferFrames);
        bufferL_[at] = left[i];
        bufferR_[at] = right[i];
    }
    buffered_ += n;
    engineFrame_ += n;
}

void Instrument::Run(float* left, float* right, int frames) {
    const float step = frames > 0 ? (gainTarget_ - gain_) / float(frames) : 0.0f;
    for (int done = 0; done < frames;) {
        // Every event before buffered_ + kLatency is known: they are in this block or earlier.
        if (taken_ == buffered_) RenderPeriod();
        const int n = int(std::min<int64_t>(frames - done, buffered_ - taken_));
        for (int i = 0; i < n; ++i) {
            const auto at = size_t((taken_ + i) % kBufferFrames);
            const float g = gain_ + step * float(done + i + 1);
            left[done + i] = bufferL_[at] * g;
            right[done + i] = bufferR_[at] * g;
        }
        taken_ += n;
        done += n;
    }
    if (frames > 0) gain_ = gainTarget_;
    hostFrame_ += frames;
}

}  // namespace talmeru::plugin
