// The synth session on a fresh emulator: the audition settings as stored, messages on the
// audition channel, notes from the audition input, the emulator's sample RAM.
#include "application/SynthSession.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "emulator/Ma1Emulator.h"
#include "platform/Prompter.h"

namespace talmeru::test {
namespace {

class SynthSessionTest : public ::testing::Test {
  protected:
    // A session over the emulator alone, with the settings as they stand.
    std::unique_ptr<SynthSession> Make() {
        auto midi = std::make_unique<MidiSystem>();
        midi->AddVirtualDevices(emu->Devices());
        return std::make_unique<SynthSession>(settings, std::move(midi), emu, nullptr, nullptr);
    }
    // The short messages the emulator received after the first `skip`.
    std::vector<uint32_t> ShortsAfter(size_t skip) {
        emu->Flush();
        const std::vector<uint32_t> all = emu->ReceivedShort();
        return {all.begin() + std::ptrdiff_t(std::min(skip, all.size())), all.end()};
    }
    static uint32_t Msg(int status, int d1, int d2) {
        return uint32_t(status) | uint32_t(d1) << 8 | uint32_t(d2) << 16;
    }

    ScriptedPrompter prompter;
    ScopedPrompter scope{prompter};
    Profile settings;
    std::shared_ptr<emulator::Ma1Emulator> emu = emulator::Ma1Emulator::Create({.keepLog = true});
};

TEST_F(SynthSessionTest, AuditionSettingsAreReadAsStored) {
    struct Case {
        int channel, inEnabled;
        int wantChannel;
        bool wantIn;
        int storedIn;  // what the settings hold afterwards
    };
    for (const Case c :
         {Case{3, 1, 3, true, 1}, Case{19, 0, 3, false, 0}, Case{15, 2, 15, false, 0}}) {
        settings.WriteInt("Audition", "Velocity", 77);
        settings.WriteInt("Audition", "Channel", c.channel);
        settings.WriteInt("Audition", "InEnabled", c.inEnabled);
        auto synth = Make();
        EXPECT_EQ(synth->AuditionVelocity(), 77);
        EXPECT_EQ(synth->AuditionChannel(), c.wantChannel) << c.channel;
        EXPECT_EQ(synth->AuditionInEnabled(), c.wantIn) << c.inEnabled;
        EXPECT_EQ(settings.GetInt("Audition", "InEnabled", -1), c.storedIn) << c.inEnabled;
        EXPECT_FALSE(synth->SetAuditionChannel(c.wantChannel));
        EXPECT_TRUE(synth->SetAuditionChannel(c.wantChannel ^ 1));
        EXPECT_EQ(settings.GetInt("Audition", "Channel", -1), c.wantChannel ^ 1);
    }
}

TEST_F(SynthSessionTest, MessagesGoOnTheAuditionChannel) {
    settings.WriteInt("Audition", "Channel", 5);
    settings.WriteInt("Audition", "Velocity", 101);
    auto synth = Make();
    const size_t before = ShortsAfter(0).size();
    synth->SendProgram(300);  // bank 2, program 44
    synth->SendNrpn(1, 2, 3);
    synth->PlayKey(61, true);
    synth->PlayKey(61, false);
    const std::vector<uint32_t> sent = ShortsAfter(before);
    const std::vector<uint32_t> want = {Msg(0xB5, 0, 2),  Msg(0xC5, 44, 0), Msg(0xB5, 99, 1),
                                        Msg(0xB5, 98, 2), Msg(0xB5, 6, 3),  Msg(0x95, 61, 101),
                                        Msg(0x95, 61, 0)};
    EXPECT_EQ(sent, want);
    EXPECT_EQ(emu->ChannelProgram(5), 44);
}

TEST_F(SynthSessionTest, TheAuditionInputGivesNotesOnly) {
    auto synth = Make();
    const uint32_t played[] = {Msg(0x91, 60, 100), Msg(0xB1, 7, 90), Msg(0x93, 62, 0),
                               Msg(0x8F, 64, 40)};
    const std::vector<IncomingNote> want = {{1, 60, true}, {3, 62, false}, {15, 64, false}};
    for (uint32_t m : played)
        emu->PlayExternal(m);
    emu->Flush();
    std::vector<IncomingNote> heard;
    for (int i = 0; i < 100 && heard.size() < want.size(); ++i) {
        for (const IncomingNote& n : synth->TakeIncomingNotes())
            heard.push_back(n);
        if (heard.size() < want.size()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(heard, want);
}

TEST_F(SynthSessionTest, SampleRamIsASettingWithinWhatTheMachineHas) {
    const int max = SynthSession::MaxSampleRamMiB();
    ASSERT_GE(max, 2);
    struct Case {
        int stored, want;
    };
    for (const Case c : {Case{-5, 0}, Case{2, 2}, Case{max + 1, max}}) {
        settings.WriteInt("Emulator", "SampleRamMiB", c.stored);
        auto synth = Make();
        EXPECT_EQ(synth->SampleRamMiB(), c.want) << c.stored;
        EXPECT_EQ(emu->Memory().sampleTotal, uint32_t(c.want) << 20) << c.stored;
    }
    auto synth = Make();
    EXPECT_FALSE(synth->SetSampleRamMiB(max + 7));  // already the most
    EXPECT_TRUE(synth->SetSampleRamMiB(1));
    EXPECT_EQ(settings.GetInt("Emulator", "SampleRamMiB", -1), 1);
    EXPECT_EQ(emu->Memory().sampleTotal, 1u << 20);
    ASSERT_EQ(synth->Link().QueryMemory(0), 0);
    ASSERT_EQ(synth->Link().QueryMemory(1), 0);
    EXPECT_EQ(synth->SampleGauge(), "Sample RAM 100% ( 1.0 MB)");
}

}  // namespace
}  // namespace talmeru::test
