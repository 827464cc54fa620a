// The link against the emulator, end to end: queries, fetching, storing, sample data,
// aliases, and every way a reply can go wrong.
#include <gtest/gtest.h>

#include "emulator/FactoryRom.h"
#include "support/LinkFixture.h"
#include "synth/Sysex.h"

namespace talmeru {
namespace {

using namespace std::chrono_literals;
using emulator::Ma1Fault;

constexpr const char* kNoResponse =
    "Synth did not respond to last request.\nHit Abort to exit Talmeru, Retry to try again, or "
    "Ignore to continue";
constexpr const char* kGaveUp = "Request repeated 3 times with no success";

std::vector<uint8_t> Block(int type, int number, size_t bodySize, uint8_t fill = 0x5A) {
    return emulator::ObjectBlock(type, number, "Test Object", std::vector<uint8_t>(bodySize, fill));
}

class Transact : public test::EmulatorLink {};

TEST_F(Transact, StartUpReadsMemoryAndIdentity) {
    EXPECT_EQ(link->RomVersion(), 0x0103);
    EXPECT_EQ(link->IdentityWord(0), emulator::Ma1Emulator::kIdentity[0]);
    EXPECT_EQ(link->IdentityWord(2), emulator::Ma1Emulator::kIdentity[2]);
    EXPECT_EQ(link->Memory().sampleTotal, 16u << 20);
    EXPECT_EQ(link->Memory().sampleFree, 16u << 20);
    EXPECT_EQ(link->Memory().programTotal, emu->Memory().programTotal);
    EXPECT_TRUE(link->HasSampleRam());
    EXPECT_EQ(emu->Requests(kCmdMemorySizes), 1);
    EXPECT_EQ(emu->Requests(kCmdMemoryFree), 1);
    EXPECT_EQ(emu->Requests(kCmdIdentity), 1);

    size_t sent = emu->ReceivedSysex().size();
    EXPECT_EQ(link->QueryMemory(2), 1);
    EXPECT_EQ(emu->ReceivedSysex().size(), sent);
}

TEST_F(Transact, ACardWithoutSampleRamTakesNoSampleData) {
    emulator::Ma1Settings settings;
    settings.sampleRamBytes = 0;
    Open(settings);
    EXPECT_FALSE(link->HasSampleRam());
    int remaining = 0;
    EXPECT_EQ(link->UploadSampleData(0, std::vector<uint8_t>(10, 1), remaining, 8), 1);
    EXPECT_EQ(prompter.Messages(),
              std::vector<std::string>{"no RAM memory to upload sample data!"});
    EXPECT_EQ(emu->Requests(kCmdSampleData), 0);
}

TEST_F(Transact, GetObjectOnEmptyAndFullSlots) {
    std::vector<uint8_t> block = {1, 2, 3};
    EXPECT_EQ(link->GetObject(3, 400, block), kNoSuchObject);
    EXPECT_TRUE(block.empty());
    EXPECT_EQ(emu->Requests(kCmdObjectHeader), 1);
    EXPECT_EQ(emu->Requests(kCmdObjectFetch), 0);

    EXPECT_EQ(link->GetObject(3, 0, block), kGotObject);
    EXPECT_EQ(block, *emu->Object(3, 0));
    EXPECT_EQ(std::string(block.begin() + 6, block.begin() + 20), "Acoustic Grand");
    EXPECT_EQ(link->GetObject(5, 1, block), kGotObject);
    EXPECT_EQ(block, *emu->Object(5, 1));
    EXPECT_EQ(emu->Requests(kCmdObjectFetch), 2);
    EXPECT_TRUE(prompter.All().empty());
}

TEST_F(Transact, TheLargestFetchableObjectFillsTheReceiveBuffer) {
    auto largest = Block(3, 300, 3494 - 22);
    auto tooLarge = Block(3, 301, 3495 - 22);
    ASSERT_EQ(link->StoreObject(largest), 0);
    ASSERT_EQ(link->StoreObject(tooLarge), 0);
    ASSERT_TRUE(emu->InRam(3, 301));

    std::vector<uint8_t> block;
    EXPECT_EQ(link->GetObject(3, 300, block), kGotObject);
    EXPECT_EQ(block, largest);
    EXPECT_TRUE(prompter.All().empty());

    // Its reply is cut at 4000 bytes, so the end byte never arrives: a wrong reply, four times.
    EXPECT_EQ(link->GetObject(3, 301, block), kGetFailed);
    EXPECT_TRUE(block.empty());
    EXPECT_EQ(emu->Requests(kCmdObjectFetch), 1 + 4);
    std::vector<std::string> expected(4, "Sysex message from MA-1 was not terminated!");
    expected.push_back(kGaveUp);
    EXPECT_EQ(prompter.Messages(), expected);
}

TEST_F(Transact, StoreAndDeleteKeepRamObjectsOverRom) {
    const auto rom = *emu->Object(1, 0);
    auto mine = Block(1, 0, 10);
    const uint32_t before = link->Memory().programFree;
    ASSERT_EQ(link->StoreObject(mine), 0);
    EXPECT_EQ(*emu->Object(1, 0), mine);
    EXPECT_EQ(emu->Memory().programFree, before - 32);

    EXPECT_EQ(link->DeleteObject(1, 0), 0);
    EXPECT_EQ(*emu->Object(1, 0), rom);  // the ROM object shows again
    EXPECT_EQ(link->Memory().programFree, before);
    EXPECT_EQ(emu->Requests(kCmdMemoryFree), 2);  // start-up, then the delete's refresh

    // A block that is longer than it says is sent as long as it says; one that is shorter or
    // over 4096 bytes is refused without sending.
    auto padded = Block(2, 9, 4);
    padded.push_back(0xEE);
    EXPECT_EQ(link->StoreObject(padded), 0);
    EXPECT_EQ(emu->Object(2, 9)->size(), 26u);
    EXPECT_EQ(link->StoreObject(Block(3, 2, 4074)), 0);
    EXPECT_EQ(emu->Object(3, 2)->size(), 4096u);
    EXPECT_EQ(emu->ReceivedSysex().back().size(), 4688u);
    const int stores = emu->Requests(kCmdStoreObject);
    EXPECT_EQ(link->StoreObject(Block(3, 3, 4075)), 1);
    auto cut = Block(3, 4, 100);
    cut.resize(60);
    EXPECT_EQ(link->StoreObject(cut), 1);
    EXPECT_EQ(link->StoreObject(std::vector<uint8_t>(21, 1)), 1);
    EXPECT_EQ(emu->Requests(kCmdStoreObject), stores);
}

// Data filled in place lands in the sample RAM as sent whole; a source that cannot be read
// sends nothing, and a block the RAM has no room for is never read.
TEST_F(Transact, SampleDataFilledInPlace) {
    int remaining = 100000;
    int calls = 0;
    auto counting = [&calls](std::span<uint8_t> out) {
        ++calls;
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = uint8_t(i * 3);
        return true;
    };
    ASSERT_EQ(link->UploadSampleDataFilled(6, 3000, counting, remaining, 16), 0);
    EXPECT_EQ(calls, 1);
    auto held = emu->SampleData(6);
    ASSERT_TRUE(held);
    ASSERT_EQ(held->size(), 3002u);
    EXPECT_EQ((*held)[2999], uint8_t(2999 * 3));
    EXPECT_EQ((*held)[3000], 0);
    EXPECT_EQ(emu->ReceivedSysexSizes().back(), 12u + 3002u);
    const uint32_t freeAfter = emu->Memory().sampleFree;

    auto failing = [](std::span<uint8_t>) { return false; };
    EXPECT_NE(link->UploadSampleDataFilled(7, 3000, failing, remaining, 16), 0);
    EXPECT_FALSE(emu->SampleData(7));
    EXPECT_EQ(emu->Memory().sampleFree, freeAfter);

    ASSERT_EQ(link->UploadSampleDataFilled(8, 17u << 20, counting, remaining, 16), 0);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(emu->SampleData(8));
    EXPECT_EQ(emu->Memory().sampleFree, freeAfter);
}

TEST_F(Transact, SampleDataIsPaddedToItsBlockAndConvertedTo15Bits) {
    std::vector<uint8_t> ten = {1, 2, 3, 0xF7, 5, 6, 7, 8, 9, 10};  // raw bytes, even 0xF7
    int remaining = 100000;
    ASSERT_EQ(link->UploadSampleData(3, ten, remaining, 8), 0);
    EXPECT_EQ(remaining, 100000 - 1026);
    auto held = emu->SampleData(3);
    ASSERT_TRUE(held);
    ASSERT_EQ(held->size(), 1026u);
    EXPECT_TRUE(std::equal(ten.begin(), ten.end(), held->begin()));
    EXPECT_TRUE(std::all_of(held->begin() + 10, held->end(), [](uint8_t b) { return b == 0; }));
    // The log keeps a sample-data message's head and size, not its data.
    EXPECT_EQ(emu->ReceivedSysexSizes().back(), 12u + 1026u);
    EXPECT_EQ(emu->ReceivedSysex().back().size(), 12u);
    EXPECT_EQ(emu->ReceivedSysex().back()[4], 0x05);

    std::vector<uint8_t> big(2000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 7);
    ASSERT_EQ(link->UploadSampleData(4, big, remaining, 16), 0);
    EXPECT_EQ(emu->SampleData(4)->size(), 2002u);
    EXPECT_TRUE(std::equal(big.begin(), big.end(), emu->SampleData(4)->begin()));

    link->SetConvert15Bit(true);
    EXPECT_EQ(profile.GetString("Options", "Convert15Bit"), "1");
    std::vector<uint8_t> samples = {0xFD, 0xFF, 0x03, 0x00, 0x00, 0x80, 0xFF, 0x7F};
    ASSERT_EQ(link->UploadSampleData(5, samples, remaining, 16), 0);
    auto halved = *emu->SampleData(5);
    halved.resize(8);
    EXPECT_EQ(halved, (std::vector<uint8_t>{0xFF, 0xFF, 0x01, 0x00, 0x00, 0xC0, 0xFF, 0x3F}));
    ASSERT_EQ(link->UploadSampleData(6, samples, remaining, 8), 0);
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), emu->SampleData(6)->begin()));
    EXPECT_EQ(emu->Memory().sampleFree, (16u << 20) - 1026 - 2002 - 1026 - 1026);
}

TEST_F(Transact, AliasesAndClearRam) {
    int remaining = 1 << 20;
    ASSERT_EQ(link->UploadSampleData(10, std::vector<uint8_t>(3000, 1), remaining, 16), 0);
    ASSERT_EQ(link->AddAlias(10, 11), 0);
    ASSERT_EQ(link->AddAlias(10, 12), 0);
    EXPECT_EQ(emu->AliasOf(11), 10);

    EXPECT_EQ(link->RemoveAlias(11), 0);
    EXPECT_FALSE(emu->AliasOf(11));
    EXPECT_EQ(link->Memory().sampleFree, (16u << 20) - 3002);
    EXPECT_EQ(link->RemoveAlias(10), 0);  // the data go, and the aliases that played them
    EXPECT_FALSE(emu->SampleData(10));
    EXPECT_FALSE(emu->AliasOf(12));
    EXPECT_EQ(link->Memory().sampleFree, 16u << 20);

    ASSERT_EQ(link->UploadSampleData(20, std::vector<uint8_t>(10, 1), remaining, 8), 0);
    ASSERT_EQ(link->StoreObject(Block(3, 77, 100)), 0);
    ASSERT_EQ(link->QueryMemory(1), 0);
    EXPECT_LT(link->Memory().programFree, link->Memory().programTotal);
    const int asked = emu->Requests(kCmdMemoryFree);
    EXPECT_EQ(link->ClearRam(), 0);
    EXPECT_EQ(link->Memory().programFree, link->Memory().programTotal);
    EXPECT_EQ(link->Memory().sampleFree, link->Memory().sampleTotal);
    EXPECT_EQ(emu->Requests(kCmdMemoryFree), asked);  // without asking
    EXPECT_FALSE(emu->InRam(3, 77));
    EXPECT_FALSE(emu->SampleData(20));
    EXPECT_EQ(emu->Memory().sampleFree, emu->Memory().sampleTotal);
}

TEST_F(Transact, WrongRepliesAreRetriedThreeTimes) {
    emu->InjectFault(Ma1Fault::kWrongCommand, 3);
    EXPECT_EQ(link->QueryIdentity(), 0);
    EXPECT_EQ(emu->Requests(kCmdIdentity), 1 + 4);
    EXPECT_TRUE(prompter.All().empty());

    emu->InjectFault(Ma1Fault::kWrongCommand, -1);
    std::vector<uint8_t> block;
    EXPECT_EQ(link->GetObject(3, 0, block), kGetFailed);
    EXPECT_EQ(emu->Requests(kCmdObjectHeader), 4);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{kGaveUp});
}

TEST_F(Transact, ShortAndUnterminatedRepliesAreWrongReplies) {
    emu->InjectFault(Ma1Fault::kEarlyEnd, 1);
    EXPECT_EQ(link->QueryMemory(0), 0);
    emu->InjectFault(Ma1Fault::kNoEnd, 1);
    EXPECT_EQ(link->QueryMemory(1), 0);
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{"Sysex message from MA-1 was shorter than expected!",
                                        "Sysex message from MA-1 was not terminated!"}));
    EXPECT_EQ(link->Memory().sampleFree, 16u << 20);
}

TEST_F(Transact, SilenceIsResentFiveTimesThenAsked) {
    link->SetTickPeriod(5ms);
    emu->InjectFault(Ma1Fault::kSilent, 3);  // answers only the fourth request
    EXPECT_EQ(link->QueryIdentity(), 0);
    EXPECT_EQ(emu->Requests(kCmdIdentity), 1 + 4);
    EXPECT_TRUE(prompter.All().empty());

    emu->InjectFault(Ma1Fault::kSilent, -1);
    EXPECT_EQ(link->QueryIdentity(), 1);  // the scripted answer is Ignore
    EXPECT_EQ(emu->Requests(kCmdIdentity), 5 + 6);
    EXPECT_EQ(prompter.Questions(), std::vector<std::string>{kNoResponse});

    prompter.Clear();
    prompter.QueueAnswer(Answer::Retry);
    prompter.QueueAnswer(Answer::Retry);
    std::vector<uint8_t> block;
    EXPECT_EQ(link->GetObject(1, 0, block), kGetFailed);
    EXPECT_EQ(emu->Requests(kCmdObjectHeader), 6 + 2);
    EXPECT_EQ(prompter.Questions().size(), 3u);

    // The card answers again: the next request goes through at once.
    emu->InjectFault(Ma1Fault::kNone, 0);
    EXPECT_EQ(link->GetObject(1, 0, block), kGotObject);
}

TEST_F(Transact, AbortEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            prompter.SetDefault(Answer::Abort);
            link->SetTickPeriod(1ms);
            emu->InjectFault(Ma1Fault::kSilent, -1);
            link->QueryIdentity();
        },
        ::testing::ExitedWithCode(EXIT_FAILURE), "");
}

struct CancelOnPump : EventPump {
    explicit CancelOnPump(MidiSynthLink& l) : link(l) {}
    void Pump() override {
        if (++calls == 3) link.Cancel();
    }
    MidiSynthLink& link;
    int calls = 0;
};

TEST_F(Transact, CancelGivesUpTheWaitingRequestOnly) {
    CancelOnPump pump(*link);
    link->SetEventPump(&pump);
    emu->InjectFault(Ma1Fault::kSilent, -1);
    std::vector<uint8_t> block;
    EXPECT_EQ(link->GetObject(3, 0, block), kGetFailed);
    EXPECT_EQ(pump.calls, 3);
    EXPECT_EQ(emu->Requests(kCmdObjectHeader), 1);
    EXPECT_TRUE(prompter.All().empty());

    // A cancel raised between requests is taken by the next one, and only by it.
    emu->InjectFault(Ma1Fault::kNone, 0);
    link->SetEventPump(nullptr);
    link->Cancel();
    EXPECT_EQ(link->QueryIdentity(), 1);
    EXPECT_EQ(link->QueryIdentity(), 0);
}

TEST_F(Transact, ASlowCardIsWaitedForWhileThePumpRuns) {
    emulator::Ma1Settings slow;
    slow.replyLatency = 30ms;
    Open(slow);
    struct Count : EventPump {
        void Pump() override { ++calls; }
        int calls = 0;
    } pump;
    link->SetEventPump(&pump);
    EXPECT_EQ(link->QueryIdentity(), 0);
    EXPECT_GE(pump.calls, 2);
    EXPECT_EQ(emu->Requests(kCmdIdentity), 2);  // start-up and this one: no resend
}

}  // namespace
}  // namespace talmeru
