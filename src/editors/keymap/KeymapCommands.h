#pragma once
// What the keymap editor's gestures and commands change in the bank. Objects are named by
// number and looked up on every call; each command reports whether it changed anything.
// A stereo keymap's right half follows every range edit of its left half, so the two
// channels keep playing the same ranges.
#include <cstddef>
#include <optional>
#include <string>

#include "model/Listers.h"

namespace talmeru {

class BankEdits;
class BankObject;
class Keymap;
class Layer;
class ZedoDatabase;

inline constexpr int kAmpSliderMin = -127;
inline constexpr int kAmpSliderMax = 127;
inline constexpr int kAmpSafeMax = 32;

class KeymapCommands {
  public:
    // program: the number of the program being edited (-1: none).
    KeymapCommands(BankEdits& edits, int program) : edits_(edits), program_(program) {}

    // A drag over keys lo..hi (either order) of a row showing layerIndex and keymap, drawn
    // shifted by offset keys. Keeps an undo copy of the keymap, then sets the layer's key
    // range or makes the keys one range of the keymap.
    bool CommitDrag(int layerIndex, int keymap, int mode, int from, int to, int offset);

    bool DeleteRange(int keymap, size_t entry);
    bool SplitRange(int keymap, size_t entry);
    bool SilentRange(int keymap, size_t entry);
    // The entry plays sample header `sample` (and the right half its stereo partner).
    bool ReplaceSample(int keymap, size_t entry, int sample);
    // The amplitude adjustment the slider asks for; above +32 only with fullRange. The
    // value applied, or nothing when the entry does not exist.
    std::optional<int> AdjustAmplitude(int keymap, size_t entry, int value, bool fullRange);
    // The layer plays keymap; a stereo layer's right half plays its partner.
    bool ChooseKeymap(int layerIndex, int keymap);

    // The value the amplitude slider settles on.
    static int AmpSliderValue(int value, bool fullRange);

  private:
    Layer* FindLayer(int layerIndex) const;
    Keymap* Partner(const Keymap& k) const;
    void MarkKeymap(Keymap& k);
    void MarkProgram();

    BankEdits& edits_;
    int program_;
};

// The "Select Sample" dialog's logic: the filter it opens with and the list it shows.
enum SampleView : int { kViewRam = 0, kViewRom = 1, kViewAll = 2 };

class SampleChoice {
  public:
    // current: the range's sample number; stereo: the keymap is a stereo one.
    SampleChoice(const ZedoDatabase& bank, int current, bool stereo);
    int View() const { return view_; }
    bool Stereo() const { return stereo_; }
    void SetView(int view);
    const ObjectList& List() const { return list_; }
    std::string RamLabel() const { return stereo_ ? "Stereo RAM" : "RAM"; }
    // The sample number of list item i, or -1.
    int SampleAt(int i) const;

  private:
    void Fill();
    const ZedoDatabase& bank_;
    int current_;
    bool stereo_;
    int view_ = kViewAll;
    ObjectList list_;
};

// The key range's context menu texts.
std::string AmpMenuText(const std::optional<int>& amp);
std::string EditSampleMenuText(bool hasRange, const std::string& headerName, bool known);

}  // namespace talmeru
