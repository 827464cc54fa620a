#pragma once
// Plays one sample header through the synthesizer while a button is held. The synthesizer
// plays programs only, so a program of its own (one layer per half of a stereo pair, each on
// a keymap giving every key to the header) is stored under numbers that neither the bank nor
// the ROM uses, chosen on the audition channel, and the root key is played on it; letting go
// ends the note, chooses the current program again and deletes the stand-ins. The bank
// itself is never changed, so there is nothing to undo or save.
#include <vector>

namespace talmeru {

class TalmeruApp;

class SampleAudition {
  public:
    explicit SampleAudition(TalmeruApp& app) : app_(app) {}
    ~SampleAudition() { Stop(); }
    SampleAudition(const SampleAudition&) = delete;
    SampleAudition& operator=(const SampleAudition&) = delete;

    // Starts the header's note (any note still sounding ends first): false when the header
    // has no wave data, no numbers are free or the synthesizer refused the stand-ins.
    bool Start(int headerNumber);
    void Stop();
    bool Playing() const { return key_ >= 0; }
    int Key() const { return key_; }
    int ProgramNumber() const { return program_; }

  private:
    void Forget();
    TalmeruApp& app_;
    int key_ = -1;
    int program_ = -1;
    std::vector<int> keymaps_;
};

}  // namespace talmeru
