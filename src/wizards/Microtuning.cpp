#include "wizards/Microtuning.h"

#include "application/UndoHistory.h"

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "application/BankEdits.h"
#include "model/Keymap.h"
#include "model/Program.h"
#include "model/ZedoDatabase.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

// Fine-tune steps to the semitone: the field runs -127..127 for -100..+100 cents.
constexpr int kFineSteps = 127;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The keymap entry that plays key, or nullptr.
const KeymapEntry* EntryForKey(const Keymap& keymap, int key) {
    for (const KeymapEntry& e : keymap.entries)
        if (e.topKey >= key) return &e;
    return nullptr;
}

// What Build puts into the bank, made in full before the bank is touched.
struct Plan {
    std::unique_ptr<Program> program;
    std::vector<std::unique_ptr<Keymap>> keymaps;
};

}  // namespace

int Temperament::Notes() const {
    int n = 0;
    for (int v : cents)
        n += v != kNotInScale;
    return n;
}

const std::vector<Temperament>& BuiltInTemperaments() {
    static const std::vector<Temperament> table = {
        {"Equal", {0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000, 1100}},
        {"Pythag", {0, 114, 204, 294, 408, 498, 612, 702, 816, 906, 996, 1110}},
        {"Natural", {0, 112, 204, 316, 386, 498, 603, 702, 814, 884, 1018, 1088}},
        {"Mean tone 1/4 comma Sharp", {0, 76, 193, 269, 386, 504, 580, 697, 773, 890, 1007, 1083}},
        {"Mean tone 1/4 comma Flat", {0, 112, 193, 311, 386, 504, 580, 697, 814, 890, 1007, 1083}},
        {"Mean tone 1/6 comma Sharp", {0, 89, 197, 305, 394, 502, 590, 698, 787, 895, 1003, 1092}},
        {"Mean tone 1/6 comma Flat", {0, 108, 197, 305, 394, 502, 590, 698, 806, 895, 1003, 1092}},
        {"Ordinaire", {0, 77, 193, 290, 386, 504, 580, 696, 775, 890, 996, 1083}},
        {"Persion 1", {0, 130, -1, 345, -1, 490, 630, -1, 850, -1, 1035, 1137}},
        {"Persion 2", {0, 125, -1, 335, -1, 480, 625, -1, 835, -1, 1035, 1115}},
        {"Srinivas", {0, 133, 204, 316, 394, 498, 624, 702, 835, 906, 1018, 1096}},
        {"Bhatkhande", {0, 99, 204, 316, 394, 498, 597, 702, 801, 906, 1018, 1096}},
    };
    return table;
}

Tune DetuneFor(int cents, int pitchClass) {
    const int d = cents - 100 * pitchClass;
    const int coarse = d / 100;  // both divisions truncate toward zero
    return {coarse, (d - 100 * coarse) * kFineSteps / 100};
}

Tune AddTune(Tune base, Tune by) {
    Tune sum{base.coarse + by.coarse, base.fine + by.fine};
    if (sum.fine > kFineSteps) {
        sum.fine -= kFineSteps;
        ++sum.coarse;
    } else if (sum.fine < -kFineSteps) {
        sum.fine += kFineSteps;
        --sum.coarse;
    }
    return sum;
}

TuningFileRead ParseTuningText(std::string_view text) {
    TuningFileRead out;
    size_t at = 0;
    // A byte-order mark from a Windows editor is not part of the first number.
    if (text.starts_with("\xEF\xBB\xBF")) at = 3;
    auto skipBlanks = [&] {
        while (at < text.size() && IsBlank(text[at]))
            ++at;
    };
    auto fail = [&](size_t where) {
        out.ok = false;
        out.position = static_cast<long>(where);
        return out;
    };
    for (;;) {
        skipBlanks();
        if (at >= text.size()) return out;
        Temperament t;
        for (int& value : t.cents) {
            skipBlanks();
            const size_t start = at;
            bool negative = false;
            if (at < text.size() && (text[at] == '-' || text[at] == '+'))
                negative = text[at++] == '-';
            const size_t digits = at;
            long magnitude = 0;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
                // Stop growing past the range; the value is refused below anyway.
                if (magnitude <= kMaxCents) magnitude = magnitude * 10 + (text[at] - '0');
                ++at;
            }
            if (at == digits) return fail(start);
            const long v = negative ? -magnitude : magnitude;
            if (v < kNotInScale || v > kMaxCents) return fail(start);
            value = static_cast<int>(v);
        }
        skipBlanks();
        const size_t nameStart = at;
        while (at < text.size() && text[at] != '\n')
            ++at;
        std::string_view name = text.substr(nameStart, at - nameStart);
        while (!name.empty() && IsBlank(name.back()))
            name.remove_suffix(1);
        if (name.empty()) return fail(nameStart);
        t.name = std::string(name.substr(0, kMaxTemperamentName));
        out.records.push_back(std::move(t));
    }
}

Microtuning::Microtuning() : temperaments_(BuiltInTemperaments()) {}

int Microtuning::LoadTuningFile(const std::string& path) {
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxTuningFileSize) {
        ShowMessage(Fmt("\"%s\" is too large to be a tuning file.", path.c_str()));
        return 0;
    }
    const auto bytes = ec ? std::nullopt : ReadWholeFile(path, kMaxTuningFileSize);
    if (!bytes) {
        ShowMessage(Fmt("Could not open \"%s\".", path.c_str()));
        return 0;
    }
    const TuningFileRead read = ParseTuningText(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    temperaments_.insert(temperaments_.end(), read.records.begin(), read.records.end());
    if (!read.ok) {
        ShowMessage(
            Fmt("Error loading \"%s\" at character position %ld. Probably illegal "
                "character or end of file.",
                path.c_str(), read.position));
    }
    return static_cast<int>(read.records.size());
}

bool Microtuning::TemplateUsable(const Program& program) {
    return program.LayerCount() >= 1 && program.LayerCount() <= 2;
}

std::string Microtuning::ProposedName(const ZedoDatabase& db, const Program& templateProgram) {
    return db.MakeUniqueName(kTypeProgram, templateProgram.Name());
}

std::string Microtuning::ProgramProblem(const ZedoDatabase& db) const {
    if (db.ReadOnly()) {
        return "Bank becomes read-only if the merge wave data option is on.\nYou must turn off "
               "the option (in File|Properties) and reload the bank if you want to make edits.";
    }
    const Program* source = db.GetProgram(templateNumber);
    if (!source) return "Select a program to use as a template";
    if (!TemplateUsable(*source)) return "Template program must be either 1 or 2 layers";
    const int keymap = source->GetLayer(0)->keymap;
    if (!db.GetKeymap(keymap))
        return Fmt("Keymap %d, played by the template program, is not in the bank", keymap);
    if (name.empty()) return "Enter a name for the new program";
    if (name.size() > static_cast<size_t>(kNameLength))
        return Fmt("A program name has at most %d characters", kNameLength);
    if (number < 0 || number >= kSlotCount)
        return Fmt("The program number must be from 0 to %d", kSlotCount - 1);
    if (db.GetProgram(number)) {
        if (db.FirstFreeProgram() < 0)
            return "Every program slot is in use. Delete a program to make room for the new one.";
        return Fmt("Program %d is already in use. Choose a free program number.", number);
    }
    return {};
}

namespace {

// Fills plan with the program and keymaps the choices make; the problem, or empty.
std::string Prepare(const ZedoDatabase& db, const Microtuning& m, Plan& plan) {
    if (std::string problem = m.ProgramProblem(db); !problem.empty()) return problem;
    if (m.temperament < 0 || m.temperament >= static_cast<int>(m.Temperaments().size()))
        return "Select a temperament";
    const Temperament& scale = m.Temperaments()[static_cast<size_t>(m.temperament)];
    const int notes = scale.Notes();
    if (notes == 0) return Fmt("\"%s\" has no notes to make layers of", scale.name.c_str());

    std::vector<int> free;
    for (int n = 0; n < kSlotCount && static_cast<int>(free.size()) < notes; ++n)
        if (!db.GetKeymap(n)) free.push_back(n);
    if (static_cast<int>(free.size()) < notes) {
        return Fmt("Not enough free keymaps: the new program needs %d, the bank has %d", notes,
                   static_cast<int>(free.size()));
    }

    const Program& source = *db.GetProgram(m.templateNumber);
    const Layer& first = *source.GetLayer(0);
    const Keymap& sourceKeymap = *db.GetKeymap(first.keymap);
    const Tune templateTune{first.Pitch().CoarseTune(), first.Pitch().FineTune()};

    // The template's program modulators come along: the copied layers may read them.
    plan.program = source.Clone();
    plan.program->DeleteAllLayers();
    plan.program->SetName(m.name);
    plan.program->SetNumber(m.number);
    const std::string base = sourceKeymap.Name().substr(0, kKeymapBaseLength);
    for (int c = 0; c < kPitchClasses; ++c) {
        const int cents = scale.cents[static_cast<size_t>(c)];
        if (cents == kNotInScale) continue;
        auto keymap = std::make_unique<Keymap>();
        keymap->SetNumber(free[plan.keymaps.size()]);
        keymap->SetName(Fmt("%s-%s", base.c_str(), PitchClassName(c)));
        keymap->entries = {KeymapEntry{127, 0, kNoSample}};
        for (int key = c; key < 128; key += kPitchClasses) {
            const KeymapEntry* played = EntryForKey(sourceKeymap, key);
            if (!played || played->sample == kNoSample) continue;
            KeymapEntry& own = keymap->entries[keymap->MakeRange(key, key)];
            own.sample = played->sample;
            own.amp = played->amp;
        }
        Layer* layer = plan.program->AddLayer(*keymap, false);
        if (!layer) return "Could not add layer(s).";
        layer->CopyFrom(first, false);
        layer->keymap = static_cast<uint16_t>(keymap->Number());
        // The template's own tuning stays; the temperament moves it.
        const Tune tune = AddTune(templateTune, DetuneFor(cents, c));
        layer->Pitch().SetCoarseTune(tune.coarse);
        layer->Pitch().SetFineTune(tune.fine);
        plan.keymaps.push_back(std::move(keymap));
    }
    if (const int size = plan.program->BodySize(); size > kMaxBodySize) {
        return Fmt(
            "The new program would take %d bytes, more than the %d a program may have. "
            "Choose a template with fewer modulators or a scale with fewer notes.",
            size, kMaxBodySize);
    }
    return {};
}

}  // namespace

std::string Microtuning::Problem(const ZedoDatabase& db) const {
    Plan plan;
    return Prepare(db, *this, plan);
}

Program* Microtuning::Build(BankEdits& edits) const {
    EditStep undoStep(edits, "Microtuning Wizard");
    ZedoDatabase& db = edits.Bank();
    Plan plan;
    if (std::string problem = Prepare(db, *this, plan); !problem.empty()) {
        ShowMessage(problem);
        return nullptr;
    }
    db.ClearMarks();
    for (auto& keymap : plan.keymaps) {
        edits.MarkForUpload(*keymap);
        db.PutKeymap(std::move(keymap));
    }
    edits.MarkForUpload(*plan.program);
    Program* made = plan.program.get();
    db.PutProgram(std::move(plan.program));
    db.SetModified(true);
    return made;
}

}  // namespace talmeru
