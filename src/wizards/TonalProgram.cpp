#include "wizards/TonalProgram.h"

#include "application/UndoHistory.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <set>

#include "application/BankEdits.h"
#include "files/WavWaveData.h"
#include "files/WaveImport.h"
#include "model/Keymap.h"
#include "model/Modulator.h"
#include "model/Program.h"
#include "model/SampleHeader.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

constexpr const char* kSection = "Options";
constexpr int kKeys = 128;
// (pitch + 15360) / 256: the highest key a header's pitch lets it play.
constexpr int kTopKeyOffset = 15360;
constexpr int kMaxLfoShape = 4;
constexpr uint8_t kModWheel = 129;  // MIDI controller 1
constexpr int kEnvBottom = -127;    // packs as 129

int Wrap(int key) {
    return ((key % kKeys) + kKeys) % kKeys;
}

// The letter's pitch class, or -1.
int LetterClass(char c) {
    switch (c) {
        case 'c':
            return 0;
        case 'd':
            return 2;
        case 'e':
            return 4;
        case 'f':
            return 5;
        case 'g':
            return 7;
        case 'a':
            return 9;
        case 'b':
            return 11;
        default:
            return -1;
    }
}

// What a wave file's header says, read without messages.
struct WaveFacts {
    bool readable = false;
    bool stereo = false;
    double rootPitch = -1;
    int highest = 0;  // for the key it is given
};

WaveFacts ReadFacts(const std::string& path, int key) {
    WaveFacts facts;
    ScriptedPrompter quiet;
    ScopedPrompter scope(quiet);
    WavWaveData w(path, 0, kWholeFile, true);
    if (!w.valid || w.formatTag == -1) return facts;
    facts.readable = true;
    facts.stereo = w.IsStereo();
    facts.rootPitch = w.RootPitch();
    // A header that is never put into the bank works out the pitch the imported one gets.
    SampleHeader probe;
    probe.AttachWave(&w, kAttachReference);
    probe.SetPitch(key);
    facts.highest = (probe.pitch + kTopKeyOffset) / 256;
    return facts;
}

// One row of the build: the wave, its key, and the top of its range (-1: none).
struct Planned {
    std::string path;
    int key = 0;
    bool readable = false;
    bool stereo = false;
    int top = -1;
};

struct Plan {
    std::vector<Planned> rows;
    bool stereo = false;
    int headers = 0;
    int waveData = 0;
    int ranged = 0;
};

Plan MakePlan(const TonalProgram& t) {
    std::vector<TonalRow> rows = t.Rows();
    std::stable_sort(rows.begin(), rows.end(),
                     [](const TonalRow& a, const TonalRow& b) { return a.key < b.key; });
    Plan plan;
    std::vector<int> keys, highest;
    std::vector<size_t> readable;
    for (const TonalRow& r : rows) {
        Planned p;
        p.path = t.Waves()[static_cast<size_t>(r.wave)];
        p.key = r.key;
        const WaveFacts facts = ReadFacts(p.path, r.key);
        p.readable = facts.readable;
        p.stereo = facts.stereo;
        if (p.readable) {
            readable.push_back(plan.rows.size());
            keys.push_back(r.key);
            highest.push_back(facts.highest);
        }
        plan.rows.push_back(p);
    }
    // Files that cannot be read are left out of the spread, so their neighbours close the
    // gap instead of leaving silent keys.
    const std::vector<int> tops = SpreadKeys(keys, highest, t.noTransposeUp);
    for (size_t i = 0; i < readable.size(); ++i) {
        Planned& p = plan.rows[readable[i]];
        p.top = tops[i];
        if (p.top < 0) continue;
        ++plan.ranged;
        plan.stereo = plan.stereo || p.stereo;
        plan.headers += p.stereo ? 2 : 1;
        plan.waveData += p.stereo ? 2 : 1;
    }
    return plan;
}

int FreeKeymaps(const ZedoDatabase& db) {
    int free = 0;
    for (int n = 0; n < kSlotCount; ++n)
        if (!db.GetKeymap(n)) ++free;
    return free;
}

int FreeSampleHeaders(const ZedoDatabase& db) {
    int free = 0;
    for (int n = 0; n < kSlotCount; ++n)
        if (!db.GetSampleHeader(n)) ++free;
    return free;
}

bool ReplacesCurrent(const ZedoDatabase& db, const TonalProgram& t, int current, bool autoReplace) {
    return t.newProgram && autoReplace && current >= 0 && current == t.number &&
           db.GetProgram(current);
}

void AddLayerModulator(Layer& layer, std::unique_ptr<Modulator> m, int id) {
    m->SetId(id);
    m->ownerKind = kLayerModulator;
    layer.Modulators().insert(layer.Modulators().begin(), std::move(m));
}

void ApplyQuickOptions(const TonalProgram& t, Layer& layer) {
    if (t.modTremolo) {
        AddLayerModulator(layer, std::make_unique<LfoModulator>(), 2);
        layer.Amp().AddEntry({242, 0, 10, kModWheel});
    }
    if (t.modVibrato) {
        auto lfo = std::make_unique<LfoModulator>();
        lfo->SetShape(kMaxLfoShape);
        AddLayerModulator(layer, std::move(lfo), 1);
        layer.Pitch().AddEntry({241, 0, 20, kModWheel});
    }
    if (t.velocityBrightness) {
        layer.Filter1().SetFilterType(1);
        layer.Filter1().SetFrequency(0);
        layer.Filter1().SetVelocityTracking(70);
    }
    if (t.phat) layer.Pitch().SetFineTune(10);
    if (t.slowAttack) {
        // Starts at the bottom and climbs to zero over 0.4 seconds; the amp entry turns
        // that into a fade in.
        auto env = std::make_unique<EnvModulator>();
        env->SetStartLevel(kEnvBottom);
        const auto& s = env->Segments();
        env->SetSegment(0, 0, 20);
        env->SetSegment(1, 0, s[1].time);
        env->SetSegment(2, 0, s[2].time);
        AddLayerModulator(layer, std::move(env), 3);
        layer.Amp().AddEntry({243, 32, 32, kSourceZero});
    }
    layer.CheckModulatorOrder();
}

}  // namespace

int KeyFromPath(std::string_view path) {
    // Only the file's own name: folder names such as "cd1" or "e2 strings" say nothing
    // about the sample.
    if (const size_t slash = path.find_last_of("/\\"); slash != std::string_view::npos)
        path.remove_prefix(slash + 1);
    auto lower = [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    };
    auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        const int letter = LetterClass(lower(path[i]));
        if (letter < 0) continue;
        char digit = path[i + 1];
        int accidental = 0;
        if (!isDigit(digit) && i + 2 < path.size()) {
            const char a = lower(path[i + 1]);
            if (a == 'b')
                accidental = -1;
            else if (a == '#' || a == 's')
                accidental = 1;
            else
                continue;
            digit = path[i + 2];
        }
        if (!isDigit(digit)) continue;
        const int key = letter + 12 * (digit - '0' + 1) + accidental;
        // "A9" and above name no MIDI key.
        if (key < kKeys) return key;
    }
    return -1;
}

std::vector<int> SpreadKeys(const std::vector<int>& keys, const std::vector<int>& highest,
                            bool noTransposeUp) {
    std::vector<int> tops(keys.size(), -1);
    int start = 0;
    for (size_t j = 0; j < keys.size(); ++j) {
        int t = highest[j];
        if (j + 1 < keys.size()) {
            if (noTransposeUp) t = keys[j];
            t = std::min(t, (keys[j] + keys[j + 1]) / 2);
        }
        t = std::min(t, kKeys - 1);
        if (t < start) continue;
        tops[j] = t;
        start = t + 1;
    }
    return tops;
}

int TonalProgram::AddWaves(const std::vector<std::string>& paths) {
    int added = 0;
    for (const std::string& p : paths) {
        if (static_cast<int>(waves_.size()) >= kMaxTonalWaves) {
            ShowMessage("Only 128 Waves allowed");
            break;
        }
        waves_.push_back(p);
        ++added;
    }
    return added;
}

void TonalProgram::RemoveWaves(std::vector<int> indices) {
    std::sort(indices.begin(), indices.end(), std::greater<>());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    for (int i : indices) {
        if (i < 0 || i >= static_cast<int>(waves_.size())) continue;
        waves_.erase(waves_.begin() + i);
        std::erase_if(rows_, [i](const TonalRow& r) { return r.wave == i; });
        for (TonalRow& r : rows_)
            if (r.wave > i) --r.wave;
    }
}

std::string TonalProgram::SampleName(const TonalRow& row) const {
    if (row.wave < 0 || row.wave >= static_cast<int>(waves_.size())) return {};
    return StemOf(waves_[static_cast<size_t>(row.wave)]);
}

void TonalProgram::FillRows(bool parseNames) {
    if (parseNames) rows_.clear();
    std::set<int> have;
    for (const TonalRow& r : rows_)
        have.insert(r.wave);
    for (int w = 0; w < static_cast<int>(waves_.size()); ++w) {
        if (have.count(w)) continue;
        const std::string& path = waves_[static_cast<size_t>(w)];
        const WaveFacts facts = ReadFacts(path, kDefaultOrigKey);
        if (!facts.readable) ShowMessage("Could not load wave");
        int key = -1;
        if (!parseNames && facts.rootPitch > -1) key = static_cast<int>(facts.rootPitch + 0.5);
        if (key < 0) key = KeyFromPath(path);
        if (key < 0) key = kDefaultOrigKey;
        rows_.push_back({w, std::clamp(key, 0, kKeys - 1)});
    }
    if (parseNames) Sort();
}

void TonalProgram::Sort() {
    std::stable_sort(rows_.begin(), rows_.end(),
                     [](const TonalRow& a, const TonalRow& b) { return a.key < b.key; });
}

void TonalProgram::ShiftKey(int row, int by) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    rows_[static_cast<size_t>(row)].key = Wrap(rows_[static_cast<size_t>(row)].key + by);
}

void TonalProgram::SetKey(int row, int key) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    rows_[static_cast<size_t>(row)].key = Wrap(key);
}

void TonalProgram::ShiftOctaves(int octaves) {
    for (TonalRow& r : rows_)
        r.key = Wrap(r.key + 12 * octaves);
}

void TonalProgram::ProposeProgram(const ZedoDatabase& db, int currentProgram, bool autoReplace) {
    if (const Program* p = db.GetProgram(currentProgram); p && autoReplace) {
        name = p->Name();
        number = currentProgram;
    } else {
        name = db.MakeUniqueName(kTypeProgram, "New Program");
        number = std::max(db.FirstFreeProgram(), 0);
    }
}

bool TonalProgram::CanAddToCurrent(const ZedoDatabase& db, int currentProgram) {
    const Program* p = db.GetProgram(currentProgram);
    return p && p->LayerCount() < kMaxLayers;
}

void TonalProgram::LoadKeySetting(const Profile& settings) {
    keySet = settings.GetBool(kSection, "TPKeySet", true);
}

void TonalProgram::SaveKeySetting(Profile& settings) const {
    settings.WriteBool(kSection, "TPKeySet", keySet);
}

void TonalProgram::LoadFinishSettings(const Profile& settings) {
    noTransposeUp = settings.GetBool(kSection, "TPTranposeBug", true);
    const long stored = settings.GetInt(kSection, "TPSlowReleaseRate", kDefaultSlowReleaseRate);
    rate = static_cast<int>(std::min<long>(stored < 0 ? -stored : stored, kMaxReleaseRate));
}

void TonalProgram::SaveFinishSettings(Profile& settings) const {
    settings.WriteBool(kSection, "TPTranposeBug", noTransposeUp);
    settings.WriteInt(kSection, "TPSlowReleaseRate", rate);
}

std::string TonalProgram::Problem(const ZedoDatabase& db, int currentProgram,
                                  bool autoReplace) const {
    if (db.ReadOnly()) {
        return "Bank becomes read-only if the merge wave data option is on.\nYou must turn off "
               "the option (in File|Properties) and reload the bank if you want to make edits.";
    }
    if (rows_.empty()) return "Add at least one wave file";
    if (newProgram) {
        if (name.empty()) return "Enter a name for the new program";
        if (name.size() > static_cast<size_t>(kNameLength))
            return Fmt("A program name has at most %d characters", kNameLength);
        if (number < 0 || number >= kSlotCount)
            return Fmt("The program number must be from 0 to %d", kSlotCount - 1);
        if (db.GetProgram(number) && !ReplacesCurrent(db, *this, currentProgram, autoReplace)) {
            if (db.FirstFreeProgram() < 0)
                return "Every program slot is in use. Delete a program to make room for the "
                       "new one.";
            return Fmt("Program %d is already in use. Choose a free program number.", number);
        }
    } else if (!db.GetProgram(currentProgram)) {
        return "There is no current program to add the layers to";
    }
    const Plan plan = MakePlan(*this);
    if (plan.ranged == 0) return "None of the wave files could be loaded";
    if (!newProgram) {
        const Program* p = db.GetProgram(currentProgram);
        if (p->LayerCount() + (plan.stereo ? 2 : 1) > kMaxLayers)
            return Fmt("The current program has no room for %s",
                       plan.stereo ? "a stereo layer pair" : "another layer");
    }
    const int keymaps = plan.stereo ? 2 : 1;
    if (FreeKeymaps(db) < keymaps)
        return keymaps == 1 ? "Could not create keymap" : "Could not create right keymap";
    if (const int free = FreeSampleHeaders(db); free < plan.headers) {
        return Fmt("Not enough free sample headers: the instrument needs %d, the bank has %d",
                   plan.headers, free);
    }
    if (db.WaveDataCount() + plan.waveData > kMaxWaveData) return "WaveDataList full!";
    return {};
}

Program* TonalProgram::Build(BankEdits& edits, int currentProgram, bool autoReplace) const {
    EditStep undoStep(edits, "Tonal Program Wizard");
    ZedoDatabase& db = edits.Bank();
    if (std::string problem = Problem(db, currentProgram, autoReplace); !problem.empty()) {
        ShowMessage(problem);
        return nullptr;
    }
    const Plan plan = MakePlan(*this);
    db.ClearMarks();
    Keymap* keymap = db.CreateKeymap(db.MakeUniqueName(kTypeKeymap, name), -1);
    keymap->entries = {KeymapEntry{kKeys - 1, 0, kNoSample}};
    // The right half plays each sample's right channel; a mono sample plays on both sides.
    std::vector<std::pair<int, int>> ranges;  // left sample, right sample per keymap entry
    bool stereo = false;
    int start = 0;
    const int release = slowRelease ? -rate : kTonalReleaseSlope;
    for (const Planned& row : plan.rows) {
        if (!row.readable) {
            ShowMessage(Fmt("%s was skipped because it could not be loaded.", row.path.c_str()));
            continue;
        }
        if (row.top < 0) {
            ShowMessage(Fmt("%s was skipped because the sample below it already plays its key.",
                            row.path.c_str()));
            continue;
        }
        SampleHeader* left = nullptr;
        try {
            left = ImportWaveAsSample(db, row.path, -1, kWholeFile,
                                      kImportSendLater | kImportStereoPairs);
        } catch (const ZedoException&) {
            left = nullptr;
        }
        if (!left) {
            ShowMessage(Fmt("%s was skipped because it could not be loaded.", row.path.c_str()));
            continue;
        }
        left->SetPitch(row.key);
        left->ResetEnvelope(release);
        edits.MarkForUpload(*left);
        auto* right =
            left->stereoRole == kStereoLeft ? dynamic_cast<SampleHeader*>(left->chained) : nullptr;
        if (right) {
            right->SetPitch(row.key);
            right->ResetEnvelope(release);
            edits.MarkForUpload(*right);
            stereo = true;
        }
        KeymapEntry& e = keymap->entries[keymap->MakeRange(start, row.top)];
        e.sample = left->Number();
        start = row.top + 1;
    }
    if (start < kKeys) keymap->entries[keymap->MakeRange(start, kKeys - 1)].sample = kNoSample;
    edits.MarkForUpload(*keymap);
    const int keymapNumber = keymap->Number();

    Program* target = nullptr;
    if (!newProgram) {
        target = db.GetProgram(currentProgram);
    } else if (ReplacesCurrent(db, *this, currentProgram, autoReplace)) {
        target = db.GetProgram(currentProgram);
        target->SetName(name);
        target->DeleteAllLayers();
    } else {
        target = db.CreateProgram(name, number);
        target->DeleteAllLayers();
    }

    if (stereo) {
        Keymap* right = db.CreateKeymap(
            db.MakeUniqueName(kTypeKeymap, name.substr(0, kNameLength - 1) + "R"), -1);
        keymap = db.GetKeymap(keymapNumber);
        right->entries = keymap->entries;
        for (KeymapEntry& e : right->entries) {
            const auto* h = e.sample == kNoSample ? nullptr : db.GetSampleHeader(e.sample);
            if (h && h->stereoRole == kStereoLeft && h->chained) e.sample = h->chained->Number();
        }
        PairStereo(*keymap, *right);
        edits.MarkForUpload(*right);
    }
    keymap = db.GetKeymap(keymapNumber);
    Layer* layer = target->AddLayer(*keymap, stereo);
    ApplyQuickOptions(*this, *layer);
    layer->UpdateRightHalf();
    edits.MarkForUpload(*target);
    db.SetModified(true);
    return target;
}

}  // namespace talmeru
