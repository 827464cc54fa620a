// The device side of the MIDI link: listing, choosing, opening, selecting, sending, and the
// audition input with MIDI thru.
#include <gtest/gtest.h>

#include <atomic>

#include "emulator/Ma1Emulator.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "synth/FakeMidi.h"
#include "synth/MidiSynthLink.h"
#include "synth/Sysex.h"

namespace talmeru {
namespace {

using test::FakeMidiDevices;

constexpr const char* kNotFound =
    "Kurzweil MA-1 MIDI devices not found! Please check the Device Manager right now and verify "
    "that the synth driver is properly installed installed. The name is \"TB Pro Main Synth\" "
    "for the Pinnacle, and \"AVM Apex Wavetable\" for the Apex. If a yellow exclamation mark "
    "appears, your drivers are not working and Talmeru will not work. Contact technical "
    "support.";
constexpr const char* kNoAudition = "Audition device (external midi) not found.";

class Devices : public ::testing::Test {
  protected:
    // The system's devices are the fake's; the emulator, when asked for, comes after them.
    std::unique_ptr<MidiSynthLink> MakeLink(bool withEmulator = true) {
        midi = std::make_unique<MidiSystem>(real);
        if (withEmulator) {
            emu = emulator::Ma1Emulator::Create({.keepLog = true});
            midi->AddVirtualDevices(emu->Devices());
        }
        return std::make_unique<MidiSynthLink>(*midi, profile);
    }

    ScriptedPrompter prompter{Answer::Ignore};
    ScopedPrompter scope{prompter};
    Profile profile;
    std::shared_ptr<FakeMidiDevices> real = std::make_shared<FakeMidiDevices>();
    std::shared_ptr<emulator::Ma1Emulator> emu;
    std::unique_ptr<MidiSystem> midi;
};

TEST_F(Devices, PreferredNamesPickTheEmulatorOnlyWithoutACard) {
    real->outputs = {"Generic MPU-401 Out", "SB Live Synth"};
    real->inputs = {"Generic MPU-401 In"};
    auto link = MakeLink();
    link->PickDevices();
    // The emulator's "TBS Pro ..." names come before "Generic MPU-401" in the preference.
    EXPECT_EQ(link->SynthOutIndex(), 2);
    EXPECT_EQ(link->SynthOutName(), "TBS Pro Main Synth Out (emulated)");
    EXPECT_EQ(link->SynthInIndex(), 1);
    EXPECT_EQ(link->AuditionInIndex(), 2);
    EXPECT_EQ(profile.GetString("Device", "SynthOut"), "TBS Pro Main Synth Out (emulated)");
    EXPECT_EQ(profile.GetString("Device", "AuditionIn"), "TBS Pro External MIDI In (emulated)");

    real->outputs = {"TBS Pro Main Synth Out 2"};
    real->inputs = {"TBS Pro Main Synth In", "tbs pro external midi in"};
    profile = Profile();
    link = MakeLink();
    link->PickDevices();
    EXPECT_EQ(link->SynthOutName(), "TBS Pro Main Synth Out 2");  // by prefix
    EXPECT_EQ(link->SynthInIndex(), 0);
    EXPECT_EQ(link->AuditionInIndex(), 3);  // case counts: the emulator's
}

TEST_F(Devices, AStoredNameIsMatchedWholeAndFallsBackWhenGone) {
    real->outputs = {"Apex Wavetable Synth", "Generic MPU-401", "My Synth"};
    real->inputs = {"Generic MPU-401", "Apex Wavetable In", "Roland MPU-401 In"};
    profile.WriteString("Device", "SynthOut", "My Synth");
    profile.WriteString("Device", "SynthIn", "Apex Wavetable");  // only a prefix: no match
    auto link = MakeLink(false);
    link->PickDevices();
    EXPECT_EQ(link->SynthOutIndex(), 2);
    EXPECT_EQ(link->SynthInIndex(), 1);  // Apex is preferred to Generic MPU-401
    EXPECT_EQ(link->SynthInName(), "Apex Wavetable In");
    EXPECT_EQ(profile.GetString("Device", "SynthIn"), "Apex Wavetable In");
    EXPECT_EQ(link->AuditionInIndex(), 2);
    EXPECT_EQ(profile.GetString("Device", "SynthOut"), "My Synth");
}

TEST_F(Devices, NoDevicesAtAll) {
    auto link = MakeLink(false);
    link->ChooseDevices();
    EXPECT_EQ(link->SynthOutIndex(), -1);
    EXPECT_FALSE(link->IsReady());
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{kNotFound, kNoAudition}));
    EXPECT_EQ(real->opens, 0);
    std::vector<uint8_t> block;
    EXPECT_EQ(link->GetObject(3, 0, block), kGetFailed);
    EXPECT_EQ(link->QueryIdentity(), -1);
    EXPECT_EQ(link->SendSysex(BuildMessage(0x0D)), 0);
    EXPECT_EQ(link->RomVersion(), 0);
}

TEST_F(Devices, AMissingAuditionDeviceSkipsTheStartUpQueries) {
    real->outputs = {"TBS Pro Main Synth Out"};
    real->inputs = {"TBS Pro Main Synth In"};
    auto link = MakeLink(false);
    link->ChooseDevices();
    EXPECT_TRUE(link->IsReady());
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{kNoAudition});
    EXPECT_TRUE(real->lastOut->longs.empty());  // nothing was asked
    EXPECT_EQ(link->Memory().sampleTotal, 0u);
}

TEST_F(Devices, ListingAndOpeningFailures) {
    real->outputs = {"Out A", "Out B", "Out C"};
    real->inputs = {"In A", "In B", "In C"};
    real->failingOutputCaps = {1};
    auto link = MakeLink(false);
    // A failing output ends the listing: later outputs and all inputs stay unlisted.
    ASSERT_EQ(link->Outputs().size(), 1u);
    EXPECT_TRUE(link->Inputs().empty());
    EXPECT_EQ(
        prompter.Messages(),
        std::vector<std::string>{"Error in getting Midi-out device list: output driver broken"});

    prompter.Clear();
    real->failingOutputCaps.clear();
    real->failingInputCaps = {0};
    real->failingOpens = {0};  // output 0
    profile.WriteString("Device", "SynthOut", "Out A");
    profile.WriteString("Device", "SynthIn", "In C");
    profile.WriteString("Device", "AuditionIn", "In B");
    link = MakeLink(false);
    EXPECT_EQ(link->Inputs().size(), 2u);
    link->PickDevices();
    EXPECT_EQ(link->SynthInIndex(), 1);
    EXPECT_EQ(link->OpenDevices(), 1);
    EXPECT_FALSE(link->IsReady());
    // The input listed second is the system's third: that is the one opened.
    EXPECT_TRUE(real->openInputs.contains(2));
    EXPECT_TRUE(real->openInputs.contains(1));
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{"Error in getting Midi-in device list: input driver broken",
                                        "device already allocated"}));
}

TEST_F(Devices, SelectingReopensOnlyForAnotherDevice) {
    real->outputs = {"Out A", "Out B"};
    real->inputs = {"In A", "In B"};
    profile.WriteString("Device", "SynthOut", "Out A");
    profile.WriteString("Device", "SynthIn", "In A");
    profile.WriteString("Device", "AuditionIn", "In B");
    auto link = MakeLink(false);
    link->PickDevices();
    ASSERT_EQ(link->OpenDevices(), 0);
    const int opens = real->opens;

    EXPECT_EQ(link->SelectSynthOut(0), 0);
    EXPECT_EQ(link->SelectSynthIn(-1), 1);
    EXPECT_EQ(link->SelectAuditionIn(2), 1);
    EXPECT_EQ(real->opens, opens);

    EXPECT_EQ(link->SelectSynthOut(1), 0);
    EXPECT_EQ(real->opens, opens + 3);
    EXPECT_EQ(link->SynthOutName(), "Out B");
    EXPECT_TRUE(link->IsReady());

    // Reopened devices keep the audition input as its switch says: another audition input,
    // or another MA-1 port, which reopens them all.
    link->StartAudition();
    EXPECT_EQ(link->SelectAuditionIn(0), 0);
    real->openInputs.at(0)->Short(0x7F3C90);
    EXPECT_EQ(link->TakeIncomingMessages().size(), 1u);
    EXPECT_EQ(link->SelectSynthOut(0), 0);
    real->openInputs.at(0)->Short(0x7F3C90);
    EXPECT_EQ(link->TakeIncomingMessages().size(), 1u);
    link->StopAudition();
    EXPECT_EQ(link->SelectAuditionIn(1), 0);
    real->openInputs.at(1)->Short(0x7F3C90);
    EXPECT_TRUE(link->TakeIncomingMessages().empty());
}

TEST_F(Devices, LogDevicesWritesEveryCapabilityRecord) {
    real->outputs = {"Out A"};
    real->inputs = {"In A"};
    auto link = MakeLink();
    link->LogDevices();
    EXPECT_EQ(profile.GetString("DEBUG", "output0"), "Out A 41 0 1 0 0 0 0");
    EXPECT_EQ(profile.GetString("DEBUG", "output1"),
              "TBS Pro Main Synth Out (emulated) 15 1 6 20 20 400 1");
    EXPECT_EQ(profile.GetString("DEBUG", "input0"), "In A 41 64 0 0");
    EXPECT_EQ(profile.GetString("DEBUG", "input2"),
              "TBS Pro External MIDI In (emulated) 15 3 400 0");
}

TEST_F(Devices, SendingShortAndSystemExclusiveMessages) {
    real->outputs = {"TBS Pro Main Synth Out"};
    real->inputs = {"TBS Pro Main Synth In", "TBS Pro External MIDI In"};
    auto link = MakeLink(false);
    link->PickDevices();
    ASSERT_EQ(link->OpenDevices(), 0);
    auto* out = real->lastOut;

    link->SendShort(0xB0, 7, 100, 0);
    link->PlayNote(60, 90, 3);
    link->SetThruEnabled(false);
    link->PlayNote(61, 90, 3);
    EXPECT_EQ(out->shorts, (std::vector<uint32_t>{0x6407B0, 0x5A3C93}));

    std::vector<uint8_t> two = {0xF0, 1, 2, 0xF7, 0xF0, 3, 0xF7};
    EXPECT_EQ(link->SendSysex(two), 0);
    EXPECT_EQ(link->SendSysex(two, 7), 0);
    ASSERT_EQ(out->longs.size(), 2u);
    EXPECT_EQ(out->longs[0].size(), 4u);
    EXPECT_EQ(out->longs[1].size(), 7u);

    out->sendError = {11, "The driver cannot send"};
    EXPECT_EQ(link->SendSysex(two), 11);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"The driver cannot send"});
}

TEST_F(Devices, ThruSettingIsReadAndWrittenOnlyWhenChanged) {
    profile.WriteString("Audition", "OutEnabled", "2");  // only 1 counts as on
    auto link = MakeLink();
    link->PickDevices();
    EXPECT_FALSE(link->ThruEnabled());
    link->SetThruEnabled(false);
    EXPECT_EQ(profile.GetString("Audition", "OutEnabled"), "2");
    link->SetThruEnabled(true);
    EXPECT_EQ(profile.GetString("Audition", "OutEnabled"), "1");
}

TEST_F(Devices, AuditionNotesReachTheMainThreadOnceEachInOrderAndPassThru) {
    auto link = MakeLink();
    std::atomic<int> notified = 0;
    link->SetIncomingNotify([&] { ++notified; });
    link->ChooseDevices();
    ASSERT_TRUE(link->IsReady());

    emu->PlayExternal(0x403C90);  // not started yet: nothing
    emu->Flush();
    EXPECT_TRUE(link->TakeIncomingMessages().empty());

    link->StartAudition();
    // Note 67 ends with a note-on at velocity 0, after channel pressure.
    const std::vector<uint32_t> played = {0x403C90, 0xF8,     0x504090, 0xFE,    0x003C80,
                                          0x05C0,   0x604390, 0x30D0,   0x004390};
    for (uint32_t m : played)
        emu->PlayExternal(m);
    emu->Flush();
    EXPECT_EQ(
        link->TakeIncomingMessages(),
        (std::vector<uint32_t>{0x403C90, 0x504090, 0x003C80, 0x05C0, 0x604390, 0x30D0, 0x004390}));
    EXPECT_TRUE(link->TakeIncomingMessages().empty());
    EXPECT_EQ(notified, 7);
    // Passed thru to the synthesizer: clock and active sensing were not.
    EXPECT_EQ(emu->SoundingNotes(), (std::set<std::pair<int, int>>{{0, 64}}));
    EXPECT_EQ(emu->ChannelProgram(0), 5);
    for (uint32_t m : emu->ReceivedShort())
        EXPECT_NE(m & 0xF0, 0xF0u) << std::hex << m;

    link->SetThruEnabled(false);
    emu->PlayExternal(0x403E90);
    emu->Flush();
    EXPECT_EQ(link->TakeIncomingMessages(), std::vector<uint32_t>{0x403E90});
    EXPECT_FALSE(emu->SoundingNotes().contains({0, 62}));

    link->SystemReset();
    EXPECT_TRUE(emu->SoundingNotes().empty());
    EXPECT_EQ(emu->ChannelProgram(0), 0);
    EXPECT_EQ(emu->ResetCount(), 1);

    link->StopAudition();
    emu->PlayExternal(0x403C90);
    emu->Flush();
    EXPECT_TRUE(link->TakeIncomingMessages().empty());
}

}  // namespace
}  // namespace talmeru
