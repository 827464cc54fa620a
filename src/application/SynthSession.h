#pragma once
// The synthesizer side of the application: the MIDI devices and the link over them, the
// emulator and where it is heard, and the audition settings (channel, velocity, input) that
// every note and program change played from the windows goes by. It knows no bank: what is
// sent, and when, is the application's to decide.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "application/EmulatorAudio.h"
#include "platform/AudioOutput.h"
#include "platform/MidiSystem.h"
#include "platform/Profile.h"
#include "synth/MidiSynthLink.h"

namespace talmeru {

class EventPump;
namespace emulator {
class Ma1Emulator;
}

inline constexpr int kDefaultSampleRamMiB = 16;

// A key pressed or released on an audition input.
struct IncomingNote {
    int channel = 0;
    int key = 0;
    bool pressed = false;
    bool operator==(const IncomingNote&) const = default;
};

class SynthSession {
  public:
    // Chooses the devices by the settings and, when a synthesizer answers, starts the audition
    // input as the settings say. The settings outlive the session.
    SynthSession(Profile& settings, std::unique_ptr<MidiSystem> midi,
                 std::shared_ptr<emulator::Ma1Emulator> emulator,
                 std::unique_ptr<AudioOutput> audio, EventPump* pump);
    ~SynthSession();
    SynthSession(const SynthSession&) = delete;
    SynthSession& operator=(const SynthSession&) = delete;

    MidiSynthLink& Link() { return *link_; }
    const MidiSynthLink& Link() const { return *link_; }

    int AuditionVelocity() const { return velocity_; }
    int AuditionChannel() const { return channel_; }
    bool AuditionInEnabled() const { return auditionIn_; }
    void SetAuditionVelocity(int v);
    // False when the channel was already the audition channel.
    bool SetAuditionChannel(int channel);
    void SetAuditionInEnabled(bool on);
    void SetThru(bool on);

    // A channel message on the audition channel.
    void SendShort(uint8_t status, uint8_t data1, uint8_t data2);
    // Bank select and program change for a program number on the audition channel.
    void SendProgram(int number);
    // A registered (controllers 101/100) or non-registered (99/98) parameter number, then its
    // value as data entry (controller 6), on the audition channel.
    void SendRpn(uint8_t msb, uint8_t lsb, uint8_t value);
    void SendNrpn(uint8_t msb, uint8_t lsb, uint8_t value);
    // A key of the audition channel at the audition velocity, or its release.
    void PlayKey(int key, bool down);
    // A system reset's stop, then all sounds and controllers off on every channel.
    void AllNotesOff();

    // The notes that arrived on the audition input since the last call; other messages go.
    std::vector<IncomingNote> TakeIncomingNotes();
    // Called on the MIDI thread when audition messages wait.
    void SetIncomingNotify(std::function<void()> notify);

    // The emulator's sample RAM in MiB: a setting, 16 by default, from none (a card without
    // RAM) to what the machine has.
    int SampleRamMiB() const;
    // Stores the setting and resizes the emulator's RAM; false when nothing changed there.
    bool SetSampleRamMiB(int mib);
    static int MaxSampleRamMiB();

    // The emulator's sound.
    EmulatorAudio& Audio() { return *audio_; }
    // True while the emulator is the synthesizer that the link plays.
    bool PlaysOnEmulator() const;
    // Plays the emulator on the audio output with config when it is the synthesizer, and
    // stops the output when it is not. An output already playing is opened anew only when
    // reopen is set.
    const AudioStatus& UpdateAudio(const AudioConfig& config, bool reopen);

    // The status bar's gauges and the About box's lines.
    std::string SampleGauge() const;
    std::string ProgramGauge() const;
    std::vector<std::string> AboutLines() const;

  private:
    void ReadAudition();

    Profile& settings_;
    std::shared_ptr<emulator::Ma1Emulator> emulator_;
    std::unique_ptr<MidiSystem> midi_;
    std::unique_ptr<MidiSynthLink> link_;
    std::unique_ptr<EmulatorAudio> audio_;  // stops before the emulator goes
    int velocity_ = 96;
    int channel_ = 0;
    bool auditionIn_ = true;
    std::mutex notifyMutex_;
    std::function<void()> incomingNotify_;
};

}  // namespace talmeru
