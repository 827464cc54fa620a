#include "platform/AudioOutput.h"

#include <RtAudio.h>
#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>

namespace talmeru {

void RenderInterleaved(const AudioRender& render, float* out, int channels, int frames,
                       std::span<float> left, std::span<float> right) {
    const int piece = int(std::min(left.size(), right.size()));
    if (piece == 0) {
        std::fill(out, out + size_t(std::max(frames, 0)) * size_t(channels), 0.0f);
        return;
    }
    for (int done = 0; done < frames;) {
        const int n = std::min(piece, frames - done);
        render(left.data(), right.data(), n);
        float* o = out + size_t(done) * size_t(channels);
        for (int i = 0; i < n; ++i, o += channels) {
            if (channels == 1) {
                o[0] = 0.5f * (left[size_t(i)] + right[size_t(i)]);
                continue;
            }
            o[0] = left[size_t(i)];
            o[1] = right[size_t(i)];
            std::fill(o + 2, o + channels, 0.0f);
        }
        done += n;
    }
}

namespace {

// Probing writes the audio libraries' own complaints (ALSA's missing cards, PulseAudio's refused
// connection) to stderr, past RtAudio's warning switch; what matters reaches the user as the
// output's status instead. Standard error points to nothing while one is alive.
class QuietStderr {
  public:
    QuietStderr() {
        std::fflush(stderr);
#if defined(_WIN32)
        const int null = ::_open("NUL", _O_WRONLY);
        if (null < 0) return;
        saved_ = ::_dup(2);
        if (saved_ >= 0 && ::_dup2(null, 2) < 0) {
            ::_close(saved_);
            saved_ = -1;
        }
        ::_close(null);
#else
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0) return;
        saved_ = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
        if (saved_ >= 0 && ::dup2(null, 2) < 0) {
            ::close(saved_);
            saved_ = -1;
        }
        ::close(null);
#endif
    }
    ~QuietStderr() {
        if (saved_ < 0) return;
        std::fflush(stderr);
#if defined(_WIN32)
        ::_dup2(saved_, 2);
        ::_close(saved_);
#else
        ::dup2(saved_, 2);
        ::close(saved_);
#endif
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

  private:
    int saved_ = -1;
};

// Errors of a running stream arrive on RtAudio's thread through a plain function pointer;
// without one RtAudio 5 would throw them there, which ends the program.
std::mutex streamErrorMutex;
std::string streamError;

void OnStreamError(RtAudioError::Type type, const std::string& text) {
    if (type == RtAudioError::WARNING || type == RtAudioError::DEBUG_WARNING) return;
    std::lock_guard lock(streamErrorMutex);
    streamError = text;
}

// RtAudio's texts start with the class that failed and may run over several lines.
std::string OneLine(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    std::replace(text.begin(), text.end(), '\n', ' ');
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string{} : text.substr(first, last - first + 1);
}

struct Probed {
    AudioDevice device;
    unsigned channels = 0;
};

class RtAudioOutput : public AudioOutput {
  public:
    ~RtAudioOutput() override { Close(); }

    std::vector<AudioDevice> Devices() override {
        std::vector<AudioDevice> list;
        for (const Probed& p : Probe())
            list.push_back(p.device);
        return list;
    }

    AudioOpenResult Open(const AudioConfig& config, AudioRender render) override {
        Close();
        AudioOpenResult result;
        const std::vector<Probed> devices = Probe();
        if (devices.empty()) {
            result.message = error_.empty() ? "no device" : "no device (" + error_ + ")";
            return result;
        }
        const Probed& chosen = Choose(devices, config.device);
        channels_ = int(std::min(chosen.channels, 2u));
        render_ = std::move(render);
        RtAudio::StreamParameters out;
        out.deviceId = chosen.device.id;
        out.nChannels = unsigned(channels_);
        unsigned frames = unsigned(std::max(config.bufferFrames, 16));
        RtAudio::StreamOptions options;
        options.streamName = "Talmeru";
        options.numberOfBuffers = 2;  // one buffer of delay is what we are after
        result.status = AudioOpenStatus::kFailed;
        result.device = chosen.device.name;
        try {
            const QuietStderr quiet;
            rt_->openStream(&out, nullptr, RTAUDIO_FLOAT32, unsigned(config.sampleRate), &frames,
                            &RtAudioOutput::Callback, this, &options, &OnStreamError);
        } catch (const std::exception& e) {
            result.message = OneLine(e.what());
            return result;
        }
        if (!rt_->isStreamOpen()) {
            result.message = "the device did not open";
            return result;
        }
        left_.assign(std::max<size_t>(frames, 16), 0.0f);
        right_.assign(left_.size(), 0.0f);
        result.status = AudioOpenStatus::kOpen;
        result.bufferFrames = int(frames);
        result.sampleRate = config.sampleRate;
        try {
            result.sampleRate = rt_->getStreamSampleRate();
        } catch (const std::exception&) {
        }
        return result;
    }

    std::string Start() override {
        if (!rt_ || !rt_->isStreamOpen()) return "no stream is open";
        {
            std::lock_guard lock(streamErrorMutex);
            streamError.clear();
        }
        try {
            rt_->startStream();
        } catch (const std::exception& e) {
            return OneLine(e.what());
        }
        if (rt_->isStreamRunning()) return {};
        std::lock_guard lock(streamErrorMutex);
        return streamError.empty() ? "the stream did not start" : OneLine(streamError);
    }

    void Close() override {
        if (!rt_) return;
        try {
            if (rt_->isStreamRunning()) rt_->stopStream();
            if (rt_->isStreamOpen()) rt_->closeStream();
        } catch (const std::exception&) {
            // Closing a stream that went wrong may fail again; it is closed all the same.
        }
    }

    bool Running() const override { return rt_ && rt_->isStreamRunning(); }

  private:
    static int Callback(void* output, void*, unsigned frames, double, RtAudioStreamStatus,
                        void* user) {
        auto* self = static_cast<RtAudioOutput*>(user);
        auto* out = static_cast<float*>(output);
        try {
            RenderInterleaved(self->render_, out, self->channels_, int(frames), self->left_,
                              self->right_);
        } catch (...) {
            // Nothing may leave through RtAudio's thread; the buffer plays silent instead.
            std::fill(out, out + size_t(frames) * size_t(self->channels_), 0.0f);
        }
        return 0;
    }

    // Devices that can play, with how many channels; the audio system is looked for the first
    // time this is asked.
    std::vector<Probed> Probe() {
        std::vector<Probed> list;
        const QuietStderr quiet;
        try {
            if (!rt_) {
                rt_ = std::make_unique<RtAudio>();
                rt_->showWarnings(false);
            }
            const unsigned count = rt_->getDeviceCount();
            for (unsigned i = 0; i < count; ++i) {
                const RtAudio::DeviceInfo info = rt_->getDeviceInfo(i);
                if (!info.probed || info.outputChannels == 0) continue;
                list.push_back({{i, info.name, info.isDefaultOutput}, info.outputChannels});
            }
        } catch (const std::exception& e) {
            error_ = OneLine(e.what());
        }
        return list;
    }

    static const Probed& Choose(const std::vector<Probed>& devices, const std::string& name) {
        const auto named = std::find_if(devices.begin(), devices.end(),
                                        [&](const Probed& p) { return p.device.name == name; });
        if (!name.empty() && named != devices.end()) return *named;
        const auto fallback = std::find_if(devices.begin(), devices.end(),
                                           [](const Probed& p) { return p.device.isDefault; });
        return fallback != devices.end() ? *fallback : devices.front();
    }

    std::unique_ptr<RtAudio> rt_;
    std::string error_;
    AudioRender render_;
    int channels_ = 2;
    std::vector<float> left_, right_;
};

}  // namespace

std::unique_ptr<AudioOutput> MakeRtAudioOutput() {
    return std::make_unique<RtAudioOutput>();
}

}  // namespace talmeru
