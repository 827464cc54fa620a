#include "model/Program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "platform/Prompter.h"

namespace talmeru {
namespace {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------------------
// A builder of packed program bodies, written from the packed layout alone so that the
// reader and writer under test are checked against something they did not produce.

class BodyBuilder {
  public:
    explicit BodyBuilder(uint32_t seed) : rng_(seed) {}

    uint8_t Byte() { return static_cast<uint8_t>(rng_() & 0xFF); }
    int Int(int lo, int hi) {
        return lo + static_cast<int>(rng_() % static_cast<uint32_t>(hi - lo + 1));
    }

    Bytes Modulator(int id) {
        switch (Int(0, 2)) {
            case 0:
                return {static_cast<uint8_t>(0x40 | id),
                        6,
                        static_cast<uint8_t>(Int(0, 21) | (Int(0, 1) ? 0x80 : 0)),
                        Byte(),
                        Byte(),
                        Byte()};
            case 1:
                return {static_cast<uint8_t>(0x10 | id), 6, Byte(), Byte(), Byte(), Byte()};
            default: {
                uint8_t counts = Byte();
                int n = (counts & 7) + ((counts >> 3) & 3) + ((counts >> 5) & 3) + 3;
                Bytes b{static_cast<uint8_t>(0x20 | id), static_cast<uint8_t>(8 + 2 * n), counts};
                for (int i = 0; i < 5 + 2 * n; ++i)
                    b.push_back(Byte());
                return b;
            }
        }
    }

    Bytes Modulators(int count) {
        std::vector<int> ids(16);
        std::iota(ids.begin(), ids.end(), 0);
        std::shuffle(ids.begin(), ids.end(), rng_);
        Bytes out;
        for (int i = 0; i < count; ++i)
            Append(out, Modulator(ids[static_cast<size_t>(i)]));
        return out;
    }

    // kind 0xD Pitch, 0xC filter, 0xE Amp; tags and bytes 4..8 are random, as they are carried.
    Bytes Block(int kind, int maxEntries) {
        if (kind == 0xC && Int(0, 3) == 0) return {0xC0, 4, Byte(), 0};
        uint8_t low =
            kind == 0xC ? static_cast<uint8_t>(Int(1, 7)) : static_cast<uint8_t>(Int(0, 15));
        int n = Int(0, maxEntries);
        Bytes b{static_cast<uint8_t>((kind << 4) | low), static_cast<uint8_t>(10 + 4 * n), Byte(),
                0};
        for (int i = 0; i < 5; ++i)
            b.push_back(Byte());
        b.push_back(static_cast<uint8_t>(n));
        for (int i = 0; i < 4 * n; ++i)
            b.push_back(Byte());
        return b;
    }

    Bytes Layer(int maxModulators, int maxEntries) {
        int m = Int(0, maxModulators);
        Bytes b{Byte(), Byte(), Byte(), Byte(), Byte(), Byte(), Byte(), Byte(),
                Byte(), 0,      Byte(), Byte(), Byte(), Byte(), Byte(), static_cast<uint8_t>(m)};
        Append(b, Modulators(m));
        Append(b, Block(0xD, maxEntries));
        Append(b, Block(0xC, maxEntries));
        Append(b, Block(0xC, maxEntries));
        Append(b, Block(0xE, maxEntries));
        return b;
    }

    // A random valid body that fits the 4096-byte pack buffer.
    Bytes Program() {
        int maxMods = Int(0, 16), maxEntries = Int(0, 16), wantedLayers = Int(0, 32);
        int m = Int(0, 16);
        Bytes mods = Modulators(m);
        std::vector<Bytes> layers;
        size_t size = 4 + mods.size();
        for (int i = 0; i < wantedLayers; ++i) {
            Bytes l = Layer(maxMods, maxEntries);
            if (size + 2 + l.size() > static_cast<size_t>(kMaxBodySize)) break;
            size += 2 + l.size();
            layers.push_back(std::move(l));
        }
        return Assemble(Byte(), mods, m, layers);
    }

    static Bytes Assemble(uint8_t programByte, const Bytes& mods, int modCount,
                          const std::vector<Bytes>& layers) {
        Bytes body{programByte, 0, static_cast<uint8_t>(layers.size()),
                   static_cast<uint8_t>(modCount)};
        size_t offset = 4 + 2 * layers.size() + mods.size();
        for (const auto& l : layers) {
            body.push_back(static_cast<uint8_t>(offset));
            body.push_back(static_cast<uint8_t>(offset >> 8));
            offset += l.size();
        }
        Append(body, mods);
        for (const auto& l : layers)
            Append(body, l);
        return body;
    }

    static void Append(Bytes& to, const Bytes& more) {
        to.insert(to.end(), more.begin(), more.end());
    }

  private:
    std::mt19937 rng_;
};

Bytes Block(const Bytes& body, int number = 5, const char* name = "Test Program") {
    Bytes b{3,
            0,
            static_cast<uint8_t>(number),
            static_cast<uint8_t>(number >> 8),
            static_cast<uint8_t>(body.size()),
            static_cast<uint8_t>(body.size() >> 8)};
    std::string n(name);
    n.resize(16, '\0');
    b.insert(b.end(), n.begin(), n.end());
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

// Layer header with no modulators, keymap k, pan p.
Bytes LayerHeader(int keymap = 1, uint8_t pan = 15) {
    return {0, 0, 127, 0, 127, 0, 0, pan, 0, 0, static_cast<uint8_t>(keymap), 0, 0, 0, 0, 0};
}
const Bytes kPitch{0xD0, 10, 0, 0, 0, 0, 0, 0, 64, 0};
const Bytes kNullFilter{0xC0, 4, 0, 0};
const Bytes kNullFilter2{0xC0, 4, 16, 0};
const Bytes kAmp{0xE0, 10, 16, 0, 232, 50, 0, 64, 0, 0};

Bytes OneLayerBody(const Bytes& afterHeader) {
    Bytes layer = LayerHeader();
    BodyBuilder::Append(layer, afterHeader);
    return BodyBuilder::Assemble(0, {}, 0, {layer});
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts)
        BodyBuilder::Append(out, p);
    return out;
}

class ProgramTest : public ::testing::Test {
  protected:
    ScriptedPrompter prompter{Answer::Yes};
    ScopedPrompter installed{prompter};
};

struct FakeKeymap : BankObject {
    explicit FakeKeymap(int n) : BankObject(kTypeKeymap) { SetNumber(n); }
    int KindNumber() const override { return 2; }
    int Unpack(std::span<const uint8_t>) override { return 1; }
    int BodySize() const override { return 0; }
    int PackBody(std::span<uint8_t>) const override { return 0; }
};

// ---------------------------------------------------------------------------------------
// Packed form

TEST_F(ProgramTest, RandomProgramsRoundTripByteForByte) {
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        BodyBuilder builder(seed);
        Bytes in = Block(builder.Program(), static_cast<int>(seed % 512));
        Program p;
        ASSERT_EQ(p.Unpack(in), 0) << "seed " << seed;
        EXPECT_EQ(p.BodySize() + kObjectHeaderSize, static_cast<int>(in.size()));
        Bytes out;
        ASSERT_EQ(p.PackToBlock(out), 0) << "seed " << seed;
        ASSERT_EQ(out, in) << "seed " << seed;

        auto copy = p.Clone();
        Bytes copied;
        ASSERT_EQ(copy->PackToBlock(copied), 0);
        EXPECT_EQ(copied, in) << "seed " << seed;
    }
    EXPECT_TRUE(prompter.All().empty());
}

TEST_F(ProgramTest, FullProgramAndCountLimits) {
    BodyBuilder b(99);
    std::vector<Bytes> layers(32);
    for (auto& l : layers)
        l = b.Layer(1, 1);
    Bytes mods = b.Modulators(16);
    Bytes in = Block(BodyBuilder::Assemble(7, mods, 16, layers));
    Program p;
    ASSERT_EQ(p.Unpack(in), 0);
    EXPECT_EQ(p.LayerCount(), 32);
    EXPECT_EQ(p.ModulatorCount(), 16);
    Bytes out;
    ASSERT_EQ(p.PackToBlock(out), 0);
    EXPECT_EQ(out, in);

    Bytes tooManyLayers = in;
    tooManyLayers[kObjectHeaderSize + 2] = 33;
    Program q;
    EXPECT_EQ(q.Unpack(tooManyLayers), 2);
    Bytes tooManyMods = in;
    tooManyMods[kObjectHeaderSize + 3] = 17;
    Program r;
    EXPECT_EQ(r.Unpack(tooManyMods), 2);
}

TEST_F(ProgramTest, NullAndShortFiltersReadAsNull) {
    Program p;
    ASSERT_EQ(p.Unpack(Block(OneLayerBody(Concat({kPitch, kNullFilter, kNullFilter2, kAmp})))), 0);
    const ControlBlock& f = p.GetLayer(0)->Filter1();
    EXPECT_TRUE(f.IsNullFilter());
    EXPECT_EQ(f.Byte(4), 64);
    EXPECT_EQ(f.PackedSize(), 4);

    // A typed filter of size 4 becomes Null; a Null filter ending inside itself is refused.
    Bytes typed{0xC3, 4, 3, 0};
    ASSERT_EQ(p.Unpack(Block(OneLayerBody(Concat({kPitch, typed, kNullFilter2, kAmp})))), 0);
    EXPECT_EQ(p.GetLayer(0)->Filter1().FilterType(), 0);
    EXPECT_EQ(p.GetLayer(0)->Filter1().Tag(), 0);
    Bytes tooShort{0xC0, 2, 0, 0};
    EXPECT_EQ(p.Unpack(Block(OneLayerBody(Concat({kPitch, tooShort, kNullFilter2, kAmp})))), 1);
    Bytes typedUnder10{0xC2, 8, 2, 0, 1, 2, 3, 4};
    EXPECT_EQ(p.Unpack(Block(OneLayerBody(Concat({kPitch, typedUnder10, kNullFilter2, kAmp})))), 1);
}

TEST_F(ProgramTest, CorruptAmpSizeAsksAndReadsTheEntries) {
    const std::string question =
        "Talmeru has determined that this bank is corrupt, perhaps due to a bug in ZOR. The "
        "byte length of the AMP modulators is negative!  Would you like to continue loading "
        "this bank?";
    Bytes amp{0xE0, 8, 16, 0, 232, 50, 0, 64, 0, 2, 0xD1, 10, 20, 127, 0x81, 30, 40, 64};
    Bytes body = OneLayerBody(Concat({kPitch, kNullFilter, kNullFilter2, amp}));

    prompter.QueueAnswer(Answer::Yes);
    Program p;
    ASSERT_EQ(p.Unpack(Block(body)), 0);
    EXPECT_EQ(prompter.Questions(), std::vector<std::string>{question});
    const auto& entries = p.GetLayer(0)->Amp().Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1], (ModulationEntry{0x81, 30, 40, 64}));
    EXPECT_EQ(p.GetLayer(0)->Amp().PackedSize(), 18);

    prompter.QueueAnswer(Answer::No);
    Program q;
    EXPECT_EQ(q.Unpack(Block(body)), 1);
    EXPECT_EQ(q.LayerCount(), 0);
}

TEST_F(ProgramTest, BlockSizeRules) {
    Bytes pitch{0xD0, 14, 0, 0, 0, 0, 0, 0, 64, 2, 1, 2, 3, 4, 5, 6, 7, 8};
    Program p;
    EXPECT_EQ(p.Unpack(Block(OneLayerBody(Concat({pitch, kNullFilter, kNullFilter2, kAmp})))), 1);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Error: Pitch CCD is corrupt."});
    prompter.Clear();

    // A filter whose size cannot hold its entries.
    Bytes filter{0xC1, 10, 1, 0, 64, 0, 0, 0, 0, 1};
    EXPECT_EQ(p.Unpack(Block(OneLayerBody(Concat({kPitch, filter, kNullFilter2, kAmp})))), 1);
    // 17 entries are refused even when the size would hold them.
    Bytes amp{0xE0, 78, 16, 0, 232, 50, 0, 64, 0, 17};
    amp.resize(78, 64);
    EXPECT_EQ(p.Unpack(Block(OneLayerBody(Concat({kPitch, kNullFilter, kNullFilter2, amp})))), 1);
    // A size running past the body, and a block of the wrong kind.
    Bytes longAmp = kAmp;
    longAmp[1] = 12;
    EXPECT_EQ(p.Unpack(Block(OneLayerBody(Concat({kPitch, kNullFilter, kNullFilter2, longAmp})))),
              1);
    EXPECT_EQ(p.Unpack(Block(OneLayerBody(Concat({kPitch, kNullFilter, kNullFilter2, kPitch})))),
              1);
    EXPECT_TRUE(prompter.All().empty());
}

TEST_F(ProgramTest, LayerModulatorListEndsAtTheFirstBlock) {
    Program p;
    ASSERT_EQ(p.Unpack(Block(OneLayerBody(Concat({kPitch, kNullFilter, kNullFilter2, kAmp})))), 0);
    EXPECT_TRUE(p.GetLayer(0)->Modulators().empty());

    Bytes fun{0x43, 6, 0, 127, 127, 127};
    ASSERT_EQ(p.Unpack(Block(OneLayerBody(Concat({fun, kPitch, kNullFilter, kNullFilter2, kAmp})))),
              0);
    ASSERT_EQ(p.GetLayer(0)->Modulators().size(), 1u);
    EXPECT_EQ(p.GetLayer(0)->Modulators()[0]->ownerKind, kLayerModulator);

    Bytes junk{0x30, 6, 0, 0, 0, 0};
    EXPECT_EQ(
        p.Unpack(Block(OneLayerBody(Concat({junk, kPitch, kNullFilter, kNullFilter2, kAmp})))), 1);

    Bytes seventeen;
    for (int i = 0; i < 17; ++i)
        BodyBuilder::Append(seventeen, {0x40, 6, 0, 127, 127, 127});
    EXPECT_EQ(
        p.Unpack(Block(OneLayerBody(Concat({seventeen, kPitch, kNullFilter, kNullFilter2, kAmp})))),
        1);
}

TEST_F(ProgramTest, FailingLayerCutsTheList) {
    BodyBuilder b(3);
    Bytes good = b.Layer(2, 2);
    Bytes bad = LayerHeader();
    BodyBuilder::Append(bad, {0x90, 0, 0, 0});
    Bytes mods = b.Modulators(2);
    Program p;
    EXPECT_EQ(p.Unpack(Block(BodyBuilder::Assemble(0, mods, 2, {good, good, bad, good}))), 1);
    EXPECT_EQ(p.LayerCount(), 2);
    EXPECT_EQ(p.ModulatorCount(), 2);
    EXPECT_EQ(p.GetLayer(1)->Packed(), good);

    // Offsets outside the body and a program modulator that is not one.
    Bytes body = BodyBuilder::Assemble(0, mods, 2, {good});
    body[4] = 0xFF;
    body[5] = 0x7F;
    EXPECT_EQ(p.Unpack(Block(body)), 1);
    EXPECT_EQ(p.Unpack(Block(BodyBuilder::Assemble(0, Concat({kPitch}), 1, {}))), 1);
}

TEST_F(ProgramTest, HeaderMustMatchALoadedProgram) {
    Bytes body = OneLayerBody(Concat({kPitch, kNullFilter, kNullFilter2, kAmp}));
    Program p;
    ASSERT_EQ(p.Unpack(Block(body, 5)), 0);
    EXPECT_EQ(p.Unpack(Block(body, 6)), 1);
    EXPECT_EQ(p.Name(), "Test Program");
}

TEST_F(ProgramTest, TruncatedProgramsNeverReadOutOfBounds) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        BodyBuilder builder(seed * 7919);
        Bytes body = builder.Program();
        for (size_t cut = 0; cut < body.size(); ++cut) {
            Bytes shortBody(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(cut));
            Program p;
            int rc = p.Unpack(Block(shortBody));
            if (rc == 0) {
                Bytes out;
                EXPECT_EQ(p.PackToBlock(out), 0);
            }
            Bytes lying = Block(body);
            lying.resize(kObjectHeaderSize + cut);
            Program q;
            EXPECT_EQ(q.Unpack(lying), 1);
        }
    }
}

// Whatever damaged bytes are accepted pack to a form that reads back unchanged.
TEST_F(ProgramTest, AcceptedDamagedProgramsSettleAfterOnePack) {
    std::mt19937 rng(11);
    int accepted = 0;
    for (int round = 0; round < 1000; ++round) {
        BodyBuilder builder(static_cast<uint32_t>(round));
        Bytes body = builder.Program();
        for (int flips = 0; flips < 3; ++flips)
            body[rng() % body.size()] = static_cast<uint8_t>(rng());
        Program p;
        if (p.Unpack(Block(body)) != 0) continue;
        Bytes once;
        if (p.PackToBlock(once) != 0) continue;
        ++accepted;
        Program again;
        ASSERT_EQ(again.Unpack(once), 0);
        Bytes twice;
        ASSERT_EQ(again.PackToBlock(twice), 0);
        EXPECT_EQ(twice, once) << "round " << round;
    }
    EXPECT_GT(accepted, 100) << "too few damaged programs got far enough to test anything";
}

TEST_F(ProgramTest, PackFailuresShowTheirMessages) {
    FakeKeymap km(4);
    auto packMessages = [&](Program& p) {
        prompter.Clear();
        Bytes out;
        EXPECT_NE(p.PackToBlock(out), 0);
        return prompter.Messages();
    };
    using V = std::vector<std::string>;
    {
        Program p;
        p.SetNumber(9);
        for (int i = 0; i < 17; ++i)
            p.Modulators().push_back(std::make_unique<LfoModulator>());
        EXPECT_EQ(packMessages(p), (V{"too many layer=0 global=17", "Obscure error: pack id=9"}));
    }
    {
        Program p;
        Layer* l = p.AddLayer(km, false);
        l->Filter1().SetFilterType(2);
        l->Filter1().SetBlockByte(0xD2);
        EXPECT_EQ(packMessages(p),
                  (V{"Filter type=13 should be 12\n", "obscure error: filter0->pack",
                     "obscure error: layer->pack", "Obscure error: pack id=0"}));
    }
    {
        Program p;
        Layer* l = p.AddLayer(km, false);
        l->Filter2().SetFilterType(5);
        l->Filter2().Entries().resize(17);
        EXPECT_EQ(packMessages(p)[0], "packmoddesclist failed");
        EXPECT_EQ(prompter.Messages()[1], "obscure error: filter1->pack");
        l->Filter2().Entries().resize(16);
        l->Pitch().Entries().resize(17);
        EXPECT_EQ(packMessages(p)[0], "obscure error: pitch->pack");
        l->Pitch().Entries().clear();
        l->Amp().Entries().resize(17);
        EXPECT_EQ(packMessages(p)[0], "obscure error: amp->pack");
        l->Amp().Entries().clear();
        for (int i = 0; i < 17; ++i)
            l->Modulators().push_back(std::make_unique<FunModulator>());
        EXPECT_EQ(packMessages(p)[0], "obscure error: lymodlist->pack 16");
    }
    {
        // Too big for the pack buffer.
        Program p;
        for (int i = 0; i < 32; ++i) {
            Layer* l = p.AddLayer(km, false);
            for (auto* b : {&l->Pitch(), &l->Amp()})
                b->Entries().resize(16);
        }
        int size = p.BodySize();
        EXPECT_GT(size, kMaxBodySize);
        EXPECT_EQ(
            packMessages(p),
            (V{"Obscure error: ntotalneededsize= " + std::to_string(size + 22) + ", size=4096"}));
    }
}

// ---------------------------------------------------------------------------------------
// Control block fields

TEST_F(ProgramTest, ControlBlockFields) {
    ControlBlock f2(BlockKind::kFilter2);
    f2.SetFilterType(3);
    EXPECT_EQ(f2.BlockByte(), 0xC3);
    EXPECT_EQ(f2.Tag(), 19);
    EXPECT_STREQ(FilterTypeName(f2.FilterType()), "2P LP");
    f2.SetFrequency(0x1280);
    EXPECT_EQ(f2.Byte(4), 0x13);
    EXPECT_EQ(f2.Byte(5), 0x80);
    f2.SetFrequency(0x127F);
    EXPECT_EQ(f2.Frequency(), 0x127F);
    f2.SetFrequency(0x9000);
    EXPECT_EQ(f2.Frequency(), 0x7F00);
    f2.SetVelocityTracking(-200);
    EXPECT_EQ(f2.VelocityTracking(), -127);

    ControlBlock amp(BlockKind::kAmp);
    EXPECT_EQ(amp.Gain(), -24);
    EXPECT_EQ(amp.Byte(4), 232);
    EXPECT_EQ(amp.FixedControlSource(), 64);
    amp.SetHeadroom2(3);
    amp.SetHeadroom1(1);
    EXPECT_EQ(amp.Tag(), 16 + 12 + 1);
    amp.SetHeadroom2(0);
    EXPECT_EQ(amp.Headroom1(), 1);
    EXPECT_EQ(amp.Tag(), 17);
    amp.SetKeyTracking(60);
    EXPECT_EQ(amp.KeyTracking(), 48);
    amp.SetGain(40);
    EXPECT_EQ(amp.Gain(), 32);

    ControlBlock pitch(BlockKind::kPitch);
    EXPECT_STREQ(pitch.FixedControlName(), "Detune Ctrl");
    *pitch.FixedControl() = 0x81;
    EXPECT_EQ(pitch.Byte(8), 0x81);
    for (int i = 0; i < 16; ++i)
        EXPECT_NE(pitch.AddEntry(), nullptr);
    EXPECT_EQ(pitch.AddEntry(), nullptr);
    EXPECT_EQ(pitch.Entries()[0], (ModulationEntry{64, 0, 0, 64}));
}

// ---------------------------------------------------------------------------------------
// Layers

TEST_F(ProgramTest, LayerFieldsAndNames) {
    Layer l;
    l.panByte = 0x80 | 0x40 | 7;
    l.SetPan(31);
    EXPECT_EQ(l.panByte, 0x80 | 0x40 | 31);
    l.SetPanMode(1);
    EXPECT_EQ(l.panByte, 0x80 | 0x20 | 31);
    EXPECT_STREQ(PanModeName(l.PanMode()), "Fixed");

    EXPECT_TRUE(l.NaturalEnvelope());
    l.SetNaturalEnvelope(false);
    EXPECT_EQ(l.flags, 0x20);
    l.SetIgnoreNoteOff(true);
    l.SetWhiteNoise(true);
    EXPECT_EQ(l.flags, 0x68);

    EXPECT_EQ(Layer(nullptr, 7).DisplayName(), "Layer #7");
    EXPECT_EQ(Layer(nullptr, 999).DisplayName(), "Layer #999");
    EXPECT_EQ(Layer(nullptr, 1000).DisplayName(), "Layer xxx");
    EXPECT_EQ(Layer(nullptr, -1).DisplayName(), "Layer xxx");
}

TEST_F(ProgramTest, CopyFromKeepsPanAndKeymapOnRequest) {
    BodyBuilder b(21);
    Bytes body = BodyBuilder::Assemble(0, {}, 0, {b.Layer(4, 4), b.Layer(4, 4)});
    Program p;
    ASSERT_EQ(p.Unpack(Block(body)), 0);
    Layer& a = *p.GetLayer(0);
    Layer& c = *p.GetLayer(1);
    uint8_t pan = c.panByte;
    uint16_t keymap = c.keymap;
    a.AddModulator(std::make_unique<LfoModulator>());
    c.CopyFrom(a, true);
    EXPECT_EQ(c.panByte, pan);
    EXPECT_EQ(c.keymap, keymap);
    c.panByte = a.panByte;
    c.keymap = a.keymap;
    EXPECT_EQ(c.Packed(), a.Packed());
    // The modulators are copies, not shared.
    ASSERT_FALSE(a.Modulators().empty());
    EXPECT_NE(a.Modulators()[0].get(), c.Modulators()[0].get());
}

TEST_F(ProgramTest, AddLayerMonoAndStereo) {
    Program p;
    FakeKeymap left(10), right(11);
    EXPECT_EQ(p.AddLayer(left, true), nullptr) << "no right half to play";
    left.chained = &right;

    Layer* mono = p.AddLayer(left, false);
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(mono->keymap, 10);
    EXPECT_EQ(mono->Pan(), 15);
    EXPECT_EQ(mono->Amp().Gain(), -24);

    Layer* l = p.AddLayer(left, true);
    ASSERT_NE(l, nullptr);
    ASSERT_EQ(p.LayerCount(), 3);
    Layer* r = p.GetLayer(2);
    EXPECT_EQ(l->Index(), 1);
    EXPECT_EQ(l->StereoState(), kStereoLeft);
    EXPECT_EQ(r->StereoState(), kStereoRight);
    EXPECT_EQ(l->Partner(), r);
    EXPECT_EQ(r->keymap, 11);
    EXPECT_EQ(l->Pan(), 0);
    EXPECT_EQ(r->Pan(), 31);
    EXPECT_EQ(l->delay, 1);
    EXPECT_EQ(r->delay, 1);
    EXPECT_TRUE(CanJoinStereo(*l, *r));

    while (p.LayerCount() < 31)
        ASSERT_NE(p.AddLayer(left, false), nullptr);
    EXPECT_EQ(p.AddLayer(left, true), nullptr);
    EXPECT_NE(p.AddLayer(left, false), nullptr);
    EXPECT_EQ(p.AddLayer(left, false), nullptr);
    EXPECT_EQ(p.LayerCount(), 32);
}

TEST_F(ProgramTest, DeleteAndDuplicateLayersKeepPairsConsistent) {
    FakeKeymap left(10), right(11);
    left.chained = &right;
    Program p;
    p.AddLayer(left, false);            // 0
    Layer* l = p.AddLayer(left, true);  // 1, 2
    p.AddLayer(left, false);            // 3
    l->Amp().SetGain(-3);
    l->AddModulator(std::make_unique<EnvModulator>());
    l->UpdateRightHalf();

    Layer* copy = p.DuplicateLayer(1);
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(p.LayerCount(), 6);
    EXPECT_EQ(copy->Index(), 4);
    EXPECT_EQ(copy->Partner(), p.GetLayer(5));
    EXPECT_EQ(p.GetLayer(5)->keymap, 11);
    EXPECT_EQ(p.GetLayer(5)->Amp().Gain(), -3);
    EXPECT_EQ(copy->Packed(), l->Packed());

    EXPECT_EQ(p.DeleteLayer(1), 0);  // the left half takes its partner along
    ASSERT_EQ(p.LayerCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(p.GetLayer(i)->Index(), i);
    EXPECT_EQ(p.GetLayer(2), copy);

    EXPECT_EQ(p.DeleteLayer(3), 0);  // deleting a right half leaves its left half mono
    EXPECT_EQ(copy->StereoState(), kMono);
    EXPECT_EQ(copy->Partner(), nullptr);
    EXPECT_EQ(p.DeleteLayer(3), 1);

    while (p.LayerCount() < 30)
        p.AddLayer(left, false);
    Layer* pairLeft = p.AddLayer(left, true);
    ASSERT_NE(pairLeft, nullptr);
    EXPECT_EQ(p.DuplicateLayer(pairLeft->Index()), nullptr);
    p.DeleteLayer(0);
    EXPECT_EQ(p.DuplicateLayer(pairLeft->Index()), nullptr) << "31 + 2 layers";
    EXPECT_NE(p.DuplicateLayer(0), nullptr);
    p.DeleteAllLayers();
    EXPECT_EQ(p.LayerCount(), 0);
}

TEST_F(ProgramTest, CopiedProgramRemakesPairsBetweenCopies) {
    FakeKeymap left(10), right(11);
    left.chained = &right;
    Program p;
    p.SetName("Orig");
    p.AddLayer(left, false);
    p.AddLayer(left, true);
    p.AddModulator(std::make_unique<LfoModulator>());

    Program copy(p);
    EXPECT_EQ(copy.Name(), "Orig");
    ASSERT_EQ(copy.LayerCount(), 3);
    EXPECT_EQ(copy.GetLayer(1)->Partner(), copy.GetLayer(2));
    EXPECT_EQ(copy.GetLayer(2)->StereoState(), kStereoRight);
    EXPECT_EQ(copy.GetLayer(1)->Owner(), &copy);
    EXPECT_NE(copy.FindModulator(0), p.FindModulator(0));
    Bytes a, b;
    ASSERT_EQ(p.PackToBlock(a), 0);
    ASSERT_EQ(copy.PackToBlock(b), 0);
    EXPECT_EQ(a, b);
    p.DeleteAllLayers();  // the copy's pairs must not point into the original
    EXPECT_EQ(copy.GetLayer(1)->Partner(), copy.GetLayer(2));
}

TEST_F(ProgramTest, StereoJoinRules) {
    FakeKeymap km(1);
    Program p;
    Layer* a = p.AddLayer(km, false);
    Layer* b = p.AddLayer(km, false);
    a->AddModulator(std::make_unique<FunModulator>());
    b->AddModulator(std::make_unique<FunModulator>());
    a->SetPan(0);
    b->SetPan(31);
    EXPECT_FALSE(CanJoinStereo(*a, *b)) << "same keymap";
    b->keymap = 2;
    EXPECT_TRUE(CanJoinStereo(*a, *b));
    EXPECT_FALSE(CanJoinStereo(*b, *a)) << "pans the wrong way round";

    b->SetPanMode(2);
    EXPECT_FALSE(CanJoinStereo(*a, *b)) << "pan mode is not copied";
    b->SetPanMode(0);
    b->Filter2().SetFilterType(1);
    EXPECT_FALSE(CanJoinStereo(*a, *b));
    b->Filter2().SetFilterType(0);
    ASSERT_TRUE(CanJoinStereo(*a, *b));
    *b->Modulators()[0]->Input(1) = 0x81;
    EXPECT_FALSE(CanJoinStereo(*a, *b));

    // A right half that follows its left half stays joinable.
    a->PairWith(*b);
    a->Pitch().SetCoarseTune(-12);
    a->Pitch().AddEntry({0xD1, 5, 6, 127});
    a->UpdateRightHalf();
    EXPECT_EQ(b->keymap, 2);
    EXPECT_EQ(b->Pan(), 31);
    EXPECT_EQ(b->Pitch().CoarseTune(), -12);
    EXPECT_TRUE(CanJoinStereo(*a, *b));
    b->Unpair();
    EXPECT_EQ(a->StereoState(), kMono);
    EXPECT_EQ(a->Partner(), nullptr);
}

// ---------------------------------------------------------------------------------------
// Modulators of programs and layers

TEST_F(ProgramTest, AddModulatorGivesLowestFreeIdAtTheFront) {
    FakeKeymap km(1);
    Program p;
    Layer* l = p.AddLayer(km, false);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(p.AddModulator(std::make_unique<FunModulator>()), i);
    EXPECT_EQ(p.Modulators().front()->Id(), 15);
    EXPECT_EQ(p.AddModulator(std::make_unique<FunModulator>()), -1);
    EXPECT_EQ(p.ModulatorCount(), 16);
    EXPECT_EQ(p.RemoveModulator(p.FindModulator(4)), 0);
    EXPECT_EQ(p.FindModulator(4), nullptr);
    EXPECT_EQ(p.AddModulator(std::make_unique<EnvModulator>()), 4);
    EXPECT_EQ(p.Modulators().front()->Kind(), ModulatorKind::kEnv);

    EXPECT_EQ(l->AddModulator(std::make_unique<LfoModulator>()), 0);
    EXPECT_EQ(l->Modulators()[0]->ownerKind, kLayerModulator);
    EXPECT_EQ(l->FindProgramModulator(4), p.FindModulator(4));
    EXPECT_EQ(l->ResolveSource(0xC4), p.FindModulator(4));
    EXPECT_EQ(l->ResolveSource(0xF0), l->FindModulator(0));
    EXPECT_EQ(l->ResolveSource(0xF1), nullptr);
    EXPECT_EQ(p.ResolveSource(0xF0), nullptr);
    LfoModulator stranger;
    EXPECT_EQ(l->RemoveModulator(&stranger), 1);
    EXPECT_TRUE(prompter.All().empty());
}

TEST_F(ProgramTest, SelfReadingProgramModulatorIsReported) {
    Program p;
    p.AddModulator(std::make_unique<FunModulator>());
    *p.FindModulator(0)->Input(1) = 0xC0;
    EXPECT_FALSE(p.CheckModulatorOrder());
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{
                  "Recursion in modulators detected, aborting",
                  "Recursion in modulators detected, aborting 2",
                  "Warning: Program Modulator #0 (FUN) depends on other Program Modulators that "
                  "appear later in the modulator list. Please consult the object browser to see "
                  "the ordering, and change the order until it works. You may only need to more "
                  "this modulator to the end of the list."}));
}

TEST_F(ProgramTest, OrderCheckFollowsOnlyRealReferences) {
    FakeKeymap km(1);
    Program p;
    Layer* l = p.AddLayer(km, false);
    p.SetNumber(1);
    // A chain of 16 program modulators is deep but not a cycle.
    for (int i = 0; i < 16; ++i)
        p.AddModulator(std::make_unique<FunModulator>());
    for (int i = 1; i < 16; ++i)
        *p.FindModulator(i)->Input(0) = ProgramModulatorSource(i - 1);
    // A program modulator cannot read layer modulators: 0xF codes do not resolve for it.
    *p.FindModulator(0)->Input(0) = 0xF0;
    l->AddModulator(std::make_unique<FunModulator>());
    *l->FindModulator(0)->Input(0) = 0xF0;
    prompter.Clear();
    EXPECT_FALSE(p.CheckModulatorOrder());
    EXPECT_EQ(prompter.Messages().back(),
              "Layer #0 Modulator #0 (FUN) depends on other Layer Modulators that appear later "
              "in the modulator list. Please consult the object browser to see the ordering, and "
              "change the order until it works. You may only need to more this modulator to the "
              "end of the list.");
    EXPECT_EQ(prompter.Messages().size(), 3u) << "the program modulators are in order";

    *l->FindModulator(0)->Input(0) = 0xCF;  // reads the deepest program modulator
    prompter.Clear();
    EXPECT_TRUE(p.CheckModulatorOrder());
    EXPECT_TRUE(prompter.All().empty());

    // Two layer modulators reading each other.
    l->AddModulator(std::make_unique<LfoModulator>());
    *l->FindModulator(1)->Input(0) = 0xF0;
    *l->FindModulator(0)->Input(0) = 0xF1;
    prompter.Clear();
    EXPECT_FALSE(l->CheckModulatorOrder());
    EXPECT_EQ(prompter.Messages().size(), 4u);  // two walks fail, then the pass stops
    EXPECT_NE(prompter.Messages().back().find("Layer #0 Modulator #1 (LFO)"), std::string::npos);
}

TEST_F(ProgramTest, WouldLoopFindsTargetsWithinTenLevels) {
    FakeKeymap km(1);
    Program p;
    Layer* l = p.AddLayer(km, false);
    p.AddModulator(std::make_unique<FunModulator>());
    Modulator& outsider = *p.FindModulator(0);
    for (int i = 0; i < 12; ++i)
        l->AddModulator(std::make_unique<FunModulator>());
    auto m = [&](int id) -> Modulator& { return *l->FindModulator(id); };
    // m(i) reads m(i + 1) through its third input.
    for (int i = 0; i < 11; ++i)
        *m(i).Input(2) = LayerModulatorSource(i + 1);
    ModulatorScope scope = l->Scope();
    EXPECT_FALSE(WouldLoop(scope, m(3), m(3)));
    EXPECT_FALSE(WouldLoop(scope, m(0), m(5)));
    EXPECT_TRUE(WouldLoop(scope, m(5), m(0)));
    EXPECT_TRUE(WouldLoop(scope, m(11), m(0)));
    EXPECT_TRUE(WouldLoop(scope, m(1), outsider)) << "ten levels down is still looked at";
    EXPECT_FALSE(WouldLoop(scope, m(0), outsider)) << "eleven levels down: the test gives up";
    // Operator 6 reads nothing, whatever its input bytes say.
    static_cast<FunModulator&>(m(0)).SetOperator(6);
    EXPECT_TRUE(WouldLoop(scope, m(0), m(5)));
    // A program modulator's layer codes lead nowhere.
    *outsider.Input(0) = 0xF4;
    EXPECT_TRUE(WouldLoop(scope, outsider, m(4)));
    *outsider.Input(0) = 0xC0;
    EXPECT_FALSE(WouldLoop(scope, outsider, m(4))) << "it reads itself: the walk stops";
}

// ---------------------------------------------------------------------------------------
// Display names

TEST_F(ProgramTest, DisplayNamesByNumbering) {
    using N = ProgramNumbering;
    EXPECT_EQ(Program::DisplayText(5, "Piano", N{}), "5 - Piano");
    EXPECT_EQ(Program::DisplayText(5, "Piano", N{false, 1}), "6 - Piano");
    EXPECT_EQ(Program::DisplayText(0, "x", N{false, 2}), "A11 - x");
    EXPECT_EQ(Program::DisplayText(63, "x", N{false, 2}), "A88 - x");
    EXPECT_EQ(Program::DisplayText(73, "x", N{false, 2}), "B22 - x");
    EXPECT_EQ(Program::DisplayText(130, "x", N{true, 0}), "1/2 - x");
    EXPECT_EQ(Program::DisplayText(255, "x", N{true, 2}), "1/B88 - x");
    EXPECT_EQ(Program::DisplayText(300, "", N{true, 1}), "2/45 - ");

    Program p;
    p.SetNumber(129);
    p.SetName("Strings");
    EXPECT_EQ(p.DisplayName(N{true, 1}), "1/2 - Strings");
    EXPECT_EQ(p.DisplayName(N{}).rfind(Program::DisplayText(129, "", N{}), 0), 0u);
}

}  // namespace
}  // namespace talmeru
