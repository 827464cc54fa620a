#pragma once
// The object browser's logic: the tree it shows for a bank, and what its commands change.
// Tree items name objects by type and number and are looked up on use, so that a reload or
// a deletion never leaves the browser holding a pointer to an object that has gone.
#include <string>
#include <vector>

#include "application/BankEdits.h"
#include "model/Program.h"

namespace talmeru {

class BankObject;
class InsertAsker;
class SampleHeader;
class TalmeruApp;
class ZedoDatabase;

// A bank object named by type (kTypeKeymap, kTypeSampleHeader, kTypeProgram) and number;
// type 0 names nothing (group, layer and modulator items).
struct ObjectRef {
    int type = 0;
    int number = -1;
    bool IsObject() const { return type != 0; }
    bool operator==(const ObjectRef&) const = default;
};

// The browser's images, in the order of its image list.
enum BrowserImage : int {
    kImageKeymap = 0,
    kImageSample = 1,
    kImageProgram = 2,
    kImageLayer = 3,
    kImageModulator = 4,
};

struct BrowserNode {
    std::string text;
    int image = 0;
    ObjectRef object;
    std::vector<BrowserNode> children;
};

// "%d-%s" with the number and name; the name alone for an object without a number. A
// program's number is written as the numbering setting writes it everywhere else.
std::string ObjectLabel(const BankObject& object, const ProgramNumbering& numbering = {});

// The three groups "Programs", "Keymaps" and "Samples" with their contents, in number order.
std::vector<BrowserNode> BuildBrowserTree(const ZedoDatabase& bank,
                                          const ProgramNumbering& numbering = {});

// The groups with only the objects whose label holds `text` (letter case aside), each with
// what it holds; everything for an empty text.
std::vector<BrowserNode> FilterBrowserTree(std::vector<BrowserNode> groups, const std::string& text);

// What plays a keymap (the programs and their layers on it) or a sample header (the keymaps
// that hold it, each with the layers on that keymap), a line each; empty when nothing does.
std::vector<std::string> UsedBy(const ZedoDatabase& bank, ObjectRef ref,
                                const ProgramNumbering& numbering = {});

// The layers that play keymap n, and the keymap entries that play sample header n.
int KeymapUsers(const ZedoDatabase& bank, int keymap);
int SampleUsers(const ZedoDatabase& bank, int sample);

// Copies sample header n (and the right half of a left half, the copies paired) into the
// lowest free slots with unique names; the copies share the source's wave data, and the
// synthesizer learns of each new user of RAM wave data at once. The first copy, or nullptr
// when there is no such header or not enough free slots (then nothing changes).
SampleHeader* DuplicateSampleHeader(ZedoDatabase& bank, int n);

// The editors the browser opens.
class BrowserEditors {
  public:
    virtual ~BrowserEditors() = default;
    // The layer editor on the current program.
    virtual void OpenLayerEditor() = 0;
    virtual void OpenKeymapEditor(int number) = 0;
    virtual void OpenSampleEditor(int number) = 0;
};

class BrowserCommands {
  public:
    BrowserCommands(TalmeruApp& app, InsertAsker& ask, BrowserEditors& editors);

    // The object in the current bank, or nullptr.
    BankObject* Find(ObjectRef ref) const;
    // Rename, Delete and Duplicate: the object exists and the bank can be edited.
    bool CanChange(ObjectRef ref) const;
    bool CanOpenEditor(ObjectRef ref) const { return Find(ref) != nullptr; }

    // A click (or the arrow keys): a program becomes current.
    void Select(ObjectRef ref);
    // Double-click: a program becomes current, a sample header opens in the sample editor.
    void Activate(ObjectRef ref);
    // The editor of the object: the layer editor on a program (made current first), the
    // keymap editor or the sample editor.
    void OpenEditor(ObjectRef ref);
    // A program goes through the rename/renumber dialog, other objects through the name
    // dialog. True when anything changed.
    bool Rename(ObjectRef ref);
    // Deletes the object from the bank and the synthesizer; a keymap or sample header that
    // others still play is deleted only when the user agrees. True when it went.
    bool Delete(ObjectRef ref);
    // The copy's number, or -1.
    int Duplicate(ObjectRef ref);

  private:
    TalmeruApp& app_;
    InsertAsker& ask_;
    BrowserEditors& editors_;
};

}  // namespace talmeru
