#include "app/BrowserTree.h"

#include "application/UndoHistory.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "application/TalmeruApp.h"
#include "editors/insert/InsertObjects.h"
#include "model/Modulator.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

std::string ModulatorLabel(char owner, const Modulator* m) {
    return m ? Fmt("%c%d %s", owner, m->Id(), m->KindName()) : "Bad name";
}

BrowserNode ProgramNode(const Program& p, const ProgramNumbering& numbering) {
    BrowserNode node{ObjectLabel(p, numbering), kImageProgram, {kTypeProgram, p.Number()}, {}};
    for (const auto& layer : p.Layers()) {
        BrowserNode l{layer->DisplayName(), kImageLayer, {}, {}};
        for (const auto& m : layer->Modulators())
            l.children.push_back({ModulatorLabel('L', m.get()), kImageModulator, {}, {}});
        node.children.push_back(std::move(l));
    }
    for (const auto& m : p.Modulators())
        node.children.push_back({ModulatorLabel('P', m.get()), kImageModulator, {}, {}});
    return node;
}

BrowserNode KeymapNode(const ZedoDatabase& bank, const Keymap& k) {
    BrowserNode node{ObjectLabel(k), kImageKeymap, {kTypeKeymap, k.Number()}, {}};
    for (const KeymapEntry& e : k.entries) {
        if (const SampleHeader* s = bank.GetSampleHeader(e.sample))
            node.children.push_back(
                {ObjectLabel(*s), kImageSample, {kTypeSampleHeader, e.sample}, {}});
        else
            node.children.push_back({"Empty/Bad sample", kImageSample, {}, {}});
    }
    return node;
}

const char* KindText(int type) {
    switch (type) {
        case kTypeKeymap:
            return "Keymap";
        case kTypeSampleHeader:
            return "Sample";
        default:
            return "Program";
    }
}

}  // namespace

std::string ObjectLabel(const BankObject& object, const ProgramNumbering& numbering) {
    if (object.Number() == -1) return object.Name();
    if (object.KindNumber() == 0)
        return Fmt("%s-%s", Program::NumberText(object.Number(), numbering).c_str(),
                   object.Name().c_str());
    return Fmt("%d-%s", object.Number(), object.Name().c_str());
}

std::vector<BrowserNode> BuildBrowserTree(const ZedoDatabase& bank,
                                          const ProgramNumbering& numbering) {
    std::vector<BrowserNode> groups{{"Programs", kImageProgram, {}, {}},
                                    {"Keymaps", kImageKeymap, {}, {}},
                                    {"Samples", kImageSample, {}, {}}};
    for (int n = 0; n < kSlotCount; ++n) {
        if (const Program* p = bank.GetProgram(n))
            groups[0].children.push_back(ProgramNode(*p, numbering));
        if (const Keymap* k = bank.GetKeymap(n)) groups[1].children.push_back(KeymapNode(bank, *k));
        if (const SampleHeader* s = bank.GetSampleHeader(n))
            groups[2].children.push_back(
                {ObjectLabel(*s), kImageSample, {kTypeSampleHeader, n}, {}});
    }
    return groups;
}

std::vector<BrowserNode> FilterBrowserTree(std::vector<BrowserNode> groups,
                                           const std::string& text) {
    if (text.empty()) return groups;
    auto lower = [](std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    const std::string wanted = lower(text);
    for (BrowserNode& group : groups)
        std::erase_if(group.children, [&](const BrowserNode& node) {
            return lower(node.text).find(wanted) == std::string::npos;
        });
    return groups;
}

namespace {

// "12-Piano: Layer #0, Layer #1" for every program with layers on the keymap.
void AddLayersOn(const ZedoDatabase& bank, int keymap, const ProgramNumbering& numbering,
                 const std::string& prefix, std::vector<std::string>& out) {
    for (int n = 0; n < kSlotCount; ++n) {
        const Program* p = bank.GetProgram(n);
        if (!p) continue;
        std::string layers;
        for (const auto& layer : p->Layers())
            if (layer->keymap == keymap) layers += (layers.empty() ? "" : ", ") + layer->DisplayName();
        if (!layers.empty()) out.push_back(prefix + ObjectLabel(*p, numbering) + ": " + layers);
    }
}

}  // namespace

std::vector<std::string> UsedBy(const ZedoDatabase& bank, ObjectRef ref,
                                const ProgramNumbering& numbering) {
    std::vector<std::string> out;
    if (ref.type == kTypeKeymap) AddLayersOn(bank, ref.number, numbering, "", out);
    if (ref.type != kTypeSampleHeader) return out;
    for (int n = 0; n < kSlotCount; ++n) {
        const Keymap* k = bank.GetKeymap(n);
        if (!k || std::none_of(k->entries.begin(), k->entries.end(),
                               [&](const KeymapEntry& e) { return e.sample == ref.number; }))
            continue;
        const size_t before = out.size();
        AddLayersOn(bank, n, numbering, "Keymap " + ObjectLabel(*k) + " in ", out);
        // A keymap no program plays still holds the sample.
        if (out.size() == before) out.push_back("Keymap " + ObjectLabel(*k) + " (no program)");
    }
    return out;
}

int KeymapUsers(const ZedoDatabase& bank, int keymap) {
    int users = 0;
    for (int n = 0; n < kSlotCount; ++n)
        if (const Program* p = bank.GetProgram(n))
            for (const auto& layer : p->Layers())
                if (layer->keymap == keymap) ++users;
    return users;
}

int SampleUsers(const ZedoDatabase& bank, int sample) {
    int users = 0;
    for (int n = 0; n < kSlotCount; ++n)
        if (const Keymap* k = bank.GetKeymap(n))
            for (const KeymapEntry& e : k->entries)
                if (e.sample == sample) ++users;
    return users;
}

SampleHeader* DuplicateSampleHeader(ZedoDatabase& bank, int n) {
    SampleHeader* source = bank.GetSampleHeader(n);
    if (!source) return nullptr;
    auto* partner =
        source->stereoRole == kStereoLeft ? dynamic_cast<SampleHeader*>(source->chained) : nullptr;
    // Both slots are found before anything is made: a copy once made has been announced to
    // the synthesizer and cannot quietly be taken back.
    int free = 0;
    for (int slot = 0; slot < kSlotCount; ++slot)
        if (!bank.GetSampleHeader(slot)) ++free;
    if (free < (partner ? 2 : 1)) return nullptr;
    auto copyOf = [&bank](const SampleHeader& from) {
        const int slot = bank.FirstFreeSampleHeader();
        auto c = std::make_unique<SampleHeader>();
        c->CopyFrom(from);
        c->SetNumber(slot);
        c->SetName(bank.MakeUniqueName(kTypeSampleHeader, from.Name()));
        c->chained = nullptr;
        c->marked = false;
        SampleHeader* made = c.get();
        bank.PutSampleHeader(std::move(c));
        if (WaveData* w = made->Wave()) w->AddUser(slot, bank.Link());
        return made;
    };
    SampleHeader* left = copyOf(*source);
    if (partner) {
        PairStereo(*left, *copyOf(*partner));
    } else {
        // Half a pair copied alone is a sample of its own.
        left->stereoRole = kMono;
    }
    return left;
}

BrowserCommands::BrowserCommands(TalmeruApp& app, InsertAsker& ask, BrowserEditors& editors)
    : app_(app), ask_(ask), editors_(editors) {}

BankObject* BrowserCommands::Find(ObjectRef ref) const {
    return ref.IsObject() ? app_.Bank().GetObject(ref.type, ref.number) : nullptr;
}

bool BrowserCommands::CanChange(ObjectRef ref) const {
    return Find(ref) && app_.Editable();
}

void BrowserCommands::Select(ObjectRef ref) {
    if (ref.type != kTypeProgram || !Find(ref) || app_.Editing().CurrentNumber() == ref.number)
        return;
    app_.SelectProgram(app_.Bank().GetProgram(ref.number), true);
}

void BrowserCommands::Activate(ObjectRef ref) {
    if (!Find(ref)) return;
    if (ref.type == kTypeProgram)
        app_.SelectProgram(app_.Bank().GetProgram(ref.number), true);
    else if (ref.type == kTypeSampleHeader)
        editors_.OpenSampleEditor(ref.number);
}

void BrowserCommands::OpenEditor(ObjectRef ref) {
    if (!Find(ref)) return;
    switch (ref.type) {
        case kTypeProgram:
            // The layer editor shows the current program.
            app_.SelectProgram(app_.Bank().GetProgram(ref.number), true);
            editors_.OpenLayerEditor();
            break;
        case kTypeKeymap:
            editors_.OpenKeymapEditor(ref.number);
            break;
        case kTypeSampleHeader:
            editors_.OpenSampleEditor(ref.number);
            break;
        default:
            break;
    }
}

bool BrowserCommands::Rename(ObjectRef ref) {
    if (!CanChange(ref)) return false;
    InsertCommands commands(app_, ask_);
    return commands.Rename(ref.type, ref.number);
}

bool BrowserCommands::Delete(ObjectRef ref) {
    EditStep undoStep(app_, "Delete");
    if (!CanChange(ref)) return false;
    ZedoDatabase& bank = app_.Bank();
    const BankObject* o = Find(ref);
    const int users = ref.type == kTypeKeymap         ? KeymapUsers(bank, ref.number)
                      : ref.type == kTypeSampleHeader ? SampleUsers(bank, ref.number)
                                                      : 0;
    if (users > 0 &&
        !AskYesNo(Fmt(ref.type == kTypeKeymap
                          ? "%s %d \"%s\" is played by %d layer(s), which will fall silent. "
                            "Delete it anyway?"
                          : "%s %d \"%s\" is played by %d keymap entry(s), which will fall "
                            "silent. Delete it anyway?",
                      KindText(ref.type), ref.number, o->Name().c_str(), users)))
        return false;
    // The wait cursor, once the question (if any) is answered.
    ask_.Working(true);
    // The object may be waiting to be sent: the pending list must not outlive it.
    app_.FlushPendingEdits();
    const bool wasCurrent =
        ref.type == kTypeProgram && app_.Editing().CurrentNumber() == ref.number;
    if (wasCurrent) app_.SelectProgram(nullptr, false);
    const int rc = ref.type == kTypeSampleHeader ? bank.DeleteSampleHeader(ref.number)
                                                 : bank.DeleteObject(Find(ref));
    if (rc != 0) {
        ask_.Working(false);
        ShowMessage(Fmt("The synthesizer did not delete %s #%d; it stays in the bank.",
                        KindText(ref.type), ref.number));
        if (wasCurrent) app_.SelectProgram(bank.GetProgram(ref.number), true);
        return false;
    }
    bank.SetModified(true);
    app_.Refresh(kHintAll);
    ask_.Working(false);
    return true;
}

int BrowserCommands::Duplicate(ObjectRef ref) {
    EditStep undoStep(app_, "Duplicate");
    if (!CanChange(ref)) return -1;
    ZedoDatabase& bank = app_.Bank();
    BankObject* copy = nullptr;
    RefreshHint hint = kHintAll;
    switch (ref.type) {
        case kTypeKeymap:
            copy = bank.DuplicateKeymap(ref.number, true);
            if (!copy) ShowMessage("No free keymap space");
            hint = kHintKeymaps;
            break;
        case kTypeSampleHeader:
            copy = DuplicateSampleHeader(bank, ref.number);
            if (!copy) ShowMessage("No free sample space");
            hint = kHintSamples;
            break;
        case kTypeProgram: {
            // Only the program is marked: the copy plays the keymaps the program plays.
            bank.ClearMarks();
            Program* source = bank.GetProgram(ref.number);
            source->marked = true;
            copy = bank.DuplicateMarked(*source, true);
            source->marked = false;
            if (!copy) ShowMessage("No free program space");
            hint = kHintPrograms;
            break;
        }
        default:
            break;
    }
    if (!copy) return -1;
    // The copies reach the synthesizer with the next flush (a right half follows its left).
    copy->marked = false;
    if (copy->chained) copy->chained->marked = false;
    app_.Changed(*copy);
    app_.Refresh(hint);
    return copy->Number();
}

}  // namespace talmeru
