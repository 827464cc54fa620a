// The emulator's whole factory ROM, downloaded over the link and filed in a bank: every object
// must be one the bank model reads and writes back unchanged, and every reference must hold.
#include <gtest/gtest.h>

#include "model/ZedoDatabase.h"
#include "platform/RomDirectory.h"
#include "support/LinkFixture.h"

namespace talmeru {
namespace {

// The MA-1 keymaps that K2000 imports map the K2000's ROM keymaps to.
constexpr int kK2000Targets[] = {0,  1,  2,  3,  4,  5,  7,  8,  9,  10, 11, 16, 17, 18, 21,
                                 27, 44, 45, 46, 50, 54, 55, 56, 67, 68, 69, 72, 87, 90, 95};

class FactoryRom : public test::EmulatorLink {};

TEST_F(FactoryRom, EveryObjectDownloadsIntoABankAndPacksBackTheSame) {
    ZedoDatabase bank;
    int fetched[7] = {};
    for (int type = 1; type <= 6; ++type) {
        for (int n = 0; n < (type <= 3 ? 512 : 20); ++n) {
            std::vector<uint8_t> block;
            int r = link->GetObject(type, n, block);
            ASSERT_NE(r, kGetFailed) << type << "/" << n;
            if (r != kGotObject) continue;
            ++fetched[type];
            ASSERT_EQ(bank.Store(block), 0) << type << "/" << n;
            if (type > 3) continue;
            BankObject* object = bank.GetObject(type, n);
            ASSERT_NE(object, nullptr);
            std::vector<uint8_t> again;
            ASSERT_EQ(object->PackToBlock(again), 0);
            EXPECT_EQ(again, block) << type << "/" << n;
        }
    }
    EXPECT_EQ(fetched[2], kRomRegionCount);
    EXPECT_EQ(fetched[3], 129);  // the General MIDI programs and the drum kit
    EXPECT_EQ(fetched[4], 0);
    EXPECT_TRUE(prompter.All().empty());

    for (int k : kK2000Targets)
        EXPECT_NE(bank.GetKeymap(k), nullptr) << k;
    auto dir = RomDirectory();
    for (int n = 0; n < kRomRegionCount; ++n) {
        const SampleHeader* s = bank.GetSampleHeader(n);
        EXPECT_EQ(s->Name(), std::string(dir[size_t(n)].name).substr(0, 16));
        EXPECT_EQ(FindRomRegion(s->start, s->loopStart, s->end), &dir[size_t(n)]);
    }
    for (int n = 0; n < kSlotCount; ++n) {
        if (const Keymap* k = bank.GetKeymap(n)) {
            ASSERT_FALSE(k->entries.empty()) << n;
            EXPECT_EQ(k->entries.back().topKey, 127);
            for (const auto& e : k->entries)
                EXPECT_TRUE(e.sample == kNoSample || bank.GetSampleHeader(e.sample)) << n;
        }
        if (const Program* p = bank.GetProgram(n)) {
            ASSERT_GE(p->LayerCount(), 1) << n;
            for (int i = 0; i < p->LayerCount(); ++i)
                EXPECT_NE(bank.GetKeymap(p->GetLayer(i)->keymap), nullptr) << n;
        }
    }
    // The drum kit plays General MIDI percussion from key 35 to 81.
    const Keymap* drums = bank.GetKeymap(bank.GetProgram(128)->GetLayer(0)->keymap);
    EXPECT_EQ(drums->SampleForKey(34), kNoSample);
    EXPECT_EQ(bank.GetSampleHeader(drums->SampleForKey(36))->Name(), "Dry Kick");
    EXPECT_EQ(bank.GetSampleHeader(drums->SampleForKey(81))->Name(), "Triangle");
    EXPECT_EQ(drums->SampleForKey(82), kNoSample);
}

}  // namespace
}  // namespace talmeru
