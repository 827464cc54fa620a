#include "model/Modulator.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "model/ModSource.h"

namespace talmeru {
namespace {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------------------
// Source bytes

TEST(ModSourceTest, ConstantsClampAtMinusOne) {
    EXPECT_DOUBLE_EQ(ConstantValue(0), -1.0);
    EXPECT_DOUBLE_EQ(ConstantValue(1), -1.0);
    EXPECT_DOUBLE_EQ(ConstantValue(64), 0.0);
    EXPECT_DOUBLE_EQ(ConstantValue(127), 1.0);
    EXPECT_DOUBLE_EQ(ConstantValue(32), -32.0 / 63.0);
    EXPECT_EQ(SourceName(0), "Constant");
    EXPECT_EQ(SourceName(127), "Constant");
}

TEST(ModSourceTest, NamesByRange) {
    EXPECT_EQ(SourceName(0x85), "Portamento");
    EXPECT_EQ(SourceName(0x95), "Portamento");
    EXPECT_EQ(SourceName(0x8E), "?? (f)");
    EXPECT_EQ(SourceName(0x9F), "?? (e)");
    EXPECT_EQ(SourceName(0xA1), "??");
    EXPECT_EQ(SourceName(0xA3), "Soft Pedal");
    EXPECT_EQ(SourceName(0xA4), "Global Switch ?");
    EXPECT_EQ(SourceName(0xB6), "Lowest Key Being Played");
    EXPECT_EQ(SourceName(0xB7), "Global Source ?");
    EXPECT_EQ(SourceName(0xC9), "Global Modulator");
    EXPECT_EQ(SourceName(0xD4), "Key Down ?");
    EXPECT_EQ(SourceName(0xEA), "In Release Phase?");
    EXPECT_EQ(SourceName(0xDB), "Local Controller ?");
    EXPECT_EQ(SourceName(0xFF), "Local Modulator");
    EXPECT_TRUE(IsModulatorSource(0xC0));
    EXPECT_TRUE(IsModulatorSource(0xFF));
    EXPECT_FALSE(IsModulatorSource(0xD0));
    EXPECT_FALSE(IsModulatorSource(0xBF));
}

TEST(ModSourceTest, ChooserCodesBelongToTheirGroups) {
    auto groups = SourceChooserGroups();
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_STREQ(groups[0].title, "");
    EXPECT_STREQ(groups[1].title, "Current Note Parameters");
    EXPECT_STREQ(groups[2].title, "Midi Controller");
    EXPECT_STREQ(groups[3].title, "Midi Statistics");
    ASSERT_EQ(groups[0].choices.size(), 1u);
    EXPECT_EQ(groups[0].choices[0].code, 127);
    EXPECT_STREQ(groups[0].choices[0].range, "-1.0 to 1.0");

    std::set<int> codes;
    size_t total = 0;
    for (const auto& c : groups[1].choices) {
        EXPECT_EQ(ClassifySource(c.code), SourceClass::kNoteProperty) << c.entry;
        // Apart from the spacing of "Key Down?", the chooser names what the code names.
        if (c.code != 212) {
            EXPECT_EQ(SourceName(c.code), c.entry);
        }
    }
    for (const auto& c : groups[3].choices) {
        EXPECT_EQ(ClassifySource(c.code), SourceClass::kGlobalSource) << c.entry;
        EXPECT_EQ(SourceName(c.code), c.entry);
    }
    for (const auto& c : groups[2].choices) {
        SourceClass k = ClassifySource(c.code);
        EXPECT_TRUE(k == SourceClass::kController || k == SourceClass::kGlobalSwitch ||
                    c.code == 176)
            << c.entry;
    }
    for (const auto& g : groups)
        for (const auto& c : g.choices) {
            codes.insert(c.code);
            ++total;
        }
    EXPECT_EQ(codes.size(), total) << "a code is offered twice";
    EXPECT_EQ(total, 1u + 11u + 20u + 6u);
}

// ---------------------------------------------------------------------------------------
// FUN

TEST(FunModulatorTest, DefaultsAndOperatorTable) {
    FunModulator f;
    f.SetId(5);
    EXPECT_EQ(f.Packed(), (Bytes{0x45, 6, 0, 127, 127, 127}));
    EXPECT_STREQ(f.KindName(), "FUN");
    EXPECT_EQ(f.SubtypeName(), "A+B+C");

    EXPECT_STREQ(FunOperatorName(15), "|Diode|");
    EXPECT_STREQ(FunOperatorName(21), "Minumum");
    EXPECT_STREQ(FunOperatorName(6), "");
    EXPECT_STREQ(FunOperatorName(22), "ERROR");
    EXPECT_EQ(FunOperatorInputCount(6), 0);
    EXPECT_EQ(FunOperatorInputCount(16), 1);
    EXPECT_EQ(FunOperatorInputCount(20), 2);
    EXPECT_STREQ(FunOperatorInputName(7, 2), "Upper Limit");
    EXPECT_STREQ(FunOperatorInputName(10, 0), "Gate");
    EXPECT_STREQ(FunOperatorInputName(9, 2), "ERROR");
    EXPECT_STREQ(FunOperatorInputName(16, 1), "ERROR");
    EXPECT_STREQ(FunOperatorInputName(21, 2), "C");
    EXPECT_STREQ(FunOperatorInputName(22, 0), "ERROR");

    EXPECT_FALSE(f.SetOperator(22));
    EXPECT_EQ(f.Operator(), 0);
    EXPECT_TRUE(f.SetOperator(12));
    EXPECT_EQ(f.InputName(0), "Rate");
    EXPECT_EQ(f.InputName(3), "ERROR");
}

TEST(FunModulatorTest, CosineUsesOneInputButPacksThree) {
    Bytes in{0x43, 6, 0x80 | 16, 0xC1, 0xF2, 0x85};
    FunModulator f;
    ASSERT_EQ(f.Unpack(in), 0);
    EXPECT_EQ(f.Id(), 3);
    EXPECT_EQ(f.Operator(), 16);
    EXPECT_TRUE(f.Flag());
    EXPECT_EQ(f.InputCount(), 1);
    EXPECT_EQ(f.InputSource(2), 0x85);
    EXPECT_EQ(f.Packed(), in);
}

TEST(FunModulatorTest, RefusesMalformedBytes) {
    FunModulator f;
    EXPECT_EQ(f.Unpack(Bytes{0x40, 6, 22, 1, 2, 3}), 1);         // operator above 21
    EXPECT_EQ(f.Unpack(Bytes{0x40, 6, 0x80 | 21, 1, 2, 3}), 0);  // flag is not the operator
    EXPECT_EQ(f.Unpack(Bytes{0x40, 6, 0, 1, 2}), 1);             // size runs past the bytes
    EXPECT_EQ(f.Unpack(Bytes{0x40, 5, 0, 1, 2, 3}), 1);          // size below its own fields
    EXPECT_EQ(f.Unpack(Bytes{0x10, 6, 0, 1, 2, 3}), 1);          // not a FUN
    Bytes big(101, 0);
    big[0] = 0x40;
    big[1] = 101;
    EXPECT_EQ(f.Unpack(big), 1);
    big[1] = 100;
    ASSERT_EQ(f.Unpack(big), 0);
    big[99] = 0x5A;  // bytes past the fields are carried
    ASSERT_EQ(f.Unpack(big), 0);
    EXPECT_EQ(f.PackedSize(), 100);
    EXPECT_EQ(f.Packed(), Bytes(big.begin(), big.begin() + 100));
    // A refused unpack leaves the modulator as it was.
    EXPECT_EQ(f.Unpack(Bytes{0x41, 6, 30, 1, 2, 3}), 1);
    EXPECT_EQ(f.Packed(), Bytes(big.begin(), big.begin() + 100));
}

// ---------------------------------------------------------------------------------------
// LFO

TEST(LfoModulatorTest, DefaultsShapeAndPhase) {
    LfoModulator l;
    l.SetId(15);
    EXPECT_EQ(l.Packed(), (Bytes{0x1F, 6, 1, 50, 200, 64}));
    EXPECT_EQ(l.SubtypeName(), "Sine");
    EXPECT_EQ(l.InputName(0), "Rate Adjust");
    EXPECT_EQ(l.InputName(1), "?");
    l.SetPhase(9);
    l.SetShape(4);
    EXPECT_EQ(l.Phase(), 9);
    EXPECT_EQ(l.Shape(), 4);
    EXPECT_EQ(l.SubtypeName(), "Triangle");
    l.SetShape(0);
    EXPECT_EQ(l.SubtypeName(), "?");
    EXPECT_EQ(l.Phase(), 9);
    EXPECT_NEAR(LfoModulator::RateHz(51), 5.0, 1e-12);

    l.Reset();
    EXPECT_EQ(l.Id(), 15);
    EXPECT_EQ(l.Packed(), (Bytes{0x1F, 6, 1, 50, 200, 64}));
}

// ---------------------------------------------------------------------------------------
// ENV

Bytes EnvBytes(uint8_t counts, int segments) {
    Bytes b{0x21, static_cast<uint8_t>(8 + 2 * segments), counts, 1, 2, 3, 4, 70};
    for (int i = 0; i < segments; ++i) {
        b.push_back(static_cast<uint8_t>(10 * i));
        b.push_back(static_cast<uint8_t>(i + 1));
    }
    return b;
}

TEST(EnvModulatorTest, Defaults) {
    EnvModulator e;
    e.SetId(2);
    EXPECT_EQ(e.Packed(), (Bytes{0x22, 14, 0, 127, 127, 127, 127, 64, 127, 0, 127, 50, 0, 0}));
    EXPECT_EQ(e.InputName(3), "RelRate");
    EXPECT_EQ(e.InputName(4), "");
    EXPECT_EQ(e.SubtypeName(), "");
}

TEST(EnvModulatorTest, CountsByteDecidesTheSegments) {
    EnvModulator e;
    Bytes in = EnvBytes(0x07, 10);
    ASSERT_EQ(e.Unpack(in), 0);
    EXPECT_EQ(e.AttackCount(), 8);
    EXPECT_EQ(e.DecayCount(), 1);
    EXPECT_EQ(e.ReleaseCount(), 1);
    EXPECT_EQ(e.PackedSize(), 28);
    EXPECT_EQ(e.Packed(), in);

    // A size byte that disagrees with the counts is refused either way.
    Bytes shortSize = EnvBytes(0x07, 9);
    shortSize.resize(40, 0);
    EXPECT_EQ(e.Unpack(shortSize), 1);
    Bytes longSize = EnvBytes(0x00, 4);
    EXPECT_EQ(e.Unpack(longSize), 1);
    Bytes truncated = EnvBytes(0xFF, 16);
    truncated.pop_back();
    EXPECT_EQ(e.Unpack(truncated), 1);
    EXPECT_EQ(e.Unpack(EnvBytes(0xFF, 16)), 0);
    EXPECT_EQ(e.PackedSize(), 40);
    EXPECT_TRUE(e.Linear());
}

TEST(EnvModulatorTest, GrowingAndShrinkingGroups) {
    EnvModulator e;
    e.SetDecayCount(3);
    using S = EnvSegment;
    EXPECT_EQ(e.Segments(), (std::vector<S>{{127, 0}, {127, 50}, {127, 24}, {127, 24}, {0, 0}}));
    EXPECT_EQ(e.CountsByte(), 0x10);
    EXPECT_EQ(e.Packed()[1], 18);

    e.SetLinear(true);
    e.SetSegment(4, -90, 7);
    e.SetReleaseCount(2);  // copies the release group's last level
    EXPECT_EQ(e.Segments()[5], (S{-90, 24}));
    e.SetAttackCount(3);
    EXPECT_EQ(e.Segments()[1], (S{127, 24}));
    EXPECT_EQ(e.Segments()[3], (S{127, 50}));
    EXPECT_EQ(e.CountsByte(), 0x80 | 0x20 | 0x10 | 0x02);
    EXPECT_TRUE(e.Linear());

    e.SetDecayCount(1);  // removes from the end of the group
    EXPECT_EQ(e.Segments(),
              (std::vector<S>{{127, 0}, {127, 24}, {127, 24}, {127, 50}, {-90, 7}, {-90, 24}}));
    e.SetAttackCount(20);
    EXPECT_EQ(e.AttackCount(), 8);
    e.SetReleaseCount(0);
    EXPECT_EQ(e.ReleaseCount(), 1);
    EXPECT_EQ(e.PackedSize(), 8 + 2 * 10);

    // Whatever the groups did, the packed form reads back the same.
    EnvModulator back;
    ASSERT_EQ(back.Unpack(e.Packed()), 0);
    EXPECT_EQ(back.Segments(), e.Segments());
    EXPECT_EQ(back.CountsByte(), e.CountsByte());
}

TEST(EnvModulatorTest, ClampsSegmentValues) {
    EnvModulator e;
    EXPECT_TRUE(e.SetSegment(0, -300, 400));
    EXPECT_EQ(e.Segments()[0], (EnvSegment{-127, 255}));
    EXPECT_TRUE(e.SetSegment(1, 128, -1));
    EXPECT_EQ(e.Segments()[1], (EnvSegment{127, 0}));
    EXPECT_FALSE(e.SetSegment(3, 0, 0));
    e.SetStartLevel(-200);
    EXPECT_EQ(e.StartLevel(), -127);
}

// ---------------------------------------------------------------------------------------
// Parsing, cloning

TEST(ParseModulatorTest, KindNibbles) {
    for (int b = 0; b < 256; ++b) {
        Bytes in = EnvBytes(0, 3);  // long enough for every kind
        in[0] = static_cast<uint8_t>(b);
        if ((b >> 4) != 2) in[1] = 6;
        ParsedModulator p = ParseModulator(in);
        int nibble = b >> 4;
        if (nibble >= 0xC) {
            EXPECT_EQ(p.result, ParseResult::kEndOfList) << b;
        } else if (nibble == 1 || nibble == 2 || nibble == 4) {
            ASSERT_EQ(p.result, ParseResult::kDone) << b;
            EXPECT_EQ(static_cast<int>(p.modulator->Kind()), nibble);
            EXPECT_EQ(p.modulator->Id(), b & 0x0F);
        } else {
            EXPECT_EQ(p.result, ParseResult::kFailed) << b;
            EXPECT_EQ(p.modulator, nullptr);
        }
    }
    EXPECT_EQ(ParseModulator({}).result, ParseResult::kFailed);
}

TEST(ParseModulatorTest, RandomModulatorsRoundTripAndClone) {
    std::mt19937 rng(7);
    auto byte = [&] { return static_cast<uint8_t>(rng() & 0xFF); };
    for (int round = 0; round < 500; ++round) {
        Bytes in;
        int id = static_cast<int>(rng() % 16);
        switch (rng() % 3) {
            case 0:
                in = {static_cast<uint8_t>(0x40 | id),
                      6,
                      static_cast<uint8_t>((rng() % 22) | (rng() % 2 ? 0x80 : 0)),
                      byte(),
                      byte(),
                      byte()};
                break;
            case 1:
                in = {static_cast<uint8_t>(0x10 | id), 6, byte(), byte(), byte(), byte()};
                break;
            default: {
                uint8_t counts = byte();
                int n = (counts & 7) + ((counts >> 3) & 3) + ((counts >> 5) & 3) + 3;
                in = {static_cast<uint8_t>(0x20 | id), static_cast<uint8_t>(8 + 2 * n), counts};
                for (int i = 0; i < 5 + 2 * n; ++i)
                    in.push_back(byte());
            }
        }
        Bytes withTrailer = in;
        withTrailer.push_back(0xD0);
        ParsedModulator p = ParseModulator(withTrailer);
        ASSERT_EQ(p.result, ParseResult::kDone);
        EXPECT_EQ(p.modulator->PackedSize(), static_cast<int>(in.size()));
        EXPECT_EQ(p.modulator->Packed(), in);

        auto clone = p.modulator->Clone();
        EXPECT_EQ(clone->Packed(), in);
        if (uint8_t* src = clone->Input(0)) *src ^= 0xFF;
        EXPECT_EQ(p.modulator->Packed(), in) << "the clone shares state";
    }
}

TEST(ModulatorTest, ResetKeepsIdAndCopyFromIgnoresOtherKinds) {
    FunModulator f;
    ASSERT_EQ(f.Unpack(Bytes{0x47, 6, 0x85, 1, 2, 3}), 0);
    f.Reset();
    EXPECT_EQ(f.Packed(), (Bytes{0x47, 6, 0, 127, 127, 127}));

    LfoModulator l;
    l.SetId(1);
    l.CopyFrom(f);
    EXPECT_EQ(l.Packed(), (Bytes{0x11, 6, 1, 50, 200, 64}));

    EnvModulator a, b;
    ASSERT_EQ(a.Unpack(EnvBytes(0x2B, 8)), 0);
    b.CopyFrom(a);
    EXPECT_EQ(b.Packed(), a.Packed());
    a.Reset();
    EXPECT_EQ(a.Id(), 1);
    EXPECT_EQ(a.PackedSize(), 14);
}

}  // namespace
}  // namespace talmeru
