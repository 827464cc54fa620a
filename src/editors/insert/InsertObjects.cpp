#include "editors/insert/InsertObjects.h"

#include "application/UndoHistory.h"

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "application/TalmeruApp.h"
#include "files/WaveImport.h"
#include "model/BankLink.h"
#include "model/BankTransfer.h"
#include "model/Listers.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

std::vector<ObjectChoice> Choices(const ObjectList& list) {
    std::vector<ObjectChoice> out;
    for (const ListItem& item : list.items)
        out.push_back({item.object->Number(), item.text});
    return out;
}

bool Listed(const std::vector<ObjectChoice>& list, int number) {
    return std::any_of(list.begin(), list.end(),
                       [number](const ObjectChoice& c) { return c.number == number; });
}

// A number typed into a dialog may belong to an object already: replacing it unasked would
// lose it (and leave what refers to it dangling), so the dialog stays open.
bool RefuseTaken(const BankObject* existing, const char* kind) {
    if (!existing) return false;
    ShowMessage(Fmt("%s #%d \"%s\" already exists. Please choose a free Id.", kind,
                    existing->Number(), existing->Name().c_str()));
    return true;
}

// The name of the right half of a stereo keymap named `left`: its final "L" becomes "R",
// otherwise "R" is added.
std::string RightHalfName(const ZedoDatabase& db, const std::string& left) {
    std::string base = left;
    if (!base.empty() && base.back() == 'L') base.pop_back();
    base = base.substr(0, kNameLength - 1) + "R";
    return db.MakeUniqueName(kTypeKeymap, base);
}

// A keymap playing one sample header over all 128 keys.
void PlayEverywhere(Keymap& k, int sample) {
    k.entries.clear();
    const size_t i = k.MakeRange(0, 127);
    k.entries[i].sample = sample;
}

}  // namespace

bool ValidObjectName(const std::string& name) {
    return !name.empty() && name.size() <= size_t(kNameLength);
}

bool ValidObjectNumber(int number) {
    return number >= 0 && number < kSlotCount;
}

bool CheckNameAndNumber(const std::string& name, int number) {
    if (name.size() > size_t(kNameLength)) {
        ShowMessage(kNameTooLong);
        return false;
    }
    if (!ValidObjectNumber(number)) {
        ShowMessage(kNumberOutOfRange);
        return false;
    }
    return !name.empty();
}

// ---- New Program

NewProgramForm::NewProgramForm(const ZedoDatabase& db) : db_(db) {}

bool NewProgramForm::Open() {
    id = db_.FirstFreeProgram();
    if (id < 0) {
        ShowMessage("No free program space");
        return false;
    }
    return true;
}

bool NewProgramForm::Accept() {
    if (!CheckNameAndNumber(name, id)) return false;
    if (const Program* p = db_.GetProgram(id);
        p && !AskYesNo(Fmt("Replace current Program #%d \"%s\"?", id, p->Name().c_str())))
        return false;
    // The program being replaced gives its name up with its number.
    for (int n = 0; n < kSlotCount; ++n) {
        const Program* p = db_.GetProgram(n);
        if (p && n != id && p->Name() == name) {
            ShowMessage(
                Fmt("The name \"%s\" is already in use by program #%d. Please choose a "
                    "unique program name.",
                    name.c_str(), n));
            return false;
        }
    }
    return true;
}

// ---- New Keymap

NewKeymapForm::NewKeymapForm(const ZedoDatabase& db, std::optional<bool> forcedStereo)
    : db_(db), forced_(forcedStereo), stereo_(forcedStereo.value_or(false)) {}

bool NewKeymapForm::Open() {
    id = db_.FirstFreeKeymap();
    if (id < 0) {
        ShowMessage("Could not create keymap");
        return false;
    }
    Fill();
    if (samples_.empty()) {
        ShowMessage("Please use \"Insert New Sample\" before inserting a new keymap");
        return false;
    }
    return true;
}

void NewKeymapForm::SetStereo(bool on) {
    if (forced_) return;
    stereo_ = on;
    Fill();
}

void NewKeymapForm::Fill() {
    samples_ = Choices(ListSampleHeaders(db_, -1, stereo_ ? kSamplesStereoOnly : kSamplesAll));
    if (!Listed(samples_, sample)) sample = -1;
}

bool NewKeymapForm::Accept() {
    if (!CheckNameAndNumber(name, id) || !Listed(samples_, sample)) return false;
    return !RefuseTaken(db_.GetKeymap(id), "Keymap");
}

// ---- New Layer

NewLayerForm::NewLayerForm(const ZedoDatabase& db) : db_(db) {
    Fill();
    useExisting_ = CanUseExisting();
}

void NewLayerForm::SetStereo(bool on) {
    stereo_ = on;
    Fill();
    if (!CanUseExisting()) useExisting_ = false;
}

void NewLayerForm::Fill() {
    keymaps_ = Choices(ListKeymaps(db_, -1, stereo_));
    if (!Listed(keymaps_, keymap)) keymap = -1;
}

// ---- New Sample

NewSampleForm::NewSampleForm(const ZedoDatabase& db) : db_(db) {
    aliases_ = Choices(ListSampleHeaders(db_, -1, kSamplesAll));
}

bool NewSampleForm::Open() {
    id = db_.FirstFreeSampleHeader();
    if (id < 0) {
        ShowMessage("No free sample space");
        return false;
    }
    return true;
}

bool NewSampleForm::ChoosePath(const std::string& chosen) {
    path = chosen;
    if (!name.empty() || chosen.empty()) return false;
    name = db_.MakeUniqueName(kTypeSampleHeader, StemOf(chosen).substr(0, kNameLength));
    return true;
}

bool NewSampleForm::ChooseAlias(int number) {
    const SampleHeader* s = db_.GetSampleHeader(number);
    aliasOf = s ? number : -1;
    if (!s || !name.empty()) return false;
    name = db_.MakeUniqueName(kTypeSampleHeader, s->Name());
    return true;
}

bool NewSampleForm::CanAccept() const {
    if (name.empty() || id < 0) return false;
    if (source_ == kAlias) return Listed(aliases_, aliasOf);
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

bool NewSampleForm::Accept() {
    if (!CheckNameAndNumber(name, id) || !CanAccept()) return false;
    return !RefuseTaken(db_.GetSampleHeader(id), "Sample");
}

// ---- Purge

PurgeForm::PurgeForm(ZedoDatabase& db) : db_(db) {}

void PurgeForm::Open() {
    // The marks tell what programs use. Marking also flags every wave data for upload, which
    // would send all sample data again with the next insert: that state is put back.
    struct Flags {
        bool pending[2];
        std::vector<bool> links;
    };
    std::vector<Flags> saved;
    for (int i = 0; i < db_.WaveDataCount(); ++i) {
        const WaveData* w = db_.GetWaveData(i);
        Flags f{{w->uploadPending[0], w->uploadPending[1]}, {}};
        for (const WaveLink& l : w->links)
            f.links.push_back(l.pending);
        saved.push_back(std::move(f));
    }
    db_.MarkForSync();
    keymaps_.clear();
    samples_.clear();
    for (int n = 0; n < kSlotCount; ++n) {
        if (const Keymap* k = db_.GetKeymap(n); k && !k->marked)
            keymaps_.push_back({n, Fmt("%d - %s", n, k->Name().c_str()), true});
        if (const SampleHeader* s = db_.GetSampleHeader(n); s && !s->marked)
            samples_.push_back({n, Fmt("%d - %s", n, s->Name().c_str()), true});
    }
    db_.ClearMarks();
    for (int i = 0; i < db_.WaveDataCount(); ++i) {
        WaveData* w = db_.GetWaveData(i);
        const Flags& f = saved[size_t(i)];
        w->uploadPending[0] = f.pending[0];
        w->uploadPending[1] = f.pending[1];
        for (size_t l = 0; l < w->links.size() && l < f.links.size(); ++l)
            w->links[l].pending = f.links[l];
    }
}

int PurgeForm::TickedCount() const {
    auto ticked = [](const std::vector<Line>& lines) {
        return int(
            std::count_if(lines.begin(), lines.end(), [](const Line& l) { return l.ticked; }));
    };
    return ticked(keymaps_) + ticked(samples_);
}

int PurgeForm::Purge(const std::function<void(const std::string&)>& before,
                     const std::function<void()>& step) {
    int deleted = 0;
    for (const Line& line : keymaps_) {
        if (!line.ticked) continue;
        if (Keymap* k = db_.GetKeymap(line.number)) {
            if (before) before(k->Name());
            if (db_.DeleteObject(k) == 0) ++deleted;
        }
        if (step) step();
    }
    for (auto it = samples_.rbegin(); it != samples_.rend(); ++it) {
        if (!it->ticked) continue;
        if (const SampleHeader* s = db_.GetSampleHeader(it->number)) {
            if (before) before(s->Name());
            if (db_.DeleteSampleHeader(it->number) == 0) ++deleted;
        }
        if (step) step();
    }
    return deleted;
}

// ---- Commands

InsertCommands::InsertCommands(TalmeruApp& app, InsertAsker& ask) : app_(app), ask_(ask) {}

ZedoDatabase& InsertCommands::Bank() const {
    return app_.Bank();
}

bool InsertCommands::CanInsertProgram() const {
    return app_.Editable() && Bank().FirstFreeProgram() >= 0;
}

bool InsertCommands::CanInsertLayer() const {
    return app_.Editable() && app_.Editing().CurrentProgram();
}

bool InsertCommands::CanInsertKeymap() const {
    return app_.Editable() && Bank().FirstFreeKeymap() >= 0;
}

bool InsertCommands::CanInsertSample() const {
    return app_.Editable() && Bank().FirstFreeSampleHeader() >= 0;
}

bool InsertCommands::CanRenumber() const {
    return app_.Editable() && app_.Editing().CurrentProgram();
}

int InsertCommands::NewProgram() {
    EditStep undoStep(app_, "New Program");
    if (!app_.Editable()) return -1;
    NewProgramForm form(Bank());
    if (!form.Open() || !ask_.AskNewProgram(form)) return -1;
    // The program replaced may be current or waiting to be sent: nothing may point at it.
    app_.FlushPendingEdits();
    Program* p = Bank().CreateProgram(form.name, form.id);
    if (!p) {
        ShowMessage("Could not create program");
        return -1;
    }
    app_.SelectProgram(p, true);
    app_.Changed(*p);
    app_.Refresh(kHintPrograms);
    ask_.ShowProgram(form.id);
    return form.id;
}

int InsertCommands::NewKeymap(std::optional<bool> forcedStereo) {
    EditStep undoStep(app_, "New Keymap");
    if (!app_.Editable()) return -1;
    NewKeymapForm form(Bank(), forcedStereo);
    if (!form.Open() || !ask_.AskNewKeymap(form)) return -1;
    ZedoDatabase& db = Bank();
    const SampleHeader* header = db.GetSampleHeader(form.sample);
    const BankObject* rightHeader = header && form.Stereo() ? header->chained : nullptr;
    if (!header || (form.Stereo() && !rightHeader)) {
        ShowMessage("Error in selection");
        return -1;
    }
    // The right half needs a slot of its own; finding none after the left one is made would
    // leave half a stereo keymap.
    if (form.Stereo()) {
        int free = 0;
        for (int n = 0; n < kSlotCount && free < 1; ++n)
            if (n != form.id && !db.GetKeymap(n)) ++free;
        if (free < 1) {
            ShowMessage("Could not create right keymap");
            return -1;
        }
    }
    db.ClearMarks();
    Keymap* k = db.CreateKeymap(form.name, form.id);
    if (!k) {
        ShowMessage("Could not create keymap");
        return -1;
    }
    PlayEverywhere(*k, form.sample);
    if (rightHeader) {
        Keymap* right = db.CreateKeymap(RightHalfName(db, form.name), -1);
        PlayEverywhere(*right, rightHeader->Number());
        PairStereo(*k, *right);
        app_.MarkForUpload(*right);
    }
    app_.MarkForUpload(*k);
    db.SetModified(true);
    app_.UploadMarked();
    app_.Refresh(kHintKeymaps);
    return form.id;
}

int InsertCommands::NewLayer() {
    EditStep undoStep(app_, "New Layer");
    if (!app_.Editable()) return -1;
    if (!app_.Editing().CurrentProgram()) return NewProgram();
    const int programNumber = app_.Editing().CurrentNumber();
    NewLayerForm form(Bank());
    if (!ask_.AskNewLayer(form)) return -1;
    const bool stereo = form.Stereo();
    // A full program takes no layer: say so before a new keymap is made for nothing.
    if (const Program* p = Bank().GetProgram(programNumber);
        !p || p->LayerCount() + (stereo ? 2 : 1) > kMaxLayers) {
        ShowMessage("Could not add new layer");
        return -1;
    }
    const int keymapNumber = form.UseExisting() ? form.keymap : NewKeymap(stereo);
    if (keymapNumber < 0) return -1;
    Program* p = Bank().GetProgram(programNumber);
    const Keymap* k = Bank().GetKeymap(keymapNumber);
    Layer* layer = p && k ? p->AddLayer(*k, stereo) : nullptr;
    if (!layer) {
        ShowMessage("Could not add new layer");
        return -1;
    }
    app_.Changed(*p);
    app_.Refresh(kHintLayers);
    // Flushes the edit and announces the program on the edit channel.
    app_.SelectProgram(p, false);
    return layer->Index();
}

int InsertCommands::NewSample() {
    EditStep undoStep(app_, "New Sample");
    if (!app_.Editable()) return -1;
    NewSampleForm form(Bank());
    if (!form.Open() || !ask_.AskNewSample(form)) return -1;
    ZedoDatabase& db = Bank();
    db.ClearMarks();
    SampleHeader* made = nullptr;
    if (form.GetSource() == NewSampleForm::kAlias) {
        const SampleHeader* source = db.GetSampleHeader(form.aliasOf);
        if (!source) {
            ShowMessage("Error in selection");
            return -1;
        }
        auto s = std::make_unique<SampleHeader>();
        s->CopyFrom(*source);
        s->SetName(form.name);
        s->SetNumber(form.id);
        // One half of a stereo pair aliased alone is a sample of its own.
        s->stereoRole = kMono;
        s->chained = nullptr;
        made = s.get();
        db.PutSampleHeader(std::move(s));
        if (WaveData* w = made->Wave()) w->AddUser(form.id, db.Link());
    } else {
        ask_.Working(true);
        try {
            made = ImportWaveAsSample(db, form.path, form.id, kWholeFile, kImportStereoPairs);
        } catch (const ZedoException& e) {
            ask_.Working(false);
            ShowMessage(e.what());
            return -1;
        }
        ask_.Working(false);
        if (!made) {
            ShowMessage("Error loading sample");
            return -1;
        }
        made->SetName(form.name);
        if (made->chained) app_.MarkForUpload(*made->chained);
    }
    app_.MarkForUpload(*made);
    db.SetModified(true);
    app_.UploadMarked();
    app_.Refresh(kHintSamples);
    ask_.ShowSample(form.id);
    return form.id;
}

bool InsertCommands::RenumberCurrent() {
    if (!app_.Editing().CurrentProgram()) {
        ShowMessage("Select a program first");
        return false;
    }
    return RenumberProgram(app_.Editing().CurrentNumber());
}

bool InsertCommands::RenumberProgram(int number) {
    EditStep undoStep(app_, "Renumber Program");
    if (!app_.Editable()) return false;
    const Program* p = Bank().GetProgram(number);
    if (!p) return false;
    RenumberForm form(p->Name(), number);
    if (!ask_.AskRenumber(form)) return false;
    ZedoDatabase& db = Bank();
    p = db.GetProgram(number);
    if (!p || (form.number == number && form.name == p->Name())) return false;
    if (form.number != number) {
        if (const Program* other = db.GetProgram(form.number);
            other && !AskYesNo(Fmt("Replace existing program #%d \"%s\" with \"%s\" ?", form.number,
                                   other->Name().c_str(), form.name.c_str())))
            return false;
    }
    // The program replaced may be waiting to be sent; the one moved is current under its
    // old number.
    app_.FlushPendingEdits();
    const bool wasCurrent = app_.Editing().CurrentNumber() == number;
    Program* moving = db.GetProgram(number);
    moving->SetName(form.name);
    // A move sends the program under its new number and name; one that stays is recorded.
    db.MoveProgram(number, form.number);
    db.SetModified(true);
    const bool moved = db.GetProgram(form.number) == moving;
    if (!moved) {
        ShowMessage(
            Fmt("The synthesizer did not release program #%d; it keeps its number.", number));
        app_.Changed(*moving);
    }
    if (wasCurrent || app_.Editing().CurrentNumber() == form.number)
        app_.SelectProgram(moving, true);
    app_.Refresh(kHintPrograms);
    return true;
}

bool InsertCommands::Rename(int type, int number) {
    EditStep undoStep(app_, "Rename");
    if (type == kTypeProgram) return RenumberProgram(number);
    if (!app_.Editable()) return false;
    const BankObject* o = Bank().GetObject(type, number);
    if (!o) return false;
    std::string name = o->Name();
    for (;;) {
        if (!ask_.AskRename(name) || name.empty()) return false;
        if (name.size() <= size_t(kNameLength)) break;
        ShowMessage(kNameTooLong);
    }
    BankObject* object = Bank().GetObject(type, number);
    if (!object) return false;
    object->SetName(name);
    // Recorded as any edit: the bank becomes unsaved and the synthesizer gets the new name.
    app_.Changed(*object);
    app_.Refresh(kHintAll);
    return true;
}

bool InsertCommands::Purge() {
    EditStep undoStep(app_, "Purge Unused");
    // Objects about to go may be waiting to be sent.
    app_.FlushPendingEdits();
    PurgeForm form(Bank());
    form.Open();
    if (!ask_.AskPurge(form)) return false;
    app_.Refresh(kHintSamples | kHintKeymaps);
    return true;
}

}  // namespace talmeru
