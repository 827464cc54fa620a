// talmeru-cli render: a Standard MIDI File played offline by a fresh MA-1 emulator that holds
// the bank, into a WAV file. Messages take effect at the start of the engine's next block,
// so splitting the rendering at each event's frame places every event on its sample.
#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

#include "cli/CliContext.h"
#include "emulator/Ma1Emulator.h"
#include "files/MidiFile.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/MidiSystem.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace talmeru {

namespace {

constexpr int kRate = 44100;
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
    int64_t sampleRam = -1;
    bool asFloat = false;
    int reverb = -1;  // -1: leave the emulator's own
    int chorus = -1;
    double tail = 10;
};

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

// Renders the emulator's output block by block into a libsndfile file.
class Renderer {
  public:
    Renderer(emulator::Ma1Emulator& emu, SNDFILE* file, ProgressLine& progress)
        : emu_(emu), file_(file), progress_(progress) {}

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
        while (frames_ < end && quiet < int64_t(kQuietSeconds * kRate)) {
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
        if (sf_writef_float(file_, interleaved_, n) != n) return false;
        frames_ += n;
        progress_.At(double(frames_) / kRate);
        return true;
    }

    emulator::Ma1Emulator& emu_;
    SNDFILE* file_;
    ProgressLine& progress_;
    float left_[kBlockFrames];
    float right_[kBlockFrames];
    float interleaved_[2 * kBlockFrames];
    float peak_ = 0;
    int64_t frames_ = 0;
};

// Plays the song into the open file; false when writing failed. frames: how many were written.
bool Play(emulator::Ma1Emulator& emu, const MidiSong& song, const RenderOptions& o, SNDFILE* file,
          bool terminal, int64_t& frames) {
    std::unique_ptr<MidiOutPort> port;
    if (emu.Devices()->OpenOutput(0, port)) {
        errno = ENODEV;
        return false;
    }
    ProgressLine progress(terminal, song.lengthSeconds);
    Renderer renderer(emu, file, progress);
    SendEffects(*port, o);
    auto frameOf = [](double seconds) { return int64_t(std::llround(seconds * kRate)); };
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

// Writes the WAV file through libsndfile on the descriptor of the temporary file that will
// replace OUT; the reason of a failure goes to `why`.
bool WriteWav(int fd, emulator::Ma1Emulator& emu, const MidiSong& song, const RenderOptions& o,
              bool terminal, std::string& why, int64_t& frames) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | (o.asFloat ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
    SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, 0);
    if (!file) {
        why = sf_strerror(nullptr);
        return false;
    }
    // Loud passages are clipped in 16 bits instead of wrapping round.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    errno = 0;
    bool ok = Play(emu, song, o, file, terminal, frames);
    if (!ok) why = errno ? std::strerror(errno) : sf_strerror(file);
    if (sf_close(file) != 0 && ok) {
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
    emu->SetAudioRate(kRate);

    bool terminal = false;
#if !defined(_WIN32)
    terminal = &ctx.err == &std::cerr && ::isatty(2);
#endif
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
                   double(frames) / kRate, (long long)frames, o.asFloat ? "32-bit float" : "16-bit",
                   kRate);
    return 0;
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
    cmd->add_flag("--float", o->asFloat, "Write 32-bit float samples (default: 16-bit)");
    cmd->add_option("--reverb", o->reverb, "Reverb type 0..9 sent first (0: none, 4: Hall 1)")
        ->check(CLI::Range(0, 9));
    cmd->add_option("--chorus", o->chorus, "Chorus type 0..8 sent first (0: none)")
        ->check(CLI::Range(0, 8));
    cmd->add_option("--tail", o->tail,
                    "Longest time the sound may ring on after the song, in seconds (default 10)")
        ->check(CLI::Range(0.0, 60.0));
    cmd->callback([o, &ctx] { ctx.status = Render(*o, ctx); });
}

}  // namespace talmeru
