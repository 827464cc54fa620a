#pragma once
// The modulator editor's logic without a window: the layer list, the modulation tree of the
// current layer, the source popup with its command numbers, the modulator lists by kind and
// what each command changes in the program. The program is looked up by number on every use
// and layers and modulators by index and id, so nothing dangles after a reload.
#include <cstdint>
#include <string>
#include <vector>

#include "model/Program.h"

namespace talmeru {

class BankEdits;
class ZedoDatabase;

// Popup command numbers; the low byte carries the source byte or the FUN operator.
inline constexpr int kCmdUseSource = 0x2400;
inline constexpr int kCmdNewProgramFun = 0x2500;
inline constexpr int kCmdNewProgramEnv = 0x25FE;
inline constexpr int kCmdNewProgramLfo = 0x25FF;
inline constexpr int kCmdNewLayerFun = 0x2600;
inline constexpr int kCmdNewLayerEnv = 0x26FE;
inline constexpr int kCmdNewLayerLfo = 0x26FF;
inline constexpr int kCmdRemoveEntry = 0x2800;
// The modulator lists' menus.
inline constexpr int kCmdFindInstances = 0x2900;
inline constexpr int kCmdDeleteModulator = 0x2901;
inline constexpr int kCmdNewListProgram = 0x2902;
inline constexpr int kCmdNewListLayer = 0x2903;

// Tree images.
inline constexpr int kImageBlock = 0;
inline constexpr int kImagePrompt = 1;
inline constexpr int kImageEnv = 3;
inline constexpr int kImageFun = 4;
inline constexpr int kImageLfo = 5;
inline constexpr int kImageSource = 6;
inline constexpr int kImageConstant = 7;
inline constexpr int kImageInvalid = 13;
inline constexpr int kImageBaseDepth = 14;
inline constexpr int kImageAdjustedDepth = 15;
inline constexpr int kImageCount = 16;

// New modulation entries: control from the popup, the constant 1.0 adjusting depths of 20.
inline constexpr int kNewEntryDepth = 20;

// A modulator named by its owner (program or current layer) and id.
struct ModRef {
    int owner = kProgramModulator;
    int id = -1;
    bool Valid() const { return id >= 0; }
    bool operator==(const ModRef&) const = default;
};

// Where a source byte lives in the current layer or its program.
struct SourceSlot {
    enum Kind { kNone, kEntryControl, kEntryDepthAdjust, kFixedControl, kModulatorInput };
    Kind kind = kNone;
    int block = -1;  // entries and fixed controls
    int entry = -1;
    ModRef holder;  // modulator inputs
    int input = -1;
    bool operator==(const SourceSlot&) const = default;
};

enum class TreeRole { kPrompt, kBlock, kSource, kBaseDepth, kAdjustedDepth };

struct ModTreeItem {
    std::string text;
    int image = kImageSource;
    TreeRole role = TreeRole::kSource;
    int block = -1;          // the block the item lies under (-1 for the prompt)
    int entry = -1;          // the modulation entry it lies under, -1 for none
    bool entryItem = false;  // the entry's own item (its control source)
    SourceSlot source;       // for source items
    ModRef names;            // the modulator a source item names, if it resolves
    std::vector<ModTreeItem> children;
};

struct LayerListRow {
    int index = 0;
    std::string number;     // "%d"
    std::string direction;  // "<--" with layer flag 0x10, else "-->"
    std::string keymap;     // the keymap's name, or "invalid"
    bool current = false;
};

struct MenuItem {
    std::string text;
    std::string detail;  // a source choice's range text
    int command = 0;     // 0 for a popup or a separator
    bool enabled = true;
    bool separator = false;
    bool popup = false;
    std::vector<MenuItem> items;
};

// "%s = ..." for the source byte, resolved in the layer (holder: the modulator whose input
// it is, which decides whether layer modulators resolve).
std::string SourceItemText(const std::string& label, uint8_t code, const Layer& layer,
                           const Modulator* holder);
// "P"/"L", id and kind name: "P0 ENV".
std::string ModulatorTag(const Modulator& m);
// The LFO display's curve: the shape's value (-1..1) after the given number of cycles,
// started at the phase (steps of 22.5 degrees); 0 for an unknown shape.
double LfoWaveValue(int shape, int phase, double cycles);

class ModulatorEditing {
  public:
    explicit ModulatorEditing(BankEdits& edits) : edits_(edits) {}

    // Another program clears the current layer; the same one keeps what still exists.
    void SetProgram(int number);
    int ProgramNumber() const { return program_; }
    Program* CurrentProgram() const;
    // Right halves of stereo pairs are refused (their left half is edited instead).
    bool SetLayer(int index);
    int LayerIndex() const;
    Layer* CurrentLayer() const;

    std::vector<LayerListRow> LayerRows() const;
    const std::vector<ModTreeItem>& Tree() const { return tree_; }
    void RebuildTree();
    // Follows child indexes from the top; nullptr when the path leads nowhere.
    const ModTreeItem* ItemAt(const std::vector<int>& path) const;
    // The path of the block item (0 Pitch, 1 Filter #1, 2 Filter #2, 3 Amp).
    static std::vector<int> BlockPath(int block);

    // The right-button menu for the item (nullptr: no item).
    std::vector<MenuItem> SourceMenu(const ModTreeItem* item) const;
    // Runs a popup command on the item; 0 when the program changed.
    int Command(int command, const ModTreeItem* item);
    // Sets a depth item's value; 0 when it changed.
    int SetDepth(const ModTreeItem& item, int value);

    // The modulators of a kind: the program's, then the current layer's.
    std::vector<ModRef> ModulatorsOf(ModulatorKind kind) const;
    Modulator* Find(const ModRef& ref) const;
    ModRef Selected(ModulatorKind kind) const;
    void Select(ModulatorKind kind, ModRef ref);
    std::vector<MenuItem> ListMenu(ModulatorKind kind) const;
    // Find All Instances gives its paths in found; 0 when the command did something.
    int ListCommand(ModulatorKind kind, int command,
                    std::vector<std::vector<int>>* found = nullptr);
    std::vector<std::vector<int>> FindInstances(const ModRef& ref) const;

    // After an edit of the current layer or program: the right half follows a left half, the
    // program is recorded as changed.
    void Changed();

  private:
    void AfterSourceChange();
    int NewModulator(int command, ModRef* made);
    void Validate();

    BankEdits& edits_;
    int program_ = -1;
    int layer_ = -1;
    ModRef selected_[3];
    std::vector<ModTreeItem> tree_;
};

}  // namespace talmeru
