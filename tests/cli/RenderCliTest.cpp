#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "platform/FileUtil.h"
#include "support/CliRun.h"
#include "support/FileSizeLimit.h"
#include "support/MidiFileBuilder.h"
#include "support/Portability.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

namespace fs = std::filesystem;
using test::Cli;
using test::CliRun;

// 1.25 s: a second at 120 bpm, then a quarter note at 240 bpm.
constexpr int64_t kSongFrames = 55125;

class RenderCli : public test::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        test::MidiImage song;
        song.tracks.push_back(
            test::MidiTrack().Delta(0).Tempo(500000).Delta(960).Tempo(250000).Delta(480).End());
        song.tracks.push_back(test::MidiTrack()
                                  .Delta(0)
                                  .Sysex(0xF0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})
                                  .Delta(0)
                                  .Bytes({0xC0, 0})
                                  .Delta(0)
                                  .Bytes({0xD0, 40})
                                  .Delta(0)
                                  .Bytes({0x90, 60, 100})
                                  .Delta(480)
                                  .Bytes({60, 0})
                                  .Delta(0)
                                  .End());
        midi_ = Put("song.mid", song.Build());
    }

    struct Wav {
        int64_t frames = -1;
        int channels = 0, rate = 0, format = 0;
    };
    static Wav Read(const std::string& path) {
        SF_INFO info{};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
        if (!f) return {};
        sf_close(f);
        return {info.frames, info.channels, info.samplerate, info.format};
    }
    std::string midi_;
};

TEST_F(RenderCli, TheWavLastsTheSongAndItsTailIn16BitsOrFloat) {
    const std::string out = Path("out.wav");
    CliRun r = Cli({"render", "-", midi_, out, "--tail", "0"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, out + ": 1.25 s (55125 frames), 16-bit stereo at 44100 Hz\n");
    Wav w = Read(out);
    EXPECT_EQ(w.frames, kSongFrames);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.rate, 44100);
    EXPECT_EQ(w.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);

    // The sound may ring on for at most the tail given.
    r = Cli({"render", "-", midi_, out, "--float", "--tail", "1", "--reverb", "4"});
    ASSERT_EQ(r.status, 0) << r.err;
    w = Read(out);
    EXPECT_EQ(w.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_GE(w.frames, kSongFrames);
    EXPECT_LE(w.frames, kSongFrames + 44100);
    for (const fs::directory_entry& e : fs::directory_iterator(dir_))
        EXPECT_EQ(e.path().filename().string().find("TalmeruTemp"), std::string::npos);
}

// Numbers outside what an option allows are wrong usage, "nan" and "inf" included.
TEST_F(RenderCli, NumbersThatAreNoNumbersAreWrongUsage) {
    for (const char* tail : {"nan", "inf", "-1", "61", "x"})
        EXPECT_EQ(Cli({"render", "-", midi_, Path("out.wav"), "--tail", tail}).status, 2) << tail;
    EXPECT_FALSE(fs::exists(Path("out.wav")));
}

// --gain scales the whole render, --normalize puts its peak at -1 dBFS; a float file carries
// the fmt chunk's extension size, so readers such as sox take it without a warning.
TEST_F(RenderCli, GainAndNormalizeSetTheLevel) {
    auto peak = [&](const std::vector<std::string>& extra) {
        const std::string out = Path("level.wav");
        std::vector<std::string> args{"render", "-", midi_, out, "--tail", "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        CliRun r = Cli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        SF_INFO info{};
        SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
        if (!f) return -1.0;
        std::vector<float> x(size_t(info.frames) * 2);
        sf_readf_float(f, x.data(), info.frames);
        sf_close(f);
        float p = 0;
        for (float v : x)
            p = std::max(p, std::fabs(v));
        return double(p);
    };
    const double plain = peak({"--float"});
    ASSERT_GT(plain, 0);
    EXPECT_NEAR(peak({"--float", "--gain", "20"}) / plain, 10, 1e-3);
    EXPECT_NEAR(peak({"--float", "--normalize"}), std::pow(10, -1 / 20.0), 1e-6);
    EXPECT_NEAR(peak({"--normalize"}), std::pow(10, -1 / 20.0), 1e-4);
    peak({"--float"});
    const auto head = *ReadWholeFile(Path("level.wav"));
    EXPECT_EQ(head[16] | head[17] << 8, 18);  // the fmt chunk's size
    EXPECT_EQ(head[20] | head[21] << 8, 3);   // IEEE float
    EXPECT_EQ(head[36] | head[37] << 8, 0);   // no extension follows
    EXPECT_EQ(Cli({"render", "-", midi_, Path("x.wav"), "--normalize", "--gain", "3"}).status, 2);
}

// The bank goes to the emulator first, as an upload to the synthesizer does.
TEST_F(RenderCli, ABankIsUploadedBeforeTheSongPlays) {
    const std::string home = Path("home");
    test::SetEnv("TALMERU_HOME", home.c_str());
    // A looped 441 Hz sine (100 frames a period) whose root is key 60.
    std::vector<int16_t> sine;
    for (int i = 0; i < 44100; ++i)
        sine.push_back(int16_t(std::lround(20000 * std::sin(2 * M_PI * i / 100))));
    test::WavPlan tone;
    tone.data = test::Pcm16({sine});
    tone.unity = 60;
    tone.loops = {{0, 100, 44099, 0}};
    const std::string wav = Put("Tone.wav", test::MakeWav(tone));
    const std::string bank = Path("tone.pbf");
    ASSERT_EQ(Cli({"import-wav", "-", bank, wav}).status, 0);

    const std::string out = Path("out.wav");
    CliRun r = Cli({"render", bank, midi_, out, "--float", "--tail", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Read(out).frames, kSongFrames);
    // Key 60 for the first half second: the sample at its own pitch.
    SF_INFO info{};
    SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> frames(size_t(info.frames) * 2);
    sf_readf_float(f, frames.data(), info.frames);
    sf_close(f);
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = 2000; i < 20000; ++i) {
        const float a = frames[2 * (i - 1)], b = frames[2 * i];
        if (a < 0 && b >= 0) {
            last = double(i - 1) + a / (a - b);
            if (first < 0) first = last;
            ++crossings;
        }
    }
    ASSERT_GT(crossings, 100);
    EXPECT_NEAR(1200 * std::log2((crossings - 1) * 44100.0 / (last - first) / 441.0), 0, 2.0);

    r = Cli({"render", "--sample-ram", "1000", bank, midi_, Path("small.wav")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("The upload did not complete."), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(Path("small.wav")));
    test::UnsetEnv("TALMERU_HOME");
}

TEST_F(RenderCli, FailuresSayWhyAndLeaveTheOldFile) {
    TALMERU_SKIP_ON_WINDOWS("a file size limit (setrlimit)");
    test::MidiImage format2;
    format2.format = 2;
    format2.tracks.push_back(test::MidiTrack().Delta(0).End());
    const std::string bad = Put("bad.mid", format2.Build());
    test::MidiImage endless;  // 2^28 quarter notes of 16 s
    endless.division = 1;
    endless.tracks.push_back(test::MidiTrack().Delta(0).Tempo(0xFFFFFF).Delta(0x0FFFFFFF).End());
    const std::string tooLong = Put("long.mid", endless.Build());
    const std::string notBank = Put("notes.pbf", {'h', 'i'});
    fs::create_directories(dir_ / "folder.wav");
    const std::string out = Put("out.wav", {'o', 'l', 'd'});

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string why;
    };
    const std::vector<Case> cases = {
        {{"-", bad, out}, 1, "format 2 (independent patterns) cannot be played"},
        {{"-", Path("none.mid"), out}, 1, "Could not read the MIDI file"},
        {{"-", tooLong, out}, 1, "at most 10800 s can be rendered"},
        {{notBank, midi_, out}, 1, "Could not read file properly."},
        {{"-", midi_, Path("folder.wav")}, 1, "is a folder, not a regular file."},
        {{"-", midi_, Path("no/such/folder/out.wav")}, 1, "No temporary file can be made"},
        {{"-", midi_, midi_}, 1, "The WAV file would replace"},
        {{"-", midi_, out, "--reverb", "10"}, 2, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"render"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        CliRun r = Cli(args);
        EXPECT_EQ(r.status, c.status) << c.why;
        EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
    }

    // A disk that fills up: the old file stays, and no temporary file is left.
    CliRun full;
    {
        test::FileSizeLimit limit(20000);
        full = Cli({"render", "-", midi_, out});
    }
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("could not be written"), std::string::npos) << full.err;
    EXPECT_EQ(ReadWholeFile(out), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 6);
}

}  // namespace
}  // namespace talmeru
