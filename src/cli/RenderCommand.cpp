// talmeru-cli render: a Standard MIDI File played offline by a fresh MA-1 emulator that holds
// the bank, into a WAV file. Messages take effect at the start of the engine's next block,
// so splitting the rendering at each event's frame places every event on its sample.
#include <sndfile.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <vector>

#include "cli/CliContext.h"
#include "emulator/Ma1Emulator.h"
#include "files/MidiFile.h"
#include "platform/ByteIO.h"
#include "platform/CommandLine.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/MidiSystem.h"

namespace talmeru {

namespace {

constexpr int kBlockFrames = 512;
// A 16-bit stereo WAV file holds 6.7 hours, a float one half that.
constexpr double kMaxRenderSeconds = 3 * 3600;
// The ringing after the song counts as over once the engine has no voice left and the
// output has stayed below -80 dB this long (a delay's echo may come after a gap).
constexpr double kQuietSeconds = 0.5;
constexpr float kSilence = 1e-4f;

struct RenderOptions {
    std::string bank;  // "-": the factory ROM alone
    std::string midi;
    std::string out;
    int rate = 44100;
    int64_t sampleRam = -1;
    bool asFloat = false;
    int reverb = -1;  // -1: leave the emulator's own
    int chorus = -1;
    double tail = 10;
    double gainDb = 0;
    bool normalize = false;
};

// --normalize puts the loudest sample here: -1 dBFS, room for a converter's overshoot.
constexpr float kNormalPeak = 0.891250938f;

// A block of interleaved stereo frames on its way out; false when it could not be taken.
using BlockSink = std::function<bool(const float* frames, int n)>;

// The global effect types are NRPNs 1 (reverb) and 2 (chorus) on the first channel.
void SendEffects(MidiOutPort& port, const RenderOptions& o) {
    auto nrpn = [&](int number, int value) {
        port.SendShort(PackShortMessage(0xB0, 0x63, 0));
        port.SendShort(PackShortMessage(0xB0, 0x62, uint8_t(number)));
        port.SendShort(PackShortMessage(0xB0, 0x06, uint8_t(value)));
    };
    if (o.reverb >= 0) nrpn(1, o.reverb);
    if (o.chorus >= 0) nrpn(2, o.chorus);
}

// "Rendering 12.3 s of 64.0 s" on a terminal, at most ten times a second.
class ProgressLine {
  public:
    ProgressLine(bool shown, double total) : shown_(shown), total_(total) {}
    ~ProgressLine() {
        if (!drawn_) return;
        Draw();
        std::fprintf(stderr, "\n");
    }
    void At(double seconds) {
        if (!shown_) return;
        seconds_ = seconds;
        const auto now = std::chrono::steady_clock::now();
        if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        drawn_ = true;
        Draw();
    }

  private:
    void Draw() const {
        std::fprintf(stderr, "\rRendering %.1f s of %.1f s%s", seconds_, total_,
                     seconds_ > total_ ? " (the sound dies away)" : "");
        std::fflush(stderr);
    }

    bool shown_;
    double total_;
    double seconds_ = 0;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point last_;
};

// Renders the emulator's output block by block into a sink.
class Renderer {
  public:
    Renderer(emulator::Ma1Emulator& emu, int rate, const BlockSink& sink, ProgressLine& progress)
        : emu_(emu), rate_(rate), sink_(sink), progress_(progress) {}

    // Up to (not including) frame `end`; false when the file could not take it.
    bool To(int64_t end) {
        while (frames_ < end)
            if (!Block(int(std::min<int64_t>(kBlockFrames, end - frames_)))) return false;
        return true;
    }

    // Until the sound has died away, for at most maxFrames.
    bool Tail(int64_t maxFrames) {
        const int64_t end = frames_ + maxFrames;
        int64_t quiet = 0;
        while (frames_ < end && quiet < int64_t(kQuietSeconds * rate_)) {
            const int n = int(std::min<int64_t>(kBlockFrames, end - frames_));
            if (!Block(n)) return false;
            const bool silent = emu_.AudioStats().activeVoices == 0 && peak_ < kSilence;
            quiet = silent ? quiet + n : 0;
        }
        return true;
    }

    int64_t Frames() const { return frames_; }

  private:
    bool Block(int n) {
        emu_.Render(left_, right_, n);
        peak_ = 0;
        for (int i = 0; i < n; ++i) {
            interleaved_[2 * i] = left_[i];
            interleaved_[2 * i + 1] = right_[i];
            peak_ = std::max({peak_, std::fabs(left_[i]), std::fabs(right_[i])});
        }
        if (!sink_(interleaved_, n)) return false;
        frames_ += n;
        progress_.At(double(frames_) / rate_);
        return true;
    }

    emulator::Ma1Emulator& emu_;
    int rate_;
    const BlockSink& sink_;
    ProgressLine& progress_;
    float left_[kBlockFrames];
    float right_[kBlockFrames];
    float interleaved_[2 * kBlockFrames];
    float peak_ = 0;
    int64_t frames_ = 0;
};

// Plays the song into sink; false when writing failed. frames: how many were written.
bool Play(emulator::Ma1Emulator& emu, const MidiSong& song, const RenderOptions& o,
          const BlockSink& sink, bool terminal, int64_t& frames) {
    std::unique_ptr<MidiOutPort> port;
    if (emu.Devices()->OpenOutput(0, port)) {
        errno = ENODEV;
        return false;
    }
    ProgressLine progress(terminal, song.lengthSeconds);
    Renderer renderer(emu, o.rate, sink, progress);
    SendEffects(*port, o);
    auto frameOf = [&o](double seconds) { return int64_t(std::llround(seconds * o.rate)); };
    for (const MidiEvent& e : song.events) {
        if (!renderer.To(frameOf(e.seconds))) return false;
        if (e.IsSysex())
            port->SendLong(e.sysex);
        else
            port->SendShort(e.message);
    }
    const bool ok = renderer.To(frameOf(song.lengthSeconds)) && renderer.Tail(frameOf(o.tail));
    frames = renderer.Frames();
    return ok;
}

// A WAV file being written on a descriptor, each block scaled by a gain.
class WavOut {
  public:
    virtual ~WavOut() = default;
    bool Write(const float* frames, int n, float gain) {
        for (int i = 0; i < 2 * n; ++i)
            scaled_[i] = frames[i] * gain;
        return Put(scaled_, n);
    }
    // Completes the header; false when that failed.
    virtual bool Close() = 0;
    virtual std::string Error() const = 0;

  protected:
    virtual bool Put(const float* frames, int n) = 0;

  private:
    float scaled_[2 * kBlockFrames];
};

// 16-bit PCM through libsndfile, which rounds and clips.
class Pcm16Wav : public WavOut {
  public:
    Pcm16Wav(int fd, int rate) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        file_ = sf_open_fd(fd, SFM_WRITE, &info, 0);
        // Loud passages are clipped instead of wrapping round.
        if (file_) sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    }
    ~Pcm16Wav() override {
        if (file_) sf_close(file_);
    }
    bool Ok() const { return file_ != nullptr; }
    bool Close() override {
        const int rc = sf_close(file_);
        file_ = nullptr;
        return rc == 0;
    }
    std::string Error() const override { return sf_strerror(file_); }

  protected:
    bool Put(const float* frames, int n) override { return sf_writef_float(file_, frames, n) == n; }

  private:
    SNDFILE* file_ = nullptr;
};

// IEEE float written here: libsndfile leaves out the fmt chunk's extension size (cbSize),
// which readers such as sox warn about for any format but PCM.
class FloatWav : public WavOut {
  public:
    FloatWav(int fd, int rate) : fd_(fd), rate_(uint32_t(rate)) {
        ok_ = WriteToDescriptor(fd_, Header(0));
    }
    bool Ok() const { return ok_; }
    bool Close() override {
        return SeekDescriptor(fd_, 0) && WriteToDescriptor(fd_, Header(frames_));
    }
    std::string Error() const override { return std::strerror(errno); }

  protected:
    bool Put(const float* frames, int n) override {
        static_assert(std::endian::native == std::endian::little);
        frames_ += uint64_t(n);
        return WriteToDescriptor(
            fd_, {reinterpret_cast<const uint8_t*>(frames), size_t(n) * 2 * sizeof(float)});
    }

  private:
    std::vector<uint8_t> Header(uint64_t frames) const {
        const uint32_t data = uint32_t(frames * 8);
        ByteWriter w;
        w.FixedString("RIFF", 4);
        w.U32(4 + 26 + 12 + 8 + data);
        w.FixedString("WAVE", 4);
        w.FixedString("fmt ", 4);
        w.U32(18);
        w.U16(3);  // IEEE float
        w.U16(2);
        w.U32(rate_);
        w.U32(rate_ * 8);
        w.U16(8);
        w.U16(32);
        w.U16(0);  // no extension follows
        w.FixedString("fact", 4);
        w.U32(4);
        w.U32(uint32_t(frames));
        w.FixedString("data", 4);
        w.U32(data);
        return w.Take();
    }

    int fd_;
    uint32_t rate_;
    bool ok_ = false;
    uint64_t frames_ = 0;
};

// Raw float frames kept in an unnamed temporary file until the whole render's peak is known,
// so a normalized render of hours needs no more memory than a block.
class Spool {
  public:
    Spool() : file_(std::tmpfile()) {}
    ~Spool() {
        if (file_) std::fclose(file_);
    }
    bool Ok() const { return file_ != nullptr; }
    bool Write(const float* frames, int n) {
        for (int i = 0; i < 2 * n; ++i)
            peak_ = std::max(peak_, std::fabs(frames[i]));
        return std::fwrite(frames, sizeof(float) * 2, size_t(n), file_) == size_t(n);
    }
    float Peak() const { return peak_; }
    // Gives every block again, in order.
    bool Replay(const BlockSink& sink) {
        if (std::fseek(file_, 0, SEEK_SET) != 0) return false;
        float block[2 * kBlockFrames];
        size_t n;
        while ((n = std::fread(block, sizeof(float) * 2, kBlockFrames, file_)) > 0)
            if (!sink(block, int(n))) return false;
        return !std::ferror(file_);
    }

  private:
    std::FILE* file_;
    float peak_ = 0;
};

std::unique_ptr<WavOut> OpenWav(int fd, bool asFloat, int rate, std::string& why) {
    if (asFloat) {
        auto out = std::make_unique<FloatWav>(fd, rate);
        if (out->Ok()) return out;
        why = std::strerror(errno);
        return nullptr;
    }
    auto out = std::make_unique<Pcm16Wav>(fd, rate);
    if (out->Ok()) return out;
    why = sf_strerror(nullptr);
    return nullptr;
}

// Writes the WAV file on the descriptor of the temporary file that will replace OUT; the
// reason of a failure goes to `why`.
bool WriteWav(int fd, emulator::Ma1Emulator& emu, const MidiSong& song, const RenderOptions& o,
              bool terminal, std::string& why, int64_t& frames) {
    std::unique_ptr<WavOut> out = OpenWav(fd, o.asFloat, o.rate, why);
    if (!out) return false;
    float gain = float(std::pow(10.0, o.gainDb / 20));
    const BlockSink direct = [&](const float* x, int n) { return out->Write(x, n, gain); };
    errno = 0;
    bool ok;
    if (o.normalize) {
        Spool spool;
        const BlockSink spooled = [&](const float* x, int n) { return spool.Write(x, n); };
        ok = spool.Ok() && Play(emu, song, o, spooled, terminal, frames);
        gain = spool.Peak() > 0 ? kNormalPeak / spool.Peak() : 1;
        ok = ok && spool.Replay(direct);
    } else {
        ok = Play(emu, song, o, direct, terminal, frames);
    }
    if (!ok) why = errno ? std::strerror(errno) : out->Error();
    if (!out->Close() && ok) {
        why = "the file could not be completed";
        ok = false;
    }
    return ok;
}

int Render(const RenderOptions& o, CliContext& ctx) {
    MidiSong song;
    try {
        song = ReadMidiFile(o.midi);
    } catch (const MidiFileError& e) {
        ctx.err << e.what() << "\n";
        return 1;
    }
    if (song.lengthSeconds > kMaxRenderSeconds) {
        ctx.err << Fmt("The MIDI file lasts %.0f s; at most %.0f s can be rendered.\n",
                       song.lengthSeconds, kMaxRenderSeconds);
        return 1;
    }
    for (const std::string& input : {o.bank, o.midi})
        if (input != "-" && SameFile(input, o.out)) {
            ctx.err << "The WAV file would replace " << input << ".\n";
            return 1;
        }
    if (std::string why = NotRegularFileMessage(o.out); !why.empty()) {
        ctx.err << why << "\n";
        return 1;
    }

    emulator::Ma1Settings settings;
    if (o.sampleRam >= 0) settings.sampleRamBytes = uint32_t(o.sampleRam);
    auto emu = emulator::Ma1Emulator::Create(settings);
    if (o.bank != "-" && UploadToEmulator(emu, o.bank, ctx) != 0) return 1;
    emu->SetAudioRate(o.rate);

    const bool terminal = &ctx.err == &std::cerr && StderrIsTerminal();
    std::string why;
    int64_t frames = 0;
    AtomicWrite written = ReplaceFileAtomicWith(
        o.out, [&](int fd) { return WriteWav(fd, *emu, song, o, terminal, why, frames); });
    if (!written) {
        ctx.err << (why.empty()
                        ? written.text
                        : Fmt("\"%s\" could not be written: %s", o.out.c_str(), why.c_str()))
                << "\n";
        return 1;
    }
    ctx.out << Fmt("%s: %.2f s (%lld frames), %s stereo at %d Hz\n", o.out.c_str(),
                   double(frames) / o.rate, (long long)frames,
                   o.asFloat ? "32-bit float" : "16-bit", o.rate);
    return 0;
}

// CLI::Range alone lets "nan" through, which compares false both ways.
CLI::Validator FiniteRange(double low, double high) {
    return CLI::Validator(
        [low, high](const std::string& text) -> std::string {
            double v = 0;
            if (!CLI::detail::lexical_cast(text, v) || !std::isfinite(v) || v < low || v > high)
                return Fmt("a number from %g to %g is needed", low, high);
            return "";
        },
        Fmt("NUMBER in [%g - %g]", low, high));
}

}  // namespace

void AddRenderCommand(CLI::App& app, CliContext& ctx) {
    auto o = std::make_shared<RenderOptions>();
    auto* cmd = app.add_subcommand(
        "render", "Play a MIDI file with a bank on a fresh MA-1 emulator into a WAV file");
    cmd->add_option("BANK", o->bank, "Bank file to upload first, or - for the factory ROM alone")
        ->required();
    cmd->add_option("MIDIFILE", o->midi, "Standard MIDI File (format 0 or 1)")->required();
    cmd->add_option("OUT", o->out, "WAV file to write")->required();
    cmd->add_option("--sample-ram", o->sampleRam, "The emulator's sample RAM in bytes")
        ->check(CLI::Range(int64_t(0), int64_t(UINT32_MAX)));
    cmd->add_option("--rate", o->rate, "Sample rate in Hz (default 44100)")
        ->check(CLI::Range(8000, 192000));
    cmd->add_flag("--float", o->asFloat, "Write 32-bit float samples (default: 16-bit)");
    cmd->add_option("--reverb", o->reverb, "Reverb type 0..9 sent first (0: none, 4: Hall 1)")
        ->check(CLI::Range(0, 9));
    cmd->add_option("--chorus", o->chorus, "Chorus type 0..8 sent first (0: none)")
        ->check(CLI::Range(0, 8));
    cmd->add_option("--tail", o->tail,
                    "Longest time the sound may ring on after the song, in seconds (default 10)")
        ->check(FiniteRange(0, 60));
    auto* gain = cmd->add_option("--gain", o->gainDb, "Gain in dB applied to the whole render")
                     ->check(FiniteRange(-60, 60));
    cmd->add_flag("--normalize", o->normalize,
                  "Scale the render so that its loudest sample lies at -1 dBFS")
        ->excludes(gain);
    cmd->callback([o, &ctx] { ctx.status = Render(*o, ctx); });
}

}  // namespace talmeru
