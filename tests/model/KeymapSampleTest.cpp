#include <gtest/gtest.h>

#include "model/Keymap.h"
#include "model/SampleHeader.h"
#include "model/WaveData.h"
#include "platform/Prompter.h"
#include "support/BankBuilder.h"

namespace talmeru {
namespace {

using test::Bytes;
using test::KeymapBody;
using test::PackedObject;
using test::SampleBody;

std::vector<int> Tops(const Keymap& k) {
    std::vector<int> t;
    for (const auto& e : k.entries)
        t.push_back(e.topKey);
    return t;
}

struct MapWith : Keymap {
    explicit MapWith(std::vector<KeymapEntry> e) { entries = std::move(e); }
};

TEST(Keymap, PacksBackTheSameBytes) {
    Bytes block =
        PackedObject(1, 300, "Grand Piano L",
                     KeymapBody({{40, -3, 12}, {80, 127, 0xFFFF}, {127, -127, 511}}, 5, 99));
    Keymap k;
    ASSERT_EQ(k.Unpack(block), 0);
    EXPECT_EQ(k.Number(), 300);
    EXPECT_EQ(k.Name(), "Grand Piano L");
    ASSERT_EQ(k.entries.size(), 3u);
    EXPECT_EQ(k.entries[0].amp, -3);
    EXPECT_EQ(k.entries[1].sample, kNoSample);
    Bytes again;
    ASSERT_EQ(k.PackToBlock(again), 0);
    EXPECT_EQ(again, block);
}

TEST(Keymap, HeaderChecksAndShortBodies) {
    Keymap k;
    EXPECT_EQ(k.Unpack(PackedObject(1, 3, "tiny", {7})), 0);  // one byte: only byte A
    EXPECT_EQ(k.byteA, 7);
    EXPECT_TRUE(k.entries.empty());
    // Once loaded, a block of another number is refused.
    EXPECT_EQ(k.Unpack(PackedObject(1, 4, "other", KeymapBody({{127, 0, 1}}))), 1);
    // A block shorter than its header says.
    Bytes cut = PackedObject(1, 3, "x", KeymapBody({{127, 0, 1}}));
    cut.pop_back();
    Keymap fresh;
    EXPECT_EQ(fresh.Unpack(cut), 1);
    EXPECT_EQ(Keymap().Unpack(Bytes(10, 0)), 1);
}

TEST(Keymap, SampleForKey) {
    MapWith k({{127, 0, 9}});
    for (int key : {0, 64, 127})
        EXPECT_EQ(k.SampleForKey(key), 9);
    EXPECT_EQ(k.SampleForKey(128), kNoSample);
    MapWith two({{59, 0, 1}, {100, 0, 2}});
    EXPECT_EQ(two.SampleForKey(59), 1);
    EXPECT_EQ(two.SampleForKey(60), 2);
    EXPECT_EQ(two.SampleForKey(101), kNoSample);
}

TEST(Keymap, MakeRangeCases) {
    MapWith whole({{127, 4, 7}});
    size_t i = whole.MakeRange(60, 64);
    EXPECT_EQ(Tops(whole), (std::vector<int>{59, 64, 127}));
    EXPECT_EQ(i, 1u);
    for (const auto& e : whole.entries) {
        EXPECT_EQ(e.sample, 7);
        EXPECT_EQ(e.amp, 4);
    }

    MapWith two({{10, 0, 1}, {127, 0, 2}});
    i = two.MakeRange(0, 10);
    EXPECT_EQ(Tops(two), (std::vector<int>{10, 127}));
    EXPECT_EQ(i, 0u);
    EXPECT_EQ(two.entries[0].sample, 2);

    // Starting inside an entry and running past its end cuts it.
    MapWith three({{50, 0, 1}, {127, 0, 2}});
    i = three.MakeRange(40, 60);
    EXPECT_EQ(Tops(three), (std::vector<int>{39, 60, 127}));
    EXPECT_EQ(three.entries[i].sample, 1);

    // Beyond the last top key: a fresh entry playing sample 0.
    MapWith partial({{50, 3, 1}});
    i = partial.MakeRange(70, 80);
    EXPECT_EQ(Tops(partial), (std::vector<int>{50, 80}));
    EXPECT_EQ(partial.entries[i].sample, 0);
    EXPECT_EQ(partial.entries[i].amp, 0);

    // Swallowing several entries whole.
    MapWith many({{10, 0, 1}, {20, 0, 2}, {30, 0, 3}, {127, 0, 4}});
    many.MakeRange(5, 30);
    EXPECT_EQ(Tops(many), (std::vector<int>{4, 30, 127}));
}

TEST(Keymap, StereoPairAndCopy) {
    Keymap left, right, copy;
    left.SetName("Strings L");
    left.entries = {{127, 0, 4}};
    PairStereo(left, right);
    EXPECT_EQ(left.stereoRole, kStereoLeft);
    EXPECT_EQ(right.stereoRole, kStereoRight);
    EXPECT_EQ(left.chained, &right);
    EXPECT_EQ(right.chained, nullptr);
    copy.CopyFrom(left);
    EXPECT_EQ(copy.Name(), "Strings L");
    EXPECT_EQ(copy.stereoRole, kStereoLeft);
    EXPECT_EQ(copy.entries.size(), 1u);
}

TEST(Keymap, SplitAndDelete) {
    MapWith k({{9, 0, 1}, {127, 0, 2}});
    k.SplitEntry(0);
    EXPECT_EQ(Tops(k), (std::vector<int>{4, 9, 127}));
    MapWith single({{0, 0, 1}, {127, 0, 2}});
    single.SplitEntry(0);  // one key: unchanged
    EXPECT_EQ(Tops(single), (std::vector<int>{0, 127}));
    k.DeleteEntry(1);
    EXPECT_EQ(Tops(k), (std::vector<int>{4, 127}));
    EXPECT_EQ(k.LowKey(1), 5);
    k.DeleteEntry(7);  // out of range: nothing
    EXPECT_EQ(k.entries.size(), 2u);
}

TEST(SampleHeader, PacksBackTheSameBytes) {
    Bytes block = PackedObject(2, 17, "ABCDEFGHIJKLMNOP", SampleBody(100, -1, 90000, -5, 7, -1234));
    SampleHeader s;
    ASSERT_EQ(s.Unpack(block), 0);
    EXPECT_EQ(s.Name(), "ABCDEFGHIJKLMNOP");  // 16 characters, no terminator in the block
    EXPECT_EQ(s.loopStart, -1);
    EXPECT_EQ(s.amp, -5);
    EXPECT_EQ(s.pitch, -1234);
    EXPECT_EQ(s.envelope.size(), 3u);
    EXPECT_EQ(s.AttackCount(), 0);
    Bytes again;
    ASSERT_EQ(s.PackToBlock(again), 0);
    EXPECT_EQ(again, block);

    SampleHeader bare;
    Bytes fixedOnly = SampleBody(0, 0, 10);
    fixedOnly.resize(16);
    ASSERT_EQ(bare.Unpack(PackedObject(2, 1, "bare", fixedOnly)), 0);
    EXPECT_TRUE(bare.envelope.empty());
}

TEST(SampleHeader, EnvelopeStopsAfterThreeTerminators) {
    Bytes body = SampleBody(0, 0, 10);
    for (int i = 0; i < 4; ++i)
        body.insert(body.end(), {1, 0, 5, 0});  // past the third zero
    SampleHeader s;
    ASSERT_EQ(s.Unpack(PackedObject(2, 1, "x", body)), 0);
    EXPECT_EQ(s.envelope.size(), 3u);
}

TEST(SampleHeader, AttackGroupEditing) {
    SampleHeader s;
    s.ResetEnvelope(kDefaultDecaySlope);
    s.SetAttackCount(2);
    ASSERT_EQ(s.envelope.size(), 5u);
    EXPECT_EQ(s.AttackCount(), 2);
    EXPECT_EQ(s.envelope[0].duration, 10000);  // terminator's duration is under 1000
    EXPECT_EQ(s.envelope[2].duration, 0);
    EXPECT_EQ(s.envelope[3].slope, kDefaultDecaySlope);
    s.SetAttackCount(1);
    EXPECT_EQ(s.AttackCount(), 1);
    EXPECT_EQ(s.envelope.size(), 4u);

    s.envelope = {{9, 0}, {1, 0}};
    s.envelope.insert(s.envelope.begin(), EnvelopeEntry{0, 2000});
    s.envelope[1].duration = 0;
    s.SetAttackCount(0);
    EXPECT_EQ(s.AttackCount(), 0);
    EXPECT_EQ(s.envelope.size(), 2u);
}

TEST(SampleHeader, EnvelopeEntryLimitsTheSlope) {
    EXPECT_EQ(SampleHeader::EnvelopeEntryFor(1000, 10).slope, 100);
    EXPECT_EQ(SampleHeader::EnvelopeEntryFor(1000, 10).duration, 10);
    auto steep = SampleHeader::EnvelopeEntryFor(-3276700, 2);
    EXPECT_EQ(steep.slope, -32767);
    EXPECT_EQ(steep.duration, 100);
    EXPECT_EQ(SampleHeader::EnvelopeEntryFor(10, 40000).duration, 32767);
}

class FakeWave : public WaveData {
  public:
    std::unique_ptr<WaveData> Clone() const override { return std::make_unique<FakeWave>(*this); }
    int Kind() const override { return kWaveWav; }
    int StorageClass() const override { return kFileLoaded; }
    std::string DisplayName() const override { return path; }
    std::string FormatName() const override { return "PCM"; }
};

TEST(SampleHeader, PitchFollowsRootKeyAndRate) {
    FakeWave w;
    SampleHeader s;
    s.AttachWave(&w, kAttachReference);
    w.sampleRate = 44100;
    s.SetPitch(60);
    EXPECT_EQ(s.pitch, 3072);
    w.sampleRate = 88200;
    s.SetPitch(60);
    EXPECT_EQ(s.pitch, 0);
    s.SetPitch(-1);  // unknown root key counts as 60
    EXPECT_EQ(s.pitch, 0);
    s.SetPitch(61.5);
    EXPECT_EQ(s.pitch, 384);
    w.sampleRate = 0;  // no rate: one octave down
    s.SetPitch(60);
    EXPECT_EQ(s.pitch, 3072);
    w.sampleRate = 22050;
    s.SetPitch(59);
    EXPECT_EQ(s.pitch, 5888);
}

TEST(SampleHeader, AttachTakesPointsRegionAndStereoName) {
    FakeWave w;
    w.sampleStart = 0;
    w.loopStart = 500;
    w.end = 1000;
    w.stereo = true;
    w.channel = kRightChannel;
    w.regions.push_back({"Full Sample", 0, 500, 1000});
    SampleHeader s;
    s.SetName("SixteenCharsLong");
    s.AttachWave(&w, kAttachPoints | kAttachReference | kAttachStereoName);
    EXPECT_EQ(s.start, 0);
    EXPECT_EQ(s.loopStart, 1000);  // 16-bit data: bytes
    EXPECT_EQ(s.end, 2000);
    EXPECT_EQ(s.flags & (kSixteenBit | kLinearData), kSixteenBit | kLinearData);
    EXPECT_EQ(s.Name(), "SixteenCharsLonR");
    EXPECT_EQ(s.RegionName(), "Full Sample");

    w.bitsHeld = 8;
    w.loopStart = w.end;  // no loop
    w.regions[0].loopStart = 1000;
    SampleHeader eight;
    eight.SetName("drum");
    w.channel = kLeftChannel;
    eight.AttachWave(&w, kAttachPoints | kAttachReference | kAttachStereoName);
    EXPECT_EQ(eight.loopStart, -1);
    EXPECT_EQ(eight.end, 1000);
    EXPECT_EQ(eight.flags & kSixteenBit, 0);
    EXPECT_EQ(eight.Name(), "drumL");
    EXPECT_EQ(eight.RegionName(), "Full Sample");
}

TEST(WaveSharing, UsersMoveBetweenBaseAndLinks) {
    FakeWave w;
    w.AddLink(5);
    EXPECT_EQ(w.base, 5);
    EXPECT_TRUE(w.uploadPending[0] && w.uploadPending[1]);
    w.AddLink(6);
    w.AddLink(7);
    ASSERT_EQ(w.links.size(), 2u);
    EXPECT_TRUE(w.links[0].pending);
    EXPECT_EQ(w.RemoveLink(5), 0);
    EXPECT_EQ(w.base, 6);
    ASSERT_EQ(w.links.size(), 1u);
    EXPECT_EQ(w.links[0].number, 7);

    ScriptedPrompter p;
    ScopedPrompter scope(p);
    EXPECT_EQ(w.RemoveLink(99), 1);
    EXPECT_TRUE(p.Saw("Internal aliases list is corrupt. Please inform author"));
    EXPECT_EQ(w.base, 6);
    EXPECT_EQ(w.RemoveLink(7), 0);
    EXPECT_EQ(w.RemoveLink(6), 0);
    EXPECT_EQ(w.base, -1);
}

TEST(WaveSharing, RomWaveDataNamesRomHeaders) {
    RomWaveData rom;
    EXPECT_EQ(rom.regions.size(), 281u);
    EXPECT_EQ(rom.base, 0);
    EXPECT_EQ(rom.Length(), 0x1FFFFF);
    EXPECT_EQ(rom.FormatName(), "K8");
    SampleHeader s;
    s.start = 2092825;
    s.loopStart = 2094895;
    s.end = 2095688;
    s.AttachWave(&rom, kAttachReference);
    EXPECT_TRUE(s.IsRom());
    EXPECT_EQ(s.RegionName(), "C 4-Bird");
    s.end += 1;
    s.AttachWave(&rom, kAttachReference);
    EXPECT_EQ(s.RegionName(), "");
}

}  // namespace
}  // namespace talmeru
