#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <random>

#include "files/Pbf.h"
#include "files/WavWaveData.h"
#include "model/SampleHeader.h"
#include "platform/ByteIO.h"
#include "platform/ByteSink.h"
#include "platform/Prompter.h"
#include "platform/Riff.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

using test::MakeWav;
using test::Pcm16;
using test::Ramp;
using test::WavPlan;

class WavTest : public test::TempDirTest {
  protected:
    std::unique_ptr<WavWaveData> Open(const std::vector<uint8_t>& bytes, int channel = 0) {
        return std::make_unique<WavWaveData>(Put("w.wav", bytes), 5, channel, false);
    }
    ScriptedPrompter prompter_;
    ScopedPrompter scope_{prompter_};
};

int16_t Sample16(const std::vector<uint8_t>& d, size_t frame) {
    return static_cast<int16_t>(d[2 * frame] | (d[2 * frame + 1] << 8));
}

TEST_F(WavTest, StereoKeepsTheChosenChannel) {
    WavPlan s;
    s.channels = 2;
    s.data = Pcm16({Ramp(100, 0, 3), Ramp(100, -1000, -7)});
    std::string path = Put("stereo.wav", MakeWav(s));
    for (int selector : {0, 1, 2}) {
        WavWaveData w(path, 1, selector, false);
        ASSERT_TRUE(w.valid);
        EXPECT_TRUE(w.IsStereo());
        EXPECT_EQ(w.Length(), 200);
        ASSERT_EQ(w.LoadData(), 0);
        ASSERT_EQ(w.data.size(), 200u);
        for (size_t f : {0u, 1u, 99u})
            EXPECT_EQ(Sample16(w.data, f), selector == 2 ? -1000 - 7 * int(f) : 3 * int(f));
    }
    EXPECT_TRUE(prompter_.All().empty());
}

TEST_F(WavTest, EightBitIsHeldSignedAndWrittenBackUnsigned) {
    WavPlan s;
    s.bits = 8;
    s.data = {0x00, 0x80, 0xFF, 0x7F};
    auto w = Open(MakeWav(s));
    EXPECT_EQ(w->bitsHeld, 8);
    EXPECT_EQ(w->Length(), 4);
    ASSERT_EQ(w->LoadData(), 0);
    EXPECT_EQ(w->data, (std::vector<uint8_t>{0x80, 0x00, 0x7F, 0xFF}));
    ByteWriter out;
    ASSERT_EQ(WriteWav(out, *w, nullptr), 0);
    EXPECT_FALSE(w->loaded);  // released after writing
    WavWaveData back(Put("back.wav", out.Data()), 0, 0, false);
    EXPECT_EQ(back.bitsHeld, 8);
    ASSERT_EQ(back.LoadData(), 0);
    EXPECT_EQ(back.data, (std::vector<uint8_t>{0x80, 0x00, 0x7F, 0xFF}));
    MemorySource src(out.Data());
    RiffReader r(src);
    auto riff = r.Riff(0, FourCC("WAVE"));
    ASSERT_TRUE(riff);
    auto data = r.Find(*riff, FourCC("data"));
    EXPECT_EQ(r.ReadData(*data), s.data);
}

TEST_F(WavTest, LoopsAndRootPitchFromTheHeader) {
    WavPlan s;
    s.data = Pcm16({Ramp(1000, 0, 1)});
    s.unity = 62;
    s.pitchFraction = 0x80000000u;
    s.loops = {{0, 100, 900, 0x80000000u}};
    auto w = Open(MakeWav(s));
    EXPECT_EQ(w->LoopStart(), 100);
    EXPECT_EQ(w->End(), 902);  // the point after the last, and the fraction's top bit: one more
    EXPECT_DOUBLE_EQ(w->RootPitch(), 62.5);
    ASSERT_FALSE(w->regions.empty());
    EXPECT_EQ(w->regions[0].name, "Full Sample");
    EXPECT_EQ(w->regions[0].loopStart, 100);

    s.loops = {{1, 100, 900, 0}};  // backward loops are not used
    s.unity.reset();
    auto back = Open(MakeWav(s));
    EXPECT_EQ(back->LoopStart(), 1000);
    EXPECT_EQ(back->End(), 1000);

    s.loops = {{0, 500, 200, 0}};  // start after end
    EXPECT_EQ(Open(MakeWav(s))->LoopStart(), 201);

    s.loops = {{0, 10, 20, 0}};
    s.smplPadding = 500 - 60;
    auto big = Open(MakeWav(s));
    EXPECT_TRUE(prompter_.Saw("Warning, samplechunk too big, truncating"));
    EXPECT_EQ(big->LoopStart(), 10);
    EXPECT_EQ(big->End(), 21);

    s.smplPadding = 0;
    s.smplBeforeData = true;  // found even in front of the data
    EXPECT_EQ(Open(MakeWav(s))->LoopStart(), 10);

    s.loops = {{0, 10, 5000, 0}};
    prompter_.Clear();
    auto outside = Open(MakeWav(s));
    EXPECT_EQ(outside->LoopStart(), 1000);
    EXPECT_EQ(prompter_.Messages().size(), 1u);
}

// A loop's end point is its last one: the loop from 1000 to 1999 is 1,000 points. Files that
// Talmeru wrote before said the point after it, which at the data's end stays the end.
TEST_F(WavTest, LoopEndIsTheLoopsLastPoint) {
    struct Case {
        uint32_t start, last;
        int32_t loopStart, end;
    };
    const std::vector<Case> cases = {
        {1000, 1999, 1000, 2000}, {7, 2998, 7, 2999}, {7, 2999, 7, 3000},
        {7, 3000, 7, 3000},     // an older file of ours, looped to the data's end
        {7, 3001, 3000, 3000},  // outside the data: not looped
    };
    WavPlan s;
    s.data = Pcm16({Ramp(3000, 0, 1)});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last);
        s.loops = {{0, c.start, c.last, 0}};
        auto w = Open(MakeWav(s));
        EXPECT_EQ(std::pair(w->LoopStart(), w->End()), std::pair(c.loopStart, c.end));
        ASSERT_EQ(w->LoadData(), 0);
        EXPECT_EQ(w->End(), c.end);
    }
}

TEST_F(WavTest, InstChunkGivesRootPitchWhenThereIsNoSmpl) {
    WavPlan s;
    s.data = Pcm16({Ramp(10, 0, 1)});
    s.inst = std::vector<uint8_t>{62, static_cast<uint8_t>(-50), 0, 0, 127, 1, 127};
    EXPECT_DOUBLE_EQ(Open(MakeWav(s))->RootPitch(), 61.5);
    s.inst->resize(9, 0);
    Open(MakeWav(s));
    EXPECT_TRUE(prompter_.Saw("Warning, instrumentchunk too big, truncating"));
    s.inst.reset();
    EXPECT_DOUBLE_EQ(Open(MakeWav(s))->RootPitch(), -1.0);
}

TEST_F(WavTest, WriterCarriesPitchAndLoop) {
    WavPlan s;
    s.rate = 22050;
    s.data = Pcm16({Ramp(300, 5, 2)});
    auto plain = Open(MakeWav(s));
    ByteWriter out;
    ASSERT_EQ(WriteWav(out, *plain, nullptr), 0);
    MemorySource src(out.Data());
    RiffReader r(src);
    auto riff = r.Riff(0, FourCC("WAVE"));
    auto smpl = r.Find(*riff, FourCC("smpl"));
    ASSERT_TRUE(smpl);
    EXPECT_EQ(smpl->size, 36u);  // loop start == end: no loop
    auto smplBytes = r.ReadData(*smpl);
    ByteReader sr(smplBytes);
    sr.Seek(8);
    EXPECT_EQ(sr.U32(), 1000000000u / 22050u);
    EXPECT_EQ(sr.U32(), 60u);  // no root pitch: unity note 60
    auto info = r.FindList(*riff, FourCC("INFO"));
    ASSERT_TRUE(info);
    auto isft = r.Find(*info, FourCC("ISFT"));
    ASSERT_TRUE(isft);
    auto text = r.ReadData(*isft);
    EXPECT_EQ(std::string(text.begin(), text.end()), "Talmeru 147");

    s.unity = 61;
    s.pitchFraction = 0x40000000u;
    s.loops = {{0, 50, 250, 0}};
    auto looped = Open(MakeWav(s));
    ByteWriter out2;
    ASSERT_EQ(WriteWav(out2, *looped, nullptr), 0);
    WavWaveData back(Put("back.wav", out2.Data()), 0, 0, false);
    EXPECT_EQ(back.LoopStart(), 50);
    EXPECT_EQ(back.End(), 251);
    // The loop is written as it was read: its last point, 250.
    MemorySource src2(out2.Data());
    RiffReader r2(src2);
    auto smpl2 = r2.Find(*r2.Riff(0, FourCC("WAVE")), FourCC("smpl"));
    ASSERT_TRUE(smpl2);
    auto loopBytes = r2.ReadData(*smpl2);
    ASSERT_EQ(loopBytes.size(), 60u);
    ByteReader lr(loopBytes);
    lr.Seek(36 + 8);
    EXPECT_EQ(lr.U32(), 50u);
    EXPECT_EQ(lr.U32(), 250u);
    EXPECT_NEAR(back.RootPitch(), 61.25, 1e-6);
    EXPECT_EQ(back.SampleRate(), 22050);
}

// Found by fuzzing: a root pitch far outside any key overflowed the "smpl" fields and the
// header's 16-bit pitch.
TEST_F(WavTest, AbsurdRootPitchStaysInRange) {
    WavPlan s;
    s.data = Pcm16({Ramp(10, 0, 1)});
    s.unity = 0xFFFFFFFFu;
    s.pitchFraction = 0xFFFFFFFFu;
    auto w = Open(MakeWav(s));
    EXPECT_GT(w->RootPitch(), 4.29e9);
    ByteWriter out;
    ASSERT_EQ(WriteWav(out, *w, nullptr), 0);
    WavWaveData back(Put("back.wav", out.Data()), 0, 0, false);
    EXPECT_GE(back.RootPitch(), 4294967295.0);
    SampleHeader h;
    h.AttachWave(w.get(), kAttachReference);
    h.SetPitch(w->RootPitch());
    EXPECT_EQ(h.pitch, 32767);
    h.SetPitch(60);
    int at60 = h.pitch;
    h.SetPitch(-1e12);
    EXPECT_EQ(h.pitch, at60);  // unknown (negative) root keys count as 60
}

TEST_F(WavTest, StereoWriterInterleavesTwoWaveData) {
    WavPlan s;
    s.data = Pcm16({Ramp(64, 0, 1)});
    auto left = Open(MakeWav(s));
    s.data = Pcm16({Ramp(64, 1000, -1)});
    WavWaveData right(Put("r.wav", MakeWav(s)), 6, 0, false);
    ByteWriter out;
    ASSERT_EQ(WriteWav(out, *left, &right), 0);
    std::string path = Put("st.wav", out.Data());
    WavWaveData l(path, 1, kLeftChannel, false), rr(path, 2, kRightChannel, false);
    EXPECT_TRUE(l.IsStereo());
    ASSERT_EQ(l.LoadData(), 0);
    ASSERT_EQ(rr.LoadData(), 0);
    EXPECT_EQ(Sample16(l.data, 63), 63);
    EXPECT_EQ(Sample16(rr.data, 63), 1000 - 63);
}

// The writer goes in pieces of about a megabyte: data longer than that, a right channel
// shorter than the left (filled with silence) and an odd-sized 8-bit data chunk all come out
// as one whole image, into a fresh image and behind what a sink already holds alike.
TEST_F(WavTest, WriterCrossesItsPiecesIntoMemoryAndFiles) {
    WavPlan s;
    s.data = Pcm16({Ramp(700001, -30000, 1)});
    auto left = Open(MakeWav(s));
    s.data = Pcm16({Ramp(300000, 5, 3)});
    WavWaveData right(Put("r.wav", MakeWav(s)), 6, 0, false);
    WavPlan e;
    e.bits = 8;
    for (int f = 0; f < 1200001; ++f)
        e.data.push_back(static_cast<uint8_t>(f * 11));
    WavWaveData eight(Put("e.wav", MakeWav(e)), 7, 0, false);

    for (bool stereo : {true, false}) {
        WaveData& first = stereo ? static_cast<WaveData&>(*left) : eight;
        WaveData* second = stereo ? &right : nullptr;
        ByteWriter image;
        ASSERT_EQ(WriteWav(image, first, second), 0);
        std::vector<uint8_t> streamed;
        VectorSink sink(streamed);
        streamed.assign(3, 0xAA);  // a sink that already holds bytes
        bool shown = false;
        ASSERT_TRUE(WriteWav(sink, first, second, shown));
        EXPECT_TRUE(std::equal(image.Data().begin(), image.Data().end(), streamed.begin() + 3,
                               streamed.end()));
        std::string path = Put("out.wav", image.Data());
        if (stereo) {
            WavWaveData l(path, 1, kLeftChannel, false), r(path, 2, kRightChannel, false);
            ASSERT_EQ(l.LoadData(), 0);
            ASSERT_EQ(r.LoadData(), 0);
            ASSERT_EQ(l.data.size(), 2 * 700001u);
            ASSERT_EQ(r.data.size(), 2 * 700001u);
            int wrong = 0;
            for (size_t f = 0; f < 700001; f += 997)
                wrong += Sample16(l.data, f) != int16_t(-30000 + int(f)) ||
                         Sample16(r.data, f) != (f < 300000 ? int16_t(5 + 3 * int(f)) : 0);
            EXPECT_EQ(wrong, 0);
            EXPECT_EQ(Sample16(l.data, 700000), int16_t(-30000 + 700000));
            EXPECT_EQ(Sample16(r.data, 299999), int16_t(5 + 3 * 299999));
            EXPECT_EQ(Sample16(r.data, 300000), 0);
        } else {
            WavWaveData back(path, 1, 0, false);
            ASSERT_EQ(back.LoadData(), 0);
            ASSERT_EQ(eight.LoadData(), 0);
            EXPECT_EQ(back.data, eight.data);
            eight.ReleaseData();
            EXPECT_EQ(image.Data().size() % 2, 0u);
        }
    }
}

TEST_F(WavTest, HeaderErrorsNameTheFile) {
    auto expectFailure = [&](const std::vector<uint8_t>& bytes, const std::string& message) {
        prompter_.Clear();
        std::string path = Put("bad.wav", bytes);
        WavWaveData w(path, 1, 0, false);
        EXPECT_EQ(w.formatTag, -1) << message;
        EXPECT_TRUE(prompter_.Saw(message))
            << message << " / " << (prompter_.All().empty() ? "" : prompter_.All()[0].text);
        EXPECT_NE(w.LoadData(), 0);
        EXPECT_TRUE(w.data.empty());
    };
    WavPlan s;
    s.data = Pcm16({Ramp(10, 0, 1)});
    std::string bad = Path("bad.wav");
    expectFailure({'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '},
                  "This is not a waveform-audio file, \"" + bad + "\".\n");
    WavPlan noFmt = s;
    noFmt.withFmt = false;
    expectFailure(MakeWav(noFmt), "Waveform-audio file \"" + bad + "\" has no \"FMT\" chunk.");
    WavPlan noData = s;
    noData.withData = false;
    expectFailure(MakeWav(noData), "\"" + bad + "\" Waveform-audio file has no data chunk.");
    WavPlan empty = s;
    empty.data.clear();
    expectFailure(MakeWav(empty), "The data chunk in \"" + bad + "\" contains no data.");
    WavPlan noChannels = s;
    noChannels.channels = 0;
    expectFailure(MakeWav(noChannels), "Waveform-audio file \"" + bad + "\" has no channels.");
    auto shortFmt = MakeWav(s);  // a "fmt " chunk of 12 bytes
    shortFmt.erase(shortFmt.begin() + 32, shortFmt.begin() + 36);
    shortFmt[16] = 12;
    shortFmt[4] = static_cast<uint8_t>(shortFmt[4] - 4);
    expectFailure(shortFmt, "Failed to read format chunk in file \"" + bad + "\".");
}

// A size past the file (a WAV written to a pipe, or one cut short) means the data it holds.
TEST_F(WavTest, DataChunkRunningPastTheFileHoldsWhatTheFileHolds) {
    WavPlan s;
    s.data = Pcm16({Ramp(100, 0, 1)});
    const auto whole = MakeWav(s);
    const size_t at = 40;  // the data chunk's size, after "RIFF", "fmt " and "data"
    ASSERT_EQ(std::string(whole.begin() + 36, whole.begin() + 40), "data");
    for (uint32_t size : {0x7FFFF000u, 0xFFFFFFFFu, 250u}) {
        auto bytes = whole;
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = uint8_t(size >> (8 * i));
        if (size == 250) bytes.resize(bytes.size() - 50);
        auto w = Open(bytes);
        EXPECT_EQ(w->formatTag, 1);
        EXPECT_EQ(w->length, size == 250 ? 150 : 200) << size;
        EXPECT_EQ(w->LoadData(), 0) << size;
    }
}

TEST_F(WavTest, ReadsAnImageAtAnOffsetInsideAnotherFile) {
    WavPlan s;
    s.data = Pcm16({Ramp(20, 7, 1)});
    std::vector<uint8_t> container(1234, 0xEE);
    auto wav = MakeWav(s);
    container.insert(container.end(), wav.begin(), wav.end());
    container.resize(container.size() + 99, 0xEE);
    WavWaveData w(Put("bank.tmb", container), 3, 0, false, 1234);
    ASSERT_EQ(w.formatTag, 1);
    ASSERT_EQ(w.LoadData(), 0);
    EXPECT_EQ(Sample16(w.data, 19), 26);
    WavWaveData past(Path("bank.tmb"), 3, 0, false, 999999);
    EXPECT_EQ(past.formatTag, -1);
    EXPECT_TRUE(
        prompter_.Saw("Could not seek to RIFF position in \"" + Path("bank.tmb") + "\".\n"));
}

TEST_F(WavTest, CompressedFormatsAreDecodedToSixteenBits) {
    std::string path = Path("adpcm.wav");
    SF_INFO info{};
    info.samplerate = 32000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<short> frames;
    for (int i = 0; i < 4000; ++i) {
        frames.push_back(static_cast<short>(10000 * std::sin(i * 0.01)));
        frames.push_back(static_cast<short>(-10000 * std::sin(i * 0.01)));
    }
    sf_writef_short(f, frames.data(), 4000);
    sf_close(f);

    WavWaveData right(path, 1, kRightChannel, false);
    EXPECT_EQ(right.FormatName(), "ADPCM");
    EXPECT_EQ(right.bitsHeld, 16);
    EXPECT_EQ(right.SampleRate(), 32000);
    int32_t length = right.Length();
    EXPECT_GE(length, 8000);
    ASSERT_EQ(right.LoadData(), 0);
    EXPECT_EQ(static_cast<int32_t>(right.data.size()), length);
    // ADPCM is lossy; the decoded right channel follows the negated sine closely.
    double err = 0;
    for (size_t i = 100; i < 3900; ++i)
        err += std::abs(Sample16(right.data, i) + 10000 * std::sin(i * 0.01));
    EXPECT_LT(err / 3800, 300.0);

    WavPlan unknown;
    unknown.tag = 0x7777;
    unknown.data = std::vector<uint8_t>(64, 1);
    auto w = Open(MakeWav(unknown));
    EXPECT_EQ(w->FormatName(), "Unknown");
    EXPECT_NE(w->LoadData(), 0);
    EXPECT_TRUE(prompter_.Saw("Unable to convert wave format."));
}

// Floating-point data comes in at its real level, clipped to 16 bits.
TEST_F(WavTest, FloatingPointDataKeepsItsLevel) {
    const std::vector<double> points = {0.5, -0.25, 1.5, -2.0, 1.0 / 32768, -1.0, 0.0};
    const std::vector<int16_t> wanted = {16384, -8192, 32767, -32768, 1, -32768, 0};
    for (int subtype : {SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE}) {
        std::string path = Path(subtype == SF_FORMAT_FLOAT ? "float.wav" : "double.wav");
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | subtype;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        // No normalisation on writing: the values go into the file as they are.
        sf_command(f, SFC_SET_NORM_DOUBLE, nullptr, SF_FALSE);
        sf_command(f, SFC_SET_CLIPPING, nullptr, SF_FALSE);
        std::vector<double> frames;
        for (double p : points) {
            frames.push_back(0.1);  // the left channel is not the one read
            frames.push_back(p);
        }
        ASSERT_EQ(sf_writef_double(f, frames.data(), sf_count_t(points.size())),
                  sf_count_t(points.size()));
        sf_close(f);

        WavWaveData right(path, 1, kRightChannel, false);
        ASSERT_EQ(right.bitsHeld, 16) << path;
        ASSERT_EQ(right.LoadData(), 0) << path;
        ASSERT_EQ(right.data.size(), points.size() * 2) << path;
        for (size_t i = 0; i < points.size(); ++i)
            EXPECT_EQ(Sample16(right.data, i), wanted[i]) << path << " point " << i;
    }
}

TEST_F(WavTest, MissingFilesAreLookedFor) {
    WavPlan s;
    s.data = Pcm16({Ramp(10, 0, 1)});
    std::string real = Put("moved/kick.wav", MakeWav(s));
    std::string wanted = "C:\\Samples\\kick.wav";

    SetWaveSearchDirectory("");
    WavWaveData quiet(wanted, 1, 0, true);
    EXPECT_FALSE(quiet.valid);
    EXPECT_TRUE(prompter_.All().empty());
    EXPECT_EQ(quiet.path, wanted);

    prompter_.QueueAnswer(Answer::Yes);
    prompter_.QueueFile(real);
    WavWaveData asked(wanted, 1, 0, false);
    EXPECT_TRUE(
        prompter_.Saw("\"" + wanted + "\" could not be found. Would you like to try to find it?"));
    ASSERT_TRUE(asked.valid);
    EXPECT_EQ(asked.path, std::filesystem::path(real).lexically_normal().string());
    EXPECT_EQ(asked.Length(), 20);

    // The folder the user found is tried for the next missing file without asking.
    prompter_.Clear();
    WavWaveData next("/elsewhere/kick.wav", 2, 0, false);
    EXPECT_TRUE(next.valid);
    EXPECT_TRUE(prompter_.All().empty());
    SetWaveSearchDirectory("");

    prompter_.QueueAnswer(Answer::No);
    WavWaveData declined("/elsewhere/kick.wav", 2, 0, false);
    EXPECT_FALSE(declined.valid);
}

// Truncations and seeded byte changes of 8- and 16-bit, mono and stereo files: the reader
// reports problems and never reads outside its buffers (the sanitizer build checks).
TEST_F(WavTest, DamagedFilesNeverCrash) {
    std::vector<std::vector<uint8_t>> seeds;
    for (int bits : {8, 16})
        for (int ch : {1, 2}) {
            WavPlan s;
            s.bits = bits;
            s.channels = ch;
            s.data.resize(static_cast<size_t>(40 * ch * bits / 8), 0x11);
            s.unity = 60;
            s.loops = {{0, 3, 30, 0}};
            s.inst = std::vector<uint8_t>{60, 0, 0, 0, 127, 0, 127};
            seeds.push_back(MakeWav(s));
        }
    std::mt19937 gen(99);
    std::string path = Path("fuzz.wav");
    for (size_t round = 0; round < 1200; ++round) {
        auto bytes = seeds[round % seeds.size()];
        if (round % 3 == 0) {
            bytes.resize(gen() % bytes.size());
        } else {
            for (int c = 0; c < 1 + static_cast<int>(gen() % 6); ++c)
                bytes[gen() % bytes.size()] = static_cast<uint8_t>(gen());
        }
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        WavWaveData w(path, 1, static_cast<int>(round % 3), true);
        if (w.LoadData() == 0) {
            EXPECT_EQ(w.data.size() % static_cast<size_t>(w.BytesPerFrame()), 0u);
            ByteWriter out;
            WriteWav(out, w, nullptr);
        }
    }
}

}  // namespace
}  // namespace talmeru
