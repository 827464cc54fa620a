// SoundFont 3 files: Ogg Vorbis samples decoded into one wave data, the sample records moved
// onto it, bad streams refused by name.
#include <gtest/gtest.h>

#include <cmath>

#include "files/BankFile.h"
#include "files/ConversionLog.h"
#include "files/Sf2Import.h"
#include "files/Sf2WaveData.h"
#include "files/WaveDataLoader.h"
#include "model/ZedoDatabase.h"
#include "platform/Prompter.h"
#include "support/Sf2Builder.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

using test::Gen;
using test::RangeGen;
using namespace test::sf2gen;

struct Tone {
    const char* name;
    double hz;
    int rate, frames;
    uint32_t loopStart, loopEnd;  // from the tone's own start
};
constexpr Tone kTones[] = {{"Sine A", 440, 44100, 4410, 1003, 3001},
                           {"Sine B", 880, 22050, 2205, 101, 2000}};
const std::vector<int16_t> kRamp = test::Ramp(300, 0, 7);

std::vector<int16_t> Sine(const Tone& t) {
    std::vector<int16_t> out(size_t(t.frames));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = int16_t(std::lround(16000 * std::sin(2 * M_PI * t.hz * double(i) / t.rate)));
    return out;
}

// The two tones as streams, then the ramp as plain points (in frames of the chunk), each
// played by a looping zone of one instrument.
test::Sf2Plan Sf3Plan() {
    test::Sf2Plan plan;
    plan.major = 3;
    for (const Tone& t : kTones) {
        const auto start = uint32_t(plan.sampleData.size());
        const std::vector<uint8_t> ogg = test::OggVorbis(Sine(t), t.rate);
        plan.sampleData.insert(plan.sampleData.end(), ogg.begin(), ogg.end());
        plan.samples.push_back({t.name, start, uint32_t(plan.sampleData.size()), t.loopStart,
                                t.loopEnd, uint32_t(t.rate), 69, 0, 0, 0x11});
    }
    if (plan.sampleData.size() & 1) plan.sampleData.push_back(0);
    const auto w = uint32_t(plan.sampleData.size() / 2);
    const std::vector<uint8_t> ramp = test::Pcm16({kRamp});
    plan.sampleData.insert(plan.sampleData.end(), ramp.begin(), ramp.end());
    plan.samples.push_back({"Ramp", w, w + 300, w + 10, w + 290, 44100, 60, 0, 0, 1});
    std::vector<test::Sf2Zone> zones;
    for (int s = 0; s < 3; ++s)
        zones.push_back(
            {{RangeGen(kKeyRange, 40 * s, 40 * s + 39), Gen(kSampleModes, 1), Gen(kSampleId, s)}});
    plan.instruments = {{"Sines", zones}};
    return plan;
}

// Where each record lands in the decoded whole: the tones' decoded lengths end to end, then
// the ramp; loops move with their sample.
struct Want {
    uint32_t start, end, loopStart, loopEnd;
};
constexpr Want kWant[] = {
    {0, 4410, 1003, 3001}, {4410, 6615, 4511, 6410}, {6615, 6915, 6625, 6905}};
constexpr uint32_t kWholeFrames = 6915;

class Sf3ImportTest : public test::TempDirTest {
  protected:
    std::string PutPlan(const test::Sf2Plan& plan) { return Put("bank.sf3", plan.Build()); }
    int16_t Point(const WaveData& w, uint32_t frame) const {
        return int16_t(w.data[2 * frame] | w.data[2 * frame + 1] << 8);
    }
    // Rising zero crossings per second over [from, to) at rate.
    double Frequency(const WaveData& w, uint32_t from, uint32_t to, int rate) const {
        int crossings = 0;
        uint32_t first = 0, last = 0;
        for (uint32_t i = from + 1; i < to; ++i)
            if (Point(w, i - 1) < 0 && Point(w, i) >= 0) {
                if (crossings++ == 0) first = i;
                last = i;
            }
        return crossings < 2 ? 0 : (crossings - 1) * double(rate) / (last - first);
    }

    ScriptedPrompter prompter_;
    ScopedPrompter scope_{prompter_};
    RecordingConversionLog log_;
};

TEST_F(Sf3ImportTest, RecordsMoveOntoTheDecodedWhole) {
    const test::Sf2Plan plan = Sf3Plan();
    const std::string path = PutPlan(plan);
    EXPECT_TRUE(IsSoundFont3(path));
    std::vector<Sf2SamplePoints> points;
    for (const test::Sf2Sample& s : plan.samples)
        points.push_back({s.name, s.type, s.start, s.end, s.loopStart, s.loopEnd});
    EXPECT_EQ(MapSoundFont3Samples(path, points, log_), kWholeFrames);
    EXPECT_TRUE(log_.Lines().empty());
    for (size_t i = 0; i < points.size(); ++i) {
        SCOPED_TRACE(points[i].name);
        EXPECT_TRUE(points[i].usable);
        EXPECT_EQ(points[i].start, kWant[i].start);
        EXPECT_EQ(points[i].end, kWant[i].end);
        EXPECT_EQ(points[i].loopStart, kWant[i].loopStart);
        EXPECT_EQ(points[i].loopEnd, kWant[i].loopEnd);
    }
    test::Sf2Plan sf2 = plan;
    sf2.major = 2;
    EXPECT_FALSE(IsSoundFont3(Put("plain.sf2", sf2.Build())));
}

TEST_F(Sf3ImportTest, WaveDataServesTheDecodedSamples) {
    auto w = CreateWaveDataByExtension(PutPlan(Sf3Plan()), 0, kWholeFile, true);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Kind(), kWaveSf2);
    EXPECT_EQ(w->FormatName(), "SF3");
    ASSERT_EQ(w->Length(), int32_t(2 * kWholeFrames));
    ASSERT_EQ(w->LoadData(), 0);
    ASSERT_EQ(w->data.size(), size_t(2 * kWholeFrames));
    for (size_t i = 0; i < std::size(kTones); ++i) {
        SCOPED_TRACE(kTones[i].name);
        EXPECT_NEAR(Frequency(*w, kWant[i].start + 100, kWant[i].end, kTones[i].rate), kTones[i].hz,
                    kTones[i].hz * 0.005);
        int peak = 0;
        for (uint32_t f = kWant[i].start; f < kWant[i].end; ++f)
            peak = std::max(peak, std::abs(int(Point(*w, f))));
        EXPECT_NEAR(peak, 16000, 1600);
    }
    for (size_t k = 0; k < kRamp.size(); ++k)
        ASSERT_EQ(Point(*w, kWant[2].start + uint32_t(k)), kRamp[k]) << k;

    // Read in pieces of an odd size, the same bytes.
    const std::vector<uint8_t> whole = w->data;
    w->ReleaseData();
    auto reader = w->OpenReader();
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(reader->Size(), whole.size());
    std::vector<uint8_t> pieces(whole.size());
    for (size_t at = 0; at < pieces.size(); at += 999) {
        const size_t n = std::min<size_t>(999, pieces.size() - at);
        ASSERT_EQ(reader->Read(std::span(pieces).subspan(at, n)), 0);
    }
    EXPECT_EQ(pieces, whole);
    EXPECT_NE(reader->Read(std::span(pieces).subspan(0, 1)), 0);  // nothing past the end
}

// Keeping some samples lays just those end to end, each at its own rate; a stream is kept
// whole or not at all, and a refused keep changes nothing.
TEST_F(Sf3ImportTest, KeptSamplesLieEndToEnd) {
    auto made = CreateWaveDataByExtension(PutPlan(Sf3Plan()), 0, kWholeFile, true);
    auto* w = dynamic_cast<Sf2WaveData*>(made.get());
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->LoadData(), 0);
    const std::vector<uint8_t> whole = w->data;
    EXPECT_TRUE(w->Keep({{kWant[1].start, kWant[1].end - 5}}).empty());
    EXPECT_FALSE(w->Kept());
    EXPECT_EQ(w->Length(), int32_t(2 * kWholeFrames));
    const std::vector<uint32_t> at =
        w->Keep({{kWant[1].start, kWant[1].end}, {kWant[2].start + 10, kWant[2].end}});
    EXPECT_EQ(at, (std::vector<uint32_t>{0, kWant[1].end - kWant[1].start}));
    EXPECT_TRUE(w->Kept());
    ASSERT_EQ(w->LoadData(), 0);
    auto part = [&](uint32_t from, uint32_t to) {
        return std::vector<uint8_t>(whole.begin() + 2 * from, whole.begin() + 2 * to);
    };
    std::vector<uint8_t> want = part(kWant[1].start, kWant[1].end);
    const std::vector<uint8_t> ramp = part(kWant[2].start + 10, kWant[2].end);
    want.insert(want.end(), ramp.begin(), ramp.end());
    EXPECT_EQ(w->data, want);
    ASSERT_EQ(at.size(), 2u);
    EXPECT_EQ(w->SampleRateAt(0), 22050);
    EXPECT_EQ(w->SampleRateAt(at[1]), 44100);
}

// A stream that cannot be decoded is named and takes no room; the others still play.
TEST_F(Sf3ImportTest, BadStreamIsNamedAndTheOthersSurvive) {
    struct Damage {
        const char* what;
        void (*apply)(test::Sf2Plan&);
        std::string line;  // the start of the log line
    };
    const Damage damages[] = {
        {"garbage",
         [](test::Sf2Plan& p) {
             std::fill_n(p.sampleData.begin() + p.samples[1].start, 60, uint8_t(0x55));
         },
         "X Sample Sine B cannot be decoded: "},
        {"past the chunk", [](test::Sf2Plan& p) { p.samples[1].end = 1u << 30; },
         "X Sample Sine B cannot be decoded: its stream lies outside the sample data\r\n"},
        {"empty range", [](test::Sf2Plan& p) { p.samples[1].end = p.samples[1].start; },
         "X Sample Sine B cannot be decoded: its stream lies outside the sample data\r\n"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        test::Sf2Plan plan = Sf3Plan();
        d.apply(plan);
        ZedoDatabase db;
        ASSERT_EQ(ImportSf2(PutPlan(plan), db, log_), 0);
        int named = 0;
        for (const std::string& line : log_.Lines())
            named += line.rfind(d.line, 0) == 0;
        EXPECT_EQ(named, 1) << log_.Text();
        EXPECT_TRUE(log_.Has("+ Sample 2 = Ramp\r\n"));
        ASSERT_NE(db.GetSampleHeader(0), nullptr);
        EXPECT_FALSE(log_.Has("+ Sample 1 = Sine B\r\n"));
        SampleHeader* ramp = db.GetSampleHeader(2);
        ASSERT_NE(ramp, nullptr);
        EXPECT_EQ(ramp->start, int32_t(2 * kWant[1].start));  // where Sine B would have been
        ASSERT_EQ(ramp->Wave()->LoadData(), 0);
        EXPECT_EQ(ramp->Wave()->Length(), int32_t(2 * (4410 + kRamp.size())));
        EXPECT_EQ(Point(*ramp->Wave(), 4410 + 5), kRamp[5]);
    }
}

// MuseScore writes an odd-sized sample chunk without its pad byte: the presets follow at once.
TEST_F(Sf3ImportTest, SampleListWithoutItsPadByte) {
    test::Sf2Plan plan = Sf3Plan();
    plan.sampleData.push_back(0x7F);
    std::vector<uint8_t> image = plan.Build();
    const size_t smpl = test::ChunkDataAt(image, "smpl");
    image.erase(image.begin() + std::ptrdiff_t(smpl + plan.sampleData.size()));
    for (size_t sizeAt : {size_t{4}, smpl - 16})  // the RIFF form's and the "sdta" list's
        --image[sizeAt];
    ZedoDatabase db;
    ASSERT_EQ(ImportSf2(Put("odd.sf3", image), db, log_), 0) << log_.Text();
    EXPECT_TRUE(log_.Has("+ Sample 1 = Sine B\r\n"));
    EXPECT_TRUE(log_.Has("+ Program \"Sines\"\r\n"));
}

TEST_F(Sf3ImportTest, OpenedSf3SavesAsTmbAndReadsBack) {
    ZedoDatabase db;
    ASSERT_EQ(OpenBank(db, PutPlan(Sf3Plan()), 0, &log_), 0);
    EXPECT_EQ(log_.Lines(),
              (std::vector<std::string>{"? 1 Presets skipped\r\n", "+ Sample 0 = Sine A\r\n",
                                        "+ Sample 1 = Sine B\r\n", "+ Sample 2 = Ramp\r\n",
                                        "+ Program \"Sines\"\r\n", "*** Done ***\r\n"}));
    for (int i = 0; i < 3; ++i) {
        const SampleHeader* h = db.GetSampleHeader(i);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->start, int32_t(2 * kWant[i].start));
        EXPECT_EQ(h->loopStart, int32_t(2 * kWant[i].loopStart));
        EXPECT_EQ(h->end, int32_t(2 * kWant[i].loopEnd));
    }
    ASSERT_EQ(db.GetSampleHeader(0)->Wave()->LoadData(), 0);
    const std::vector<uint8_t> decoded = db.GetSampleHeader(0)->Wave()->data;

    ASSERT_EQ(SaveBank(db, Path("bank.tmb"), 0), 0);
    ZedoDatabase again;
    ASSERT_EQ(OpenBank(again, Path("bank.tmb"), kOpenQuiet), 0);
    const SampleHeader* b = again.GetSampleHeader(1);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->start, int32_t(2 * kWant[1].start));
    EXPECT_EQ(b->pitch, db.GetSampleHeader(1)->pitch);
    ASSERT_EQ(b->Wave()->LoadData(), 0);
    EXPECT_EQ(b->Wave()->data, decoded);
}

}  // namespace
}  // namespace talmeru
