#pragma once
// A MidiSynthLink on the emulator alone (no system devices) with a scripted prompter that
// answers Ignore. Tests of silence shorten the timer ticks so that it costs milliseconds.
#include <gtest/gtest.h>

#include <memory>

#include "emulator/Ma1Emulator.h"
#include "platform/MidiSystem.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "synth/MidiSynthLink.h"

namespace talmeru::test {

class EmulatorLink : public ::testing::Test {
  protected:
    using Bytes = std::vector<uint8_t>;

    void Open(emulator::Ma1Settings settings = {}) {
        settings.keepLog = true;
        emu = emulator::Ma1Emulator::Create(settings);
        midi = std::make_unique<MidiSystem>();
        midi->AddVirtualDevices(emu->Devices());
        link = std::make_unique<MidiSynthLink>(*midi, profile);
        link->ChooseDevices();
        ASSERT_TRUE(link->IsReady());
        prompter.Clear();
    }
    void SetUp() override { Open(); }
    void TearDown() override {
        link.reset();
        emu.reset();
    }

    ScriptedPrompter prompter{Answer::Ignore};
    ScopedPrompter scope{prompter};
    Profile profile;
    std::shared_ptr<emulator::Ma1Emulator> emu;
    std::unique_ptr<MidiSystem> midi;
    std::unique_ptr<MidiSynthLink> link;
};

}  // namespace talmeru::test
