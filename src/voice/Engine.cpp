#include "voice/Engine.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <deque>
#include <mutex>
#include <numbers>
#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

#include "model/Keymap.h"
#include "model/Ma1Units.h"
#include "model/Program.h"
#include "model/SampleHeader.h"
#include "voice/BankImage.h"
#include "voice/Effects.h"
#include "voice/Modulation.h"

namespace talmeru::voice {

namespace {

constexpr int kVoiceSlots = kVoiceCount + 16;  // the extra slots let stolen voices fade out
constexpr int kQueueSize = 8192;
constexpr float kMasterGain = 0.25f;
constexpr float kSilentDb = -90.0f;
constexpr float kFadeSeconds = 0.003f;  // a stolen or cut voice fades this long, not clicks
constexpr int kDrumChannel = 9;
constexpr int kDrumKitProgram = 128;
constexpr float kPi = std::numbers::pi_v<float>;

float DbToGain(float db) {
    return std::pow(10.0f, db / 20.0f);
}

// Channel volume and expression: the General MIDI curve, 40 log10(value / 127).
float ControllerDb(int value) {
    return value <= 0 ? -200.0f : 40.0f * std::log10(value / 127.0f);
}

// Filter states that ring down pass through the subnormal range, where arithmetic is many
// times slower; flushing them to zero for the length of a render keeps decaying voices cheap.
class ScopedFlushToZero {
  public:
    ScopedFlushToZero(const ScopedFlushToZero&) = delete;
    ScopedFlushToZero& operator=(const ScopedFlushToZero&) = delete;
#if defined(__SSE__) || defined(_M_X64)
    ScopedFlushToZero() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040); }  // FTZ, DAZ
    ~ScopedFlushToZero() { _mm_setcsr(saved_); }

  private:
    unsigned saved_;
#elif defined(__aarch64__)
    ScopedFlushToZero() {
        asm volatile("mrs %0, fpcr" : "=r"(saved_));
        asm volatile("msr fpcr, %0" : : "r"(saved_ | (uint64_t{1} << 24)));
    }
    ~ScopedFlushToZero() { asm volatile("msr fpcr, %0" : : "r"(saved_)); }

  private:
    uint64_t saved_;
#else
    ScopedFlushToZero() = default;
#endif
};

struct Biquad {
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    float z1 = 0, z2 = 0;
    float Run(float x) {
        const float y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
};

// The coefficients a filter stage glides between, sample by sample.
struct Coefficients {
    float onePole = 1.0f;
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;

    void Add(const Coefficients& d) {
        onePole += d.onePole;
        b0 += d.b0;
        b1 += d.b1;
        b2 += d.b2;
        a1 += d.a1;
        a2 += d.a2;
    }
    Coefficients StepTo(const Coefficients& t, int n) const {
        const float k = 1.0f / static_cast<float>(n);
        return {(t.onePole - onePole) * k, (t.b0 - b0) * k, (t.b1 - b1) * k,
                (t.b2 - b2) * k,           (t.a1 - a1) * k, (t.a2 - a2) * k};
    }
};

// One filter block of a voice: the type's processing on samples, coefficients from the
// control period. A new cutoff or resonance is reached by a glide across the period, as a
// jump every period would be heard as zipper noise on a sweep.
struct FilterStage {
    int type = 0;
    Coefficients now, target, step;
    int gliding = 0;
    float drive = 1.0f;
    float pre = 1.0f, post = 1.0f;  // the headroom around the stage
    Biquad bq;
    float lp = 0;

    void Set(int t, float hz, float resonanceDb, float shaperDrive, float headroomDb, float rate,
             bool snap) {
        snap = snap || t != type;
        type = t;
        hz = std::clamp(hz, 10.0f, 0.45f * rate);
        pre = DbToGain(-headroomDb);
        post = 1.0f / pre;
        if (t == 1 || t == 2) target.onePole = 1.0f - std::exp(-2.0f * kPi * hz / rate);
        if (t == 3 || t == 4) {
            const float q = t == 4 ? 0.7071f * DbToGain(resonanceDb) : 0.7071f;
            const float w = 2.0f * kPi * hz / rate;
            const float alpha = std::sin(w) / (2.0f * q);
            const float c = std::cos(w);
            const float a0 = 1.0f + alpha;
            target.b0 = (1.0f - c) * 0.5f / a0;
            target.b1 = (1.0f - c) / a0;
            target.b2 = target.b0;
            target.a1 = -2.0f * c / a0;
            target.a2 = (1.0f - alpha) / a0;
        }
        drive = shaperDrive;
        if (snap) Load(target);
    }

    // The next n samples glide to the target.
    void Glide(int n) {
        step = now.StepTo(target, n);
        gliding = n;
    }
    void Load(const Coefficients& c) {
        now = c;
        gliding = 0;
        bq.b0 = c.b0;
        bq.b1 = c.b1;
        bq.b2 = c.b2;
        bq.a1 = c.a1;
        bq.a2 = c.a2;
    }

    float Run(float x) {
        if (gliding > 0) {
            --gliding;
            now.Add(step);
            bq.b0 = now.b0;
            bq.b1 = now.b1;
            bq.b2 = now.b2;
            bq.a1 = now.a1;
            bq.a2 = now.a2;
        }
        switch (type) {
            case 1:
                return lp += now.onePole * (x - lp);
            case 2:
                return x - (lp += now.onePole * (x - lp));
            case 3:
            case 4:
                return bq.Run(x);
            case 5: {  // Saw: the driven signal wraps round, a sawtooth transfer curve
                const float v = x * pre * drive;
                return (v - 2.0f * std::floor((v + 1.0f) * 0.5f)) * post;
            }
            case 6:
                return std::sin(x * pre * drive * kPi * 0.5f) * post;  // Sine folder
            case 7:
                return std::tanh(x * pre * drive) * post;  // Dist.
            default:
                return x;
        }
    }
};

// Moves a position -1..1 the given part of the way (-1..1) to one side.
float MoveToward(float position, float offset) {
    return position + offset * (1.0f - (offset > 0 ? position : -position));
}

// A pan or balance controller as a move: 64 stays, 0 and 1 are hard left, 127 hard right.
float ControllerMove(int value) {
    return std::clamp((value - 64) / 63.0f, -1.0f, 1.0f);
}

// A hard channel pan is hard whatever the layer's own position; mode 1 is fixed, 2 reversed.
float PanWithChannel(float layerPan, int mode, int panCc, int balanceCc) {
    if (mode != 0 && mode != 2) return layerPan;
    const float sign = mode == 2 ? -1.0f : 1.0f;
    const float moved = MoveToward(layerPan, sign * ControllerMove(panCc));
    return std::clamp(MoveToward(moved, sign * ControllerMove(balanceCc)), -1.0f, 1.0f);
}

struct Channel {
    int program = 0;
    int bankMsb = -1, bankLsb = -1;
    int cc[128] = {};
    float bend = 0;  // -1..1
    float aftertouch = 0;
    bool sustain = false, sostenuto = false, soft = false;
    int rpn = 0x3FFF, nrpn = 0x3FFF;
    bool nrpnSelected = false;
    float bendRange = 2.0f;  // semitones
    float fineCents = 0, transpose = 0;
    int lastKey = 60, lastVelocity = 0;
    int keysDown[128] = {};
    // The highest and lowest key held (-1 and 128 when none), found again only when a key
    // goes down or up: the statistics sources read them every control period.
    int highKey = -1, lowKey = 128;
    ChannelSources sources;
    // Program modulators, run per channel.
    const Program* modProgram = nullptr;
    std::array<ModulatorState, kMaxModulators> mods;
    std::array<float, kMaxModulators> modValues{};
    int modCount = 0;
    int voices = 0;

    void KeysChanged() {
        highKey = -1;
        lowKey = 128;
        for (int k = 0; k < 128; ++k)
            if (keysDown[k] > 0) {
                highKey = k;
                lowKey = std::min(lowKey, k);
            }
    }

    void ResetControllers() {
        bend = 0;
        aftertouch = 0;
        sustain = sostenuto = soft = false;
        std::fill(std::begin(cc), std::end(cc), 0);
        cc[7] = 100;
        cc[10] = 64;
        cc[11] = 127;
        cc[8] = 64;
        cc[91] = 40;
        rpn = nrpn = 0x3FFF;
        nrpnSelected = false;
    }
};

constexpr int64_t kUntimed = INT64_MIN;

struct Message {
    uint32_t bytes = 0;
    int64_t stamp = kUntimed;  // when a live message arrived; untimed ones start the block
};

int64_t SteadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Image {
    uint64_t generation;
    std::shared_ptr<const BankImage> bank;
};

struct Voice {
    bool active = false;
    bool fading = false;  // stolen or cut: fades, then frees its slot
    int channel = 0;
    int key = 0;
    int velocity = 0;
    uint64_t generation = 0;
    uint64_t order = 0;
    const Program* program = nullptr;
    const Layer* layer = nullptr;
    const SampleHeader* header = nullptr;
    std::span<const uint8_t> data;
    bool sixteenBit = true;
    int64_t start = 0, loopStart = -1, end = 0;
    double pos = 0;
    double increment = 0, incrementTarget = 0;
    float keymapDb = 0;
    int delayFrames = 0;
    bool keyDown = true, gate = true, sustained = false, sostenutoHeld = false;
    bool released = false, inLoop = false;
    float releaseVelocity = 0;
    // natural envelope
    int natIndex = -1, natPhase = 0;
    float natDb = 0, natLeft = 0;
    // layer modulators
    std::array<ModulatorState, kMaxModulators> mods;
    std::array<float, kMaxModulators> modValues{};
    int modCount = 0;
    NoteSources note;
    FilterStage filters[2];
    float gainL = 0, gainR = 0, targetL = 0, targetR = 0;
    float fade = 1.0f, fadeStep = 0;
    float levelDb = 0;
    uint32_t noise = 22222;
    bool first = true;
};

int64_t Frames(int32_t bytes, bool sixteenBit) {
    return sixteenBit ? bytes / 2 : bytes;
}

}  // namespace

class Engine::Impl {
  public:
    explicit Impl(double rate) : rate_(rate), effects_(rate) {
        for (auto& c : channels_)
            c.ResetControllers();
        channels_[kDrumChannel].program = kDrumKitProgram;
    }

    // ---- control side
    void SetBank(std::shared_ptr<const BankImage> bank) {
        std::lock_guard lock(controlMutex_);
        images_.push_back(std::make_unique<Image>(Image{++lastGeneration_, std::move(bank)}));
        current_.store(images_.back().get());
        LetGo();
    }

    bool Collect() {
        std::lock_guard lock(controlMutex_);
        LetGo();
        return images_.size() <= 1;
    }

    void Send(uint32_t message, bool live) {
        std::lock_guard lock(controlMutex_);
        const uint32_t w = writeIndex_.load(std::memory_order_relaxed);
        if (w - readIndex_.load(std::memory_order_acquire) >= kQueueSize) return;  // full
        queue_[w % kQueueSize] = {message, live ? clock_.load()() : kUntimed};
        writeIndex_.store(w + 1, std::memory_order_release);
    }

    std::atomic<Clock> clock_{&SteadyNanoseconds};

    // Between renders. Channels keep their programs, controllers and effect types; the
    // sounding notes stop, as their positions and filters hold the old rate.
    void SetRate(double rate) {
        rate_ = rate;
        effects_.SetSampleRate(rate);
        for (Voice& v : voices_)
            v.active = false;
        renderStart_ = lastRenderStart_ = kUntimed;
    }

    // ---- audio side
    void Render(float* left, float* right, int frames);
    // The image is taken first, as Render takes it before the messages of its block.
    void Apply(uint32_t message) {
        TakeImage();
        Handle(message);
    }

    double rate_;
    std::atomic<int> activeVoices_{0};
    std::atomic<float> peakL_{0}, peakR_{0};

  private:
    // Under controlMutex_: images older than every one the audio thread may still read are
    // let go here.
    void LetGo() {
        const uint64_t inUse = inUse_.load();
        while (images_.size() > 1 && images_.front()->generation < inUse)
            images_.pop_front();
    }
    void TakeImage();
    int FrameOf(const Message& m, int frames) const;
    void Handle(uint32_t message);
    void Controller(Channel& c, int ch, int number, int value);
    void NoteOn(int ch, int key, int velocity);
    void NoteOff(int ch, int key, int velocity);
    void Release(Voice& v);
    void StepNaturalEnvelope(Voice& v, float dt);
    void AllNotesOff(int ch, bool cut);
    void ResetAll();
    Voice* FreeSlot();
    void StartLayer(int ch, const Program& program, const Layer& layer, int key, int velocity);
    void Control(Voice& v, float dt);
    void Play(Voice& v, int frames);
    void RunChannelModulators(Channel& c, const Program* program, float dt);
    void UpdateStatistics(int ch);
    float ReadFrame(const Voice& v, int64_t i) const;

    std::mutex controlMutex_;
    std::deque<std::unique_ptr<Image>> images_;
    uint64_t lastGeneration_ = 0;
    std::atomic<Image*> current_{nullptr};
    std::atomic<uint64_t> inUse_{0};
    std::array<Message, kQueueSize> queue_{};
    int64_t renderStart_ = kUntimed, lastRenderStart_ = kUntimed;
    std::atomic<uint32_t> writeIndex_{0}, readIndex_{0};

    const Image* image_ = nullptr;
    std::array<Channel, kChannelCount> channels_;
    std::array<Voice, kVoiceSlots> voices_;
    uint64_t order_ = 0;
    Effects effects_;
    // per control period
    float dryL_[kControlFrames], dryR_[kControlFrames];
    float revL_[kControlFrames], revR_[kControlFrames];
    float choL_[kControlFrames], choR_[kControlFrames];
    float outL_[kControlFrames], outR_[kControlFrames];
};

void Engine::Impl::TakeImage() {
    // Publish which image (and which older ones, still sounding) are in use, then check that
    // the image read is still the current one, so that SetBank cannot free it in between.
    uint64_t oldest = UINT64_MAX;
    for (const Voice& v : voices_)
        if (v.active) oldest = std::min(oldest, v.generation);
    Image* image = nullptr;
    do {
        image = current_.load();
        const uint64_t g = image ? image->generation : UINT64_MAX;
        inUse_.store(std::min(oldest, g));
    } while (current_.load() != image);
    image_ = image;
}

void Engine::Impl::Render(float* left, float* right, int frames) {
    const ScopedFlushToZero flush;
    TakeImage();
    lastRenderStart_ = renderStart_;
    renderStart_ = clock_.load(std::memory_order_relaxed)();
    uint32_t next = readIndex_.load(std::memory_order_relaxed);
    const uint32_t w = writeIndex_.load(std::memory_order_acquire);
    float peakL = 0, peakR = 0;
    const float dt = kControlFrames / static_cast<float>(rate_);
    for (int done = 0; done < frames;) {
        // Messages due by this frame; the period ends where the next one is due.
        for (; next != w && FrameOf(queue_[next % kQueueSize], frames) <= done; ++next) {
            Handle(queue_[next % kQueueSize].bytes);
            readIndex_.store(next + 1, std::memory_order_release);
        }
        int n = std::min(kControlFrames, frames - done);
        if (next != w) n = std::min(n, FrameOf(queue_[next % kQueueSize], frames) - done);
        std::fill_n(dryL_, n, 0.0f);
        std::fill_n(dryR_, n, 0.0f);
        std::fill_n(revL_, n, 0.0f);
        std::fill_n(revR_, n, 0.0f);
        std::fill_n(choL_, n, 0.0f);
        std::fill_n(choR_, n, 0.0f);
        // Each channel's sounding voices, counted in one pass for the statistics sources.
        for (Channel& c : channels_)
            c.voices = 0;
        for (const Voice& v : voices_)
            if (v.active && !v.fading) ++channels_[static_cast<size_t>(v.channel)].voices;
        for (int ch = 0; ch < kChannelCount; ++ch) {
            Channel& c = channels_[static_cast<size_t>(ch)];
            const Program* p = image_ ? image_->bank->FindProgram(c.program) : nullptr;
            UpdateStatistics(ch);
            RunChannelModulators(c, p, dt * n / kControlFrames);
        }
        int active = 0;
        for (Voice& v : voices_) {
            if (!v.active) continue;
            if (!v.fading) ++active;
            Control(v, dt * n / kControlFrames);
            if (v.active) Play(v, n);
        }
        activeVoices_.store(active, std::memory_order_relaxed);
        std::copy_n(dryL_, n, outL_);
        std::copy_n(dryR_, n, outR_);
        effects_.Process(revL_, revR_, choL_, choR_, outL_, outR_, n);
        for (int i = 0; i < n; ++i) {
            const float l = outL_[i] * kMasterGain, r = outR_[i] * kMasterGain;
            left[done + i] = l;
            right[done + i] = r;
            peakL = std::max(peakL, std::fabs(l));
            peakR = std::max(peakR, std::fabs(r));
        }
        done += n;
    }
    for (; next != w; ++next) {  // none is left unless frames is 0
        Handle(queue_[next % kQueueSize].bytes);
        readIndex_.store(next + 1, std::memory_order_release);
    }
    peakL_.store(peakL, std::memory_order_relaxed);
    peakR_.store(peakR, std::memory_order_relaxed);
}

// A live message lands as far into this block as it arrived after the previous one began:
// one block of latency, but no jitter.
int Engine::Impl::FrameOf(const Message& m, int frames) const {
    if (m.stamp == kUntimed || lastRenderStart_ == kUntimed) return 0;
    const double frame = static_cast<double>(m.stamp - lastRenderStart_) * 1e-9 * rate_;
    return static_cast<int>(std::clamp(std::floor(frame), 0.0, static_cast<double>(frames - 1)));
}

// ---- messages

void Engine::Impl::Handle(uint32_t message) {
    const int status = static_cast<int>(message & 0xFF);
    const int d1 = static_cast<int>((message >> 8) & 0x7F);
    const int d2 = static_cast<int>((message >> 16) & 0x7F);
    if (status == 0xFF) {
        ResetAll();
        return;
    }
    if (status < 0x80 || status >= 0xF0) return;
    const int ch = status & 0x0F;
    Channel& c = channels_[static_cast<size_t>(ch)];
    switch (status & 0xF0) {
        case 0x80:
            NoteOff(ch, d1, d2);
            break;
        case 0x90:
            if (d2 == 0)
                NoteOff(ch, d1, 64);
            else
                NoteOn(ch, d1, d2);
            break;
        case 0xB0:
            Controller(c, ch, d1, d2);
            break;
        case 0xC0: {
            int bank = c.bankMsb > 0 ? c.bankMsb : std::max(c.bankLsb, 0);
            // The General MIDI percussion channel picks among the kits from 128 on.
            if (ch == kDrumChannel && c.bankMsb < 0 && c.bankLsb < 0) bank = 1;
            c.program = bank * 128 + d1;
            if (ch == kDrumChannel && image_ && !image_->bank->FindProgram(c.program))
                c.program = kDrumKitProgram;
            break;
        }
        case 0xD0:
            c.aftertouch = d1 / 127.0f;
            break;
        case 0xE0:
            c.bend = ((d2 << 7 | d1) - 8192) / 8192.0f;
            break;
        default:
            break;
    }
}

void Engine::Impl::Controller(Channel& c, int ch, int number, int value) {
    c.cc[number] = value;
    switch (number) {
        case 0:
            c.bankMsb = value;
            break;
        case 32:
            c.bankLsb = value;
            break;
        case 64:
            c.sustain = value >= 64;
            if (!c.sustain)
                for (Voice& v : voices_)
                    if (v.active && v.channel == ch && v.sustained && !v.sostenutoHeld) Release(v);
            break;
        case 66:
            if (value >= 64 && !c.sostenuto) {
                for (Voice& v : voices_)
                    if (v.active && v.channel == ch && v.keyDown) v.sostenutoHeld = true;
            } else if (value < 64 && c.sostenuto) {
                for (Voice& v : voices_) {
                    if (!v.active || v.channel != ch || !v.sostenutoHeld) continue;
                    v.sostenutoHeld = false;
                    if (!v.keyDown && !c.sustain) Release(v);
                }
            }
            c.sostenuto = value >= 64;
            break;
        case 67:
            c.soft = value >= 64;
            break;
        case 99:
            c.nrpn = (c.nrpn & 0x7F) | value << 7;
            c.nrpnSelected = true;
            break;
        case 98:
            c.nrpn = (c.nrpn & 0x3F80) | value;
            c.nrpnSelected = true;
            break;
        case 101:
            c.rpn = (c.rpn & 0x7F) | value << 7;
            c.nrpnSelected = false;
            break;
        case 100:
            c.rpn = (c.rpn & 0x3F80) | value;
            c.nrpnSelected = false;
            break;
        case 6:
            if (c.nrpnSelected) {
                if (c.nrpn == 1) effects_.SetReverbType(value);
                if (c.nrpn == 2) effects_.SetChorusType(value);
            } else if (c.rpn == 0) {
                c.bendRange = static_cast<float>(value);
            } else if (c.rpn == 1) {
                c.fineCents = (value - 64) * 100.0f / 64.0f;
            } else if (c.rpn == 2) {
                c.transpose = static_cast<float>(value - 64);
            }
            break;
        case 120:
            AllNotesOff(ch, true);
            break;
        case 121: {
            const bool sustainWas = c.sustain;
            c.ResetControllers();
            if (sustainWas)
                for (Voice& v : voices_)
                    if (v.active && v.channel == ch && v.sustained) Release(v);
            break;
        }
        case 123:
            AllNotesOff(ch, false);
            break;
        default:
            break;
    }
}

void Engine::Impl::ResetAll() {
    for (Voice& v : voices_)
        v.active = false;
    for (auto& c : channels_) {
        c = Channel();
        c.ResetControllers();
    }
    channels_[kDrumChannel].program = kDrumKitProgram;
    effects_.SetReverbType(0);
    effects_.SetChorusType(0);
    effects_.Clear();
}

void Engine::Impl::AllNotesOff(int ch, bool cut) {
    for (Voice& v : voices_) {
        if (!v.active || v.channel != ch) continue;
        if (cut) {
            v.fading = true;
            v.fadeStep = 1.0f / (kFadeSeconds * static_cast<float>(rate_));
        } else {
            v.keyDown = false;
            v.sustained = v.sostenutoHeld = false;
            Release(v);
        }
    }
}

void Engine::Impl::NoteOff(int ch, int key, int velocity) {
    Channel& c = channels_[static_cast<size_t>(ch)];
    for (Voice& v : voices_) {
        if (!v.active || v.channel != ch || v.key != key || !v.keyDown) continue;
        v.keyDown = false;
        v.releaseVelocity = velocity / 127.0f;
        if (v.layer->IgnoreNoteOff()) continue;
        if (c.sustain || v.sostenutoHeld) {
            v.sustained = true;
            continue;
        }
        Release(v);
    }
    c.keysDown[key] = std::max(0, c.keysDown[key] - 1);
    c.KeysChanged();
}

void Engine::Impl::Release(Voice& v) {
    v.gate = false;
    v.sustained = false;
    if (!v.released) {
        v.released = true;
        v.natPhase = 1;
        v.natIndex = -1;
    }
}

namespace {
// Where a group of a natural envelope begins: groups end with a zero-duration entry.
int GroupStart(const std::vector<EnvelopeEntry>& env, int group) {
    int zeros = 0;
    for (size_t i = 0; i < env.size(); ++i) {
        if (zeros == group) return static_cast<int>(i);
        if (env[i].duration == 0) ++zeros;
    }
    return static_cast<int>(env.size());
}
}  // namespace

// The first group runs from the note's start and its last slope goes on while the note is
// held; the second runs from the release and its last slope goes on until silence. Timed
// entries last so many frames of the sample as it plays, so an envelope that follows the
// sample's length does so at any key.
void Engine::Impl::StepNaturalEnvelope(Voice& v, float dt) {
    const auto& env = v.header->envelope;
    const int size = static_cast<int>(env.size());
    auto slope = [&](int i) {
        return static_cast<float>(
            units::NaturalSlopeDbPerSecond(env[static_cast<size_t>(i)].slope));
    };
    if (v.natIndex < 0) {
        v.natIndex = GroupStart(env, v.natPhase);
        v.natLeft = v.natIndex < size ? static_cast<float>(env[size_t(v.natIndex)].duration) : 0;
    }
    // Seconds and sample frames of this control period.
    const float framesPerSecond = static_cast<float>(v.increment * rate_);
    float left = dt;
    while (left > 0 && v.natIndex < size) {
        if (env[static_cast<size_t>(v.natIndex)].duration == 0) {
            v.natDb += slope(v.natIndex) * left;
            break;
        }
        const float step = framesPerSecond > 0 ? std::min(left, v.natLeft / framesPerSecond) : left;
        v.natDb += slope(v.natIndex) * step;
        v.natLeft -= step * framesPerSecond;
        left -= step;
        if (v.natLeft <= 0.5f && ++v.natIndex < size)
            v.natLeft = static_cast<float>(env[static_cast<size_t>(v.natIndex)].duration);
    }
    v.natDb = std::clamp(v.natDb, -200.0f, 0.0f);
}

Voice* Engine::Impl::FreeSlot() {
    int sounding = 0;
    Voice* free = nullptr;
    for (Voice& v : voices_) {
        if (!v.active) {
            if (!free) free = &v;
        } else if (!v.fading) {
            ++sounding;
        }
    }
    if (sounding < kVoiceCount && free) return free;
    // Steal: the oldest released voice, else the quietest; it fades out in a spare slot.
    Voice* victim = nullptr;
    for (Voice& v : voices_) {
        if (!v.active || v.fading) continue;
        if (!victim) {
            victim = &v;
            continue;
        }
        if (v.released != victim->released) {
            if (v.released) victim = &v;
        } else if (v.released ? v.order < victim->order : v.levelDb < victim->levelDb) {
            victim = &v;
        }
    }
    if (!victim) return free;
    if (!free) return victim;  // no spare slot: taken over at once
    victim->fading = true;
    victim->fadeStep = 1.0f / (kFadeSeconds * static_cast<float>(rate_));
    return free;
}

void Engine::Impl::NoteOn(int ch, int key, int velocity) {
    Channel& c = channels_[static_cast<size_t>(ch)];
    c.lastKey = key;
    c.lastVelocity = velocity;
    ++c.keysDown[key];
    c.KeysChanged();
    if (!image_) return;
    const Program* program = image_->bank->FindProgram(c.program);
    if (!program) return;
    for (const auto& layer : program->Layers()) {
        if (key < layer->keyLow || key > layer->keyHigh || velocity < layer->velocityLow ||
            velocity > layer->velocityHigh)
            continue;
        StartLayer(ch, *program, *layer, key, velocity);
    }
}

void Engine::Impl::StartLayer(int ch, const Program& program, const Layer& layer, int key,
                              int velocity) {
    const Keymap* keymap = image_->bank->FindKeymap(layer.keymap);
    if (!keymap) return;
    const int lookup = std::clamp(key + layer.timbreShift, 0, 127);
    const KeymapEntry* entry = nullptr;
    for (const KeymapEntry& e : keymap->entries)
        if (e.topKey >= lookup) {
            entry = &e;
            break;
        }
    if (!entry || entry->sample == kNoSample) return;
    const PlayableSample* sample = image_->bank->FindSample(entry->sample);
    if (!sample && !layer.WhiteNoise()) return;

    // An exclusive zone lets one note of the zone sound at a time (a closed hi-hat cuts an
    // open one).
    if (layer.exclusiveZone != 0)
        for (Voice& o : voices_)
            if (o.active && !o.fading && o.channel == ch && o.layer &&
                o.layer->exclusiveZone == layer.exclusiveZone) {
                o.fading = true;
                o.fadeStep = 1.0f / (kFadeSeconds * static_cast<float>(rate_));
            }

    Voice* slot = FreeSlot();
    if (!slot) return;
    Voice& v = *slot;
    v = Voice();
    v.active = true;
    v.channel = ch;
    v.key = key;
    v.velocity = velocity;
    v.generation = image_->generation;
    v.order = ++order_;
    v.program = &program;
    v.layer = &layer;
    v.keymapDb = static_cast<float>(entry->amp);
    if (sample) {
        v.header = sample->header.get();
        v.data = sample->data;
        v.sixteenBit = (v.header->flags & kSixteenBit) != 0;
        const int64_t size = v.sixteenBit ? int64_t(v.data.size() / 2) : int64_t(v.data.size());
        v.start = std::clamp<int64_t>(Frames(v.header->start, v.sixteenBit), 0, size);
        v.end = std::clamp<int64_t>(Frames(v.header->end, v.sixteenBit), v.start, size);
        const int64_t loop = Frames(v.header->loopStart, v.sixteenBit);
        v.loopStart = v.header->loopStart >= 0 && loop >= v.start && loop < v.end ? loop : -1;
        v.pos = static_cast<double>(v.start);
        if (v.end <= v.start && !layer.WhiteNoise()) {
            v.active = false;
            return;
        }
    }
    v.delayFrames = static_cast<int>(layer.delay * units::kDelaySecondsPerStep * rate_);
    v.noise = 0x9E3779B9u ^ static_cast<uint32_t>(v.order * 2654435761u);
    const float vel = velocity / 127.0f;
    v.note.property[kKeyNumber] = key / 127.0f;
    v.note.property[kAttackVelocity] = vel;
    v.note.property[kAttackVelocityBiased] = std::sqrt(vel);
    v.note.property[kAttackVelocityInverted] = 1.0f - vel;
    v.modCount = static_cast<int>(std::min<size_t>(layer.Modulators().size(), kMaxModulators));
    for (int i = 0; i < v.modCount; ++i)
        v.mods[static_cast<size_t>(i)].Start(layer.Modulators()[static_cast<size_t>(i)].get());
}

// ---- the control period

void Engine::Impl::UpdateStatistics(int ch) {
    Channel& c = channels_[static_cast<size_t>(ch)];
    ChannelSources& s = c.sources;
    s.controller[0] = c.bend;
    for (int n = 1; n < 16; ++n)
        s.controller[n] = c.cc[n] / 127.0f;
    s.switches[0] = c.sustain ? 1.0f : 0.0f;
    s.switches[2] = c.sostenuto ? 1.0f : 0.0f;
    s.switches[3] = c.soft ? 1.0f : 0.0f;
    const int count = c.voices;
    const int high = c.highKey, low = c.lowKey;
    s.global[0] = c.aftertouch;
    s.global[1] = c.lastKey / 127.0f;
    s.global[2] = c.lastVelocity / 127.0f;
    s.global[3] = count / static_cast<float>(kVoiceCount);
    s.global[4] = count > 0 ? 1.0f : 0.0f;
    s.global[5] = high >= 0 ? high / 127.0f : 0.0f;
    s.global[6] = high >= 0 ? low / 127.0f : 0.0f;
}

void Engine::Impl::RunChannelModulators(Channel& c, const Program* program, float dt) {
    if (program != c.modProgram) {
        c.modProgram = program;
        c.modCount =
            program
                ? static_cast<int>(std::min<size_t>(program->Modulators().size(), kMaxModulators))
                : 0;
        for (int i = 0; i < c.modCount; ++i)
            c.mods[static_cast<size_t>(i)].Start(
                program->Modulators()[static_cast<size_t>(i)].get());
        c.modValues.fill(0.0f);
    }
    SourceContext ctx{&c.sources, nullptr, c.modValues.data(), nullptr};
    for (int i = 0; i < c.modCount; ++i) {
        auto& state = c.mods[static_cast<size_t>(i)];
        const Modulator* m = program->Modulators()[static_cast<size_t>(i)].get();
        c.modValues[static_cast<size_t>(m->Id())] = state.Step(ctx, true, dt);
    }
}

namespace {
// Sum of a block's modulation entries, in depth steps times the source value.
float EntrySum(const ControlBlock& block, const SourceContext& ctx, float* ampDb = nullptr) {
    float sum = 0;
    for (const ModulationEntry& e : block.Entries()) {
        const float depth = e.baseDepth + e.adjustedDepth * SourceValue(e.depthAdjustSource, ctx);
        const float value = SourceValue(e.controlSource, ctx);
        if (ampDb) {
            *ampDb -= static_cast<float>(units::kAmpRangeDb) * depth / 127.0f * (1.0f - value);
        } else {
            sum += depth * value;
        }
    }
    return sum;
}
}  // namespace

void Engine::Impl::Control(Voice& v, float dt) {
    Channel& c = channels_[static_cast<size_t>(v.channel)];
    const Layer& layer = *v.layer;
    const float rate = static_cast<float>(rate_);

    v.note.property[kNoteState] = v.gate ? 1.0f : 0.0f;
    v.note.property[kKeyDown] = v.keyDown ? 1.0f : 0.0f;
    v.note.property[kInSampleLoop] = v.inLoop ? 1.0f : 0.0f;
    v.note.property[kPlaybackRate] = static_cast<float>(std::min(v.increment / 4.0, 1.0));
    v.note.property[kReleaseVelocity] = v.releaseVelocity;
    v.note.property[kInReleasePhase] = v.released ? 1.0f : 0.0f;
    v.note.property[kInAttackPhase] =
        !v.released && (v.modCount > 0 ? v.mods[0].InAttack() : v.natPhase == 0) ? 1.0f : 0.0f;

    // Layer modulators in list order; the delay holds them back with the note.
    SourceContext ctx{&c.sources, &v.note, c.modValues.data(), v.modValues.data()};
    const bool started = v.delayFrames <= 0;
    if (started) {
        for (int i = 0; i < v.modCount; ++i) {
            const Modulator* m = layer.Modulators()[static_cast<size_t>(i)].get();
            v.modValues[static_cast<size_t>(m->Id())] =
                v.mods[static_cast<size_t>(i)].Step(ctx, v.gate, dt);
        }
    }

    // Pitch: the header's pitch rule from the played key, then the block's tuning.
    const ControlBlock& pitch = layer.Pitch();
    float semis = static_cast<float>(v.key) + c.transpose + pitch.CoarseTune() +
                  static_cast<float>(units::FineTuneCents(pitch.FineTune())) / 100.0f +
                  c.fineCents / 100.0f + c.bend * c.bendRange +
                  SourceValue(static_cast<uint8_t>(pitch.FixedControlSource()), ctx) *
                      static_cast<float>(units::kDetuneCents) / 100.0f +
                  EntrySum(pitch, ctx) * static_cast<float>(units::kPitchCentsPerDepth) / 100.0f;
    const int headerPitch = v.header ? v.header->pitch : 3072;
    v.incrementTarget = units::PlaybackFramesPerSecond(semis, headerPitch) / rate_;
    if (v.first) v.increment = v.incrementTarget;

    // Filters.
    for (int f = 0; f < 2; ++f) {
        const ControlBlock& b = f == 0 ? layer.Filter1() : layer.Filter2();
        const int type = b.IsNullFilter() ? 0 : b.FilterType();
        if (type == 0) {
            v.filters[f].type = 0;
            continue;
        }
        const int setting = b.Frequency();
        const bool resonant = type == 4;
        const float base = resonant ? static_cast<float>((setting >> 8) * 256) : setting;
        const float shift =
            static_cast<float>(units::FilterVelocitySemitones(b.VelocityTracking(), v.velocity) +
                               units::FilterKeySemitones(b.KeyTracking(), v.key)) +
            EntrySum(b, ctx) * static_cast<float>(units::kFilterSemitonesPerDepth);
        const float hz =
            static_cast<float>(units::FilterHz(static_cast<int>(base))) * std::exp2(shift / 12.0f);
        const float headroom =
            static_cast<float>((f == 0 ? layer.Amp().Headroom1() : layer.Amp().Headroom2()) *
                               units::kHeadroomDbPerStep);
        v.filters[f].Set(type, hz,
                         resonant ? static_cast<float>(units::ResonanceDb(setting & 0xFF)) : 0,
                         static_cast<float>(units::ShaperDrive(setting)), headroom, rate,
                         v.first);
    }

    // Amplitude in dB.
    const ControlBlock& amp = layer.Amp();
    float db =
        static_cast<float>(amp.Gain() + units::VelocityDb(amp.VelocityTracking(), v.velocity) +
                           units::KeyDb(amp.KeyTracking(), v.key)) +
        v.keymapDb + (v.header ? static_cast<float>(v.header->amp) : 0.0f) + ControllerDb(c.cc[7]) +
        ControllerDb(c.cc[11]) + (c.soft ? -4.0f : 0.0f);
    EntrySum(amp, ctx, &db);
    bool ampEnvelope = false;
    for (const ModulationEntry& e : amp.Entries())
        if ((e.controlSource & 0xF0) == 0xF0 || (e.controlSource & 0xF0) == 0xC0)
            ampEnvelope = true;

    // The sample's natural envelope.
    if (layer.NaturalEnvelope() && v.header && started) {
        StepNaturalEnvelope(v, dt);
        db += v.natDb;
    }
    const float crossfade = std::clamp(
        1.0f - SourceValue(static_cast<uint8_t>(amp.FixedControlSource()), ctx), 0.0f, 1.0f);
    db = std::min(db, 32.0f);
    v.levelDb = db + 20.0f * std::log10(std::max(crossfade, 1e-6f));

    // The note is over when it has fallen silent after its release, or when nothing shapes
    // its release (no natural envelope and no envelope on the Amp block): then it fades.
    // A note that cannot be released (or whose natural envelope has died away) ends in silence
    // too.
    if (!v.released && !v.fading && v.levelDb < kSilentDb &&
        (layer.IgnoreNoteOff() || v.natDb < kSilentDb)) {
        v.fading = true;
        v.fadeStep = 1.0f / (kFadeSeconds * rate);
    }
    if (v.released && !v.fading) {
        bool envelopesDone = true;
        for (int i = 0; i < v.modCount; ++i)
            if (v.mods[static_cast<size_t>(i)].Value() != 0 &&
                !v.mods[static_cast<size_t>(i)].Finished() &&
                layer.Modulators()[static_cast<size_t>(i)]->Kind() == ModulatorKind::kEnv)
                envelopesDone = false;
        const bool shaped = layer.NaturalEnvelope() || ampEnvelope;
        if (v.levelDb < kSilentDb || !shaped ||
            (ampEnvelope && envelopesDone && !layer.NaturalEnvelope())) {
            v.fading = true;
            v.fadeStep = 1.0f / (kFadeSeconds * rate);
        }
    }

    // Pan: the layer's position, moved by the channel's pan unless it is fixed.
    const float pan = PanWithChannel(static_cast<float>(units::PanPosition(layer.Pan())),
                                     layer.PanMode(), c.cc[10], c.cc[8]);
    const float gain = DbToGain(db) * crossfade;
    // Constant power; sines of both sides so that the centre is equal and a hard side is 0.
    v.targetL = gain * std::sin((1.0f - pan) * 0.25f * kPi);
    v.targetR = gain * std::sin((1.0f + pan) * 0.25f * kPi);
    if (v.first) {
        v.gainL = v.targetL;
        v.gainR = v.targetR;
        // Start from silence only when the sample does not start there itself.
        v.first = false;
    }
}

float Engine::Impl::ReadFrame(const Voice& v, int64_t i) const {
    if (v.loopStart >= 0) {
        if (i >= v.end) i = v.loopStart + (i - v.loopStart) % (v.end - v.loopStart);
    } else if (i >= v.end) {
        return 0.0f;
    }
    if (i < v.start) return 0.0f;
    if (v.sixteenBit) {
        const size_t b = static_cast<size_t>(i) * 2;
        return static_cast<int16_t>(v.data[b] | v.data[b + 1] << 8) / 32768.0f;
    }
    return static_cast<int8_t>(v.data[static_cast<size_t>(i)]) / 128.0f;
}

void Engine::Impl::Play(Voice& v, int frames) {
    int i = 0;
    if (v.delayFrames > 0) {
        const int wait = std::min(v.delayFrames, frames);
        v.delayFrames -= wait;
        i = wait;
        if (i >= frames) return;
    }
    const Channel& c = channels_[static_cast<size_t>(v.channel)];
    const float reverb = c.cc[91] / 127.0f, chorus = c.cc[93] / 127.0f;
    const int n = frames - i;
    const float dL = (v.targetL - v.gainL) / static_cast<float>(n);
    const float dR = (v.targetR - v.gainR) / static_cast<float>(n);
    const double dInc = (v.incrementTarget - v.increment) / n;
    const bool noise = v.layer->WhiteNoise();
    FilterStage& f1 = v.filters[0];
    FilterStage& f2 = v.filters[1];
    f1.Glide(n);
    f2.Glide(n);
    for (; i < frames; ++i) {
        float x;
        if (noise) {
            v.noise = v.noise * 1664525u + 1013904223u;
            x = static_cast<float>(static_cast<int32_t>(v.noise)) / 2147483648.0f;
        } else {
            const int64_t k = static_cast<int64_t>(v.pos);
            const float t = static_cast<float>(v.pos - static_cast<double>(k));
            // 4-point, 3rd-order Hermite interpolation.
            const float xm = ReadFrame(v, k - 1), x0 = ReadFrame(v, k), x1 = ReadFrame(v, k + 1),
                        x2 = ReadFrame(v, k + 2);
            const float c1 = 0.5f * (x1 - xm);
            const float c2 = xm - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
            const float c3 = 0.5f * (x2 - xm) + 1.5f * (x0 - x1);
            x = ((c3 * t + c2) * t + c1) * t + x0;
            v.increment += dInc;
            v.pos += v.increment;
            if (v.loopStart >= 0) {
                if (v.pos >= static_cast<double>(v.end)) {
                    const double len = static_cast<double>(v.end - v.loopStart);
                    v.pos -= len * std::floor((v.pos - static_cast<double>(v.loopStart)) / len);
                    v.inLoop = true;
                } else if (v.pos >= static_cast<double>(v.loopStart)) {
                    v.inLoop = true;
                }
            } else if (v.pos >= static_cast<double>(v.end + 2)) {
                v.active = false;  // the sample has ended
                break;
            }
        }
        if (f1.type) x = f1.Run(x);
        if (f2.type) x = f2.Run(x);
        v.gainL += dL;
        v.gainR += dR;
        float l = x * v.gainL, r = x * v.gainR;
        if (v.fading) {
            l *= v.fade;
            r *= v.fade;
            v.fade -= v.fadeStep;
            if (v.fade <= 0) {
                v.active = false;
                break;
            }
        }
        dryL_[i] += l;
        dryR_[i] += r;
        revL_[i] += l * reverb;
        revR_[i] += r * reverb;
        choL_[i] += l * chorus;
        choR_[i] += r * chorus;
    }
    v.gainL = v.targetL;
    v.gainR = v.targetR;
    v.increment = v.incrementTarget;
    f1.Load(f1.target);
    f2.Load(f2.target);
}

// ---- the interface

Engine::Engine(double sampleRate) : impl_(std::make_unique<Impl>(sampleRate)) {}
Engine::~Engine() = default;

void Engine::SetBank(std::shared_ptr<const BankImage> bank) {
    impl_->SetBank(std::move(bank));
}
bool Engine::Collect() {
    return impl_->Collect();
}
void Engine::Send(uint32_t message) {
    impl_->Send(message, false);
}
void Engine::SendLive(uint32_t message) {
    impl_->Send(message, true);
}
void Engine::SetClock(Clock clock) {
    impl_->clock_.store(clock);
}
void Engine::SetSampleRate(double rate) {
    if (rate < 8000 || rate > 384000 || rate == impl_->rate_) return;
    impl_->SetRate(rate);
}
double Engine::SampleRate() const {
    return impl_->rate_;
}
void Engine::Render(float* left, float* right, int frames) {
    impl_->Render(left, right, frames);
}
void Engine::Apply(uint32_t message) {
    impl_->Apply(message);
}
EngineStats Engine::Stats() const {
    return {impl_->activeVoices_.load(std::memory_order_relaxed),
            impl_->peakL_.load(std::memory_order_relaxed),
            impl_->peakR_.load(std::memory_order_relaxed)};
}

}  // namespace talmeru::voice
