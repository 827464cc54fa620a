// The emulator heard through the audio output: when it plays, what the status bar says when
// it cannot, and that a real card as the synthesizer silences it.
#include <gtest/gtest.h>

#include "app/AppFixture.h"
#include "application/EmulatorAudio.h"
#include "emulator/Ma1Emulator.h"
#include "support/FakeAudioOutput.h"
#include "synth/FakeMidi.h"

namespace talmeru::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSilentLine = "No audio device: the emulator plays silently.";

TEST(EmulatorAudioTest, PlaysWhenTheOutputOpensAndSaysWhyNotOtherwise) {
    struct Case {
        const char* name;
        bool output, devices;
        AudioOpenStatus open;
        const char* startFailure;
        AudioState want;
        const char* line;
    };
    const Case cases[] = {
        {"no audio system", false, false, AudioOpenStatus::kOpen, "", AudioState::kNoDevice,
         kSilentLine},
        {"no device", true, false, AudioOpenStatus::kOpen, "", AudioState::kNoDevice, kSilentLine},
        {"open fails", true, true, AudioOpenStatus::kFailed, "", AudioState::kFailed,
         "The audio output \"Speakers\" failed (device busy): the emulator plays silently."},
        {"start fails", true, true, AudioOpenStatus::kOpen, "no clock", AudioState::kFailed,
         "The audio output \"Speakers\" failed (no clock): the emulator plays silently."},
        {"plays", true, true, AudioOpenStatus::kOpen, "", AudioState::kPlaying, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto fake = std::make_unique<FakeAudioOutput>();
        FakeAudioOutput* out = fake.get();
        if (!c.devices) out->devices.clear();
        out->openStatus = c.open;
        out->startFailure = c.startFailure;
        out->deviceRate = 48000;
        EmulatorAudio audio(emulator::Ma1Emulator::Create(),
                            c.output ? std::move(fake) : std::unique_ptr<AudioOutput>());
        const AudioStatus& s = audio.Play({"", 44100, 128});
        EXPECT_EQ(s.state, c.want);
        EXPECT_EQ(AudioStatusLine(s), c.line);
        EXPECT_EQ(audio.Playing(), c.want == AudioState::kPlaying);
        if (!c.output) continue;
        EXPECT_EQ(out->Running(), audio.Playing());
        if (c.want != AudioState::kPlaying) continue;
        // The device's rate, not the one asked for; every sample of a buffer comes from the
        // emulator.
        EXPECT_EQ(s.sampleRate, 48000);
        EXPECT_EQ(s.bufferFrames, 128);
        EXPECT_TRUE(out->Pull(128));
        audio.Stop();
        EXPECT_FALSE(out->Running());
        EXPECT_EQ(audio.Status().state, AudioState::kOff);
    }
}

class AudioAppTest : public AppTest {};

TEST_F(AudioAppTest, TheEmulatorAsSynthesizerPlaysAndIsReopenedOnlyWhenAsked) {
    auto fake = std::make_unique<FakeAudioOutput>();
    FakeAudioOutput* out = fake.get();
    audio = std::move(fake);
    Make();
    ASSERT_TRUE(app->Synth().PlaysOnEmulator());
    EXPECT_EQ(app->Synth().UpdateAudio({"Headphones", 96000, 512}, false).state,
              AudioState::kPlaying);
    EXPECT_EQ(out->opened, "Headphones");
    EXPECT_EQ(out->last.sampleRate, 96000);
    EXPECT_EQ(out->last.bufferFrames, 512);
    EXPECT_TRUE(out->Pull(512));
    // Playing already: only a changed setting opens it again.
    app->Synth().UpdateAudio({"Speakers", 44100, 256}, false);
    EXPECT_EQ(out->opens, 1);
    app->Synth().UpdateAudio({"Speakers", 44100, 256}, true);
    EXPECT_EQ(out->opens, 2);
    EXPECT_EQ(out->opened, "Speakers");
    EXPECT_TRUE(out->Running());
    // A stream that stopped by itself (its device gone) is no longer playing, so the next
    // update opens it again.
    out->Close();
    EXPECT_FALSE(app->Synth().Audio().Playing());
    app->Synth().UpdateAudio({"Speakers", 44100, 256}, false);
    EXPECT_EQ(out->opens, 3);
}

TEST_F(AudioAppTest, ARealCardAsSynthesizerLeavesTheEmulatorUnheard) {
    fs::copy_file(CacheSource(), Dir() / "Rombank0103.pbf");
    emu = emulator::Ma1Emulator::Create({.keepLog = true});
    auto card = std::make_shared<FakeMidiDevices>();
    card->outputs = {"Card Out"};
    card->inputs = {"Card In"};
    AppEnvironment env;
    env.folder = Dir();
    env.emulator = emu;
    env.midi = std::make_unique<MidiSystem>(card);
    env.midi->AddVirtualDevices(emu->Devices());
    auto fake = std::make_unique<FakeAudioOutput>();
    FakeAudioOutput* out = fake.get();
    env.audio = std::move(fake);
    app = std::make_unique<TalmeruApp>(std::move(env));
    app->Synth().Link().SetTickPeriod(std::chrono::milliseconds(1));
    prompter.SetDefault(Answer::Ignore);

    ASSERT_NE(app->Synth().Link().SelectSynthOut(0), kDeviceMissing);
    ASSERT_EQ(app->Synth().Link().SynthOutName(), "Card Out");
    EXPECT_FALSE(app->Synth().PlaysOnEmulator());
    EXPECT_EQ(app->Synth().UpdateAudio({}, true).state, AudioState::kOff);
    EXPECT_EQ(out->opens, 0);
    // Back on the emulator it plays; away again, it stops.
    ASSERT_NE(app->Synth().Link().SelectSynthOut(1), kDeviceMissing);
    EXPECT_EQ(app->Synth().UpdateAudio({}, false).state, AudioState::kPlaying);
    ASSERT_NE(app->Synth().Link().SelectSynthOut(0), kDeviceMissing);
    EXPECT_EQ(app->Synth().UpdateAudio({}, false).state, AudioState::kOff);
    EXPECT_FALSE(out->Running());
}

}  // namespace
}  // namespace talmeru::test
