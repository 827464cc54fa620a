#include "wizards/DrumKit.h"

#include "application/UndoHistory.h"

#include <algorithm>
#include <array>
#include <memory>
#include <set>

#include "application/BankEdits.h"
#include "application/EnvelopePresets.h"
#include "files/WaveDataLoader.h"
#include "files/WaveImport.h"
#include "model/Keymap.h"
#include "model/NoteNames.h"
#include "model/Program.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

constexpr const char* kSection = "Options";
constexpr int kHighestKey = 127;
constexpr int kGroups = 2 * kMaxPanGroup + 1;

int Clamped(int v, int lo, int hi) {
    return std::clamp(v, lo, hi);
}

bool ValidRow(const std::vector<DrumSlot>& slots, int row) {
    return row >= 0 && row < static_cast<int>(slots.size());
}

// Whether the bank already holds wave data for this file and channel, which an import shares
// instead of adding a new one.
bool HasWave(const ZedoDatabase& db, const std::string& path, int channel) {
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        const WaveData* w = db.GetWaveData(i);
        if (w->StorageClass() != kFileLoaded || (w->path != path && w->wantedPath != path))
            continue;
        if (w->channel == channel || (channel == kWholeFile && w->channel == kLeftChannel))
            return true;
    }
    return false;
}

int FreeSlots(const ZedoDatabase& db, int type) {
    int free = 0;
    for (int n = 0; n < kSlotCount; ++n)
        free += db.GetObject(type, n) == nullptr;
    return free;
}

// The name of the right half of a stereo keymap: a final "L" becomes "R", otherwise "R" is
// added.
std::string RightHalfName(const ZedoDatabase& db, const std::string& left) {
    std::string base = left;
    if (!base.empty() && base.back() == 'L') base.pop_back();
    base = base.substr(0, kNameLength - 1) + "R";
    return db.MakeUniqueName(kTypeKeymap, base);
}

// A sample header as the kit plays it on key `key`.
void PrepareHeader(SampleHeader& h, const DrumKit& kit, int key, int shift, BankEdits& edits) {
    // The loop goes first: the percussive envelope follows the length the sample plays.
    if (!kit.useLoops) h.SetLoopStart(h.end);
    if (kit.noteOffStops)
        MakeFlatEnvelope(h);
    else
        MakePercussiveEnvelope(h);
    h.SetPitch(key - shift);
    edits.MarkForUpload(h);
}

}  // namespace

int DrumSlotKey(int lowest, int spacing, int slot) {
    int k = lowest;
    if (slot < 0) return k;
    for (int j = 0;; ++j) {
        if (spacing == kWhiteKeysOnly && IsBlackKey(k)) ++k;
        if (j == slot) return k;
        ++k;
    }
}

std::string PanText(int pan) {
    std::string text = "-------";
    text[static_cast<size_t>(Clamped(pan, -kMaxPanGroup, kMaxPanGroup) + kMaxPanGroup)] = '|';
    return text;
}

int LayerPanOf(int panGroup) {
    return 1 + 5 * (Clamped(panGroup, -kMaxPanGroup, kMaxPanGroup) + kMaxPanGroup);
}

void DrumKit::Begin(const ZedoDatabase& db, const Program* current, bool autoProgramReplace) {
    autoReplace = autoProgramReplace;
    placement = kNewProgram;
    if (autoProgramReplace && current) {
        name = current->Name();
        number = current->Number();
    } else {
        name = kDrumKitName;
        number = std::max(db.FirstFreeProgram(), 0);
    }
}

void DrumKit::ReadLayoutSettings(const Profile& settings) {
    spacing = settings.GetInt(kSection, "DrumWizNoteSpacing", kWhiteKeysOnly) == kWhiteAndBlackKeys
                  ? kWhiteAndBlackKeys
                  : kWhiteKeysOnly;
    lowest = Clamped(settings.GetInt(kSection, "DrumWizNoteStart", 36), 0, kHighestKey);
    shiftMode = settings.GetInt(kSection, "DrumWizInsertOption", kShiftSamples) == kDontShift
                    ? kDontShift
                    : kShiftSamples;
}

void DrumKit::WriteLayoutSettings(Profile& settings) const {
    settings.WriteInt(kSection, "DrumWizNoteSpacing", spacing);
    settings.WriteInt(kSection, "DrumWizNoteStart", lowest);
    settings.WriteInt(kSection, "DrumWizInsertOption", shiftMode);
}

void DrumKit::ReadFinishSettings(const Profile& settings) {
    useLoops = settings.GetBool(kSection, "DKWizLoop", false);
    noteOffStops = settings.GetBool(kSection, "DKWizNoteOff", false);
}

void DrumKit::WriteFinishSettings(Profile& settings) const {
    settings.WriteBool(kSection, "DKWizLoop", useLoops);
    settings.WriteBool(kSection, "DKWizNoteOff", noteOffStops);
}

int DrumKit::AppendFiles(std::vector<std::string>& list, const std::vector<std::string>& add) {
    int added = 0;
    for (const std::string& path : add) {
        if (list.size() >= size_t(kMaxDrumSamples)) {
            ShowMessage("Only 128 Drum Samples allowed");
            break;
        }
        list.push_back(path);
        ++added;
    }
    return added;
}

void DrumKit::SetFiles(std::vector<std::string> paths) {
    if (paths.size() > size_t(kMaxDrumSamples)) paths.resize(size_t(kMaxDrumSamples));
    if (laidOut_) {
        // Old index to new index, each listed file taken once so duplicates pair up in order.
        std::vector<int> moved(files_.size(), -1);
        std::vector<bool> taken(paths.size(), false);
        for (size_t i = 0; i < files_.size(); ++i) {
            for (size_t j = 0; j < paths.size(); ++j) {
                if (!taken[j] && paths[j] == files_[i]) {
                    taken[j] = true;
                    moved[i] = static_cast<int>(j);
                    break;
                }
            }
        }
        std::vector<DrumSlot> kept;
        for (DrumSlot s : slots_) {
            if (s.file >= 0) {
                s.file = s.file < static_cast<int>(moved.size()) ? moved[size_t(s.file)] : -1;
                if (s.file < 0) continue;
            }
            kept.push_back(s);
        }
        bool full = false;
        for (size_t j = 0; j < paths.size(); ++j) {
            if (taken[j]) continue;
            if (kept.size() >= size_t(kMaxDrumSamples)) {
                full = true;
                break;
            }
            kept.push_back({static_cast<int>(j), 0, 0});
        }
        // Duplicated rows may leave no room for a new file's key.
        if (full) ShowMessage("Only 128 Drum Samples allowed");
        slots_ = std::move(kept);
    }
    files_ = std::move(paths);
}

std::string DrumKit::SlotText(int slot) const {
    const std::string path = SlotPath(slot);
    return path.empty() ? std::string(kQuietKeyText) : StemOf(path);
}

std::string DrumKit::SlotPath(int slot) const {
    if (!ValidRow(slots_, slot)) return {};
    const int file = slots_[size_t(slot)].file;
    if (file < 0 || file >= static_cast<int>(files_.size())) return {};
    return files_[size_t(file)];
}

bool DrumKit::EnterLayout() {
    if (!laidOut_) {
        slots_.clear();
        for (size_t i = 0; i < files_.size() && i < size_t(kMaxDrumSamples); ++i)
            slots_.push_back({static_cast<int>(i), 0, 0});
        laidOut_ = true;
    }
    const int n = static_cast<int>(slots_.size());
    const int top = kHighestKey - n * 12 / 7;
    if (top < lowest) lowest = top;
    spacingLocked_ = lowest < 0;
    if (spacingLocked_) {
        lowest = 0;
        spacing = kWhiteAndBlackKeys;
    }
    return spacingLocked_;
}

int DrumKit::StepLowest(int delta) const {
    const int n = static_cast<int>(slots_.size());
    int v = lowest + delta;
    if (spacing == kWhiteKeysOnly && IsBlackKey(v)) v += delta;
    if (v < 0 || v > kHighestKey - n) return lowest;
    if (n > 0 && DrumSlotKey(v, spacing, n - 1) > kHighestKey) return lowest;
    return v;
}

int DrumKit::HighestLowest() const {
    const int rows = static_cast<int>(slots_.size());
    const int highest =
        spacing == kWhiteAndBlackKeys ? kHighestKey + 1 - rows : kHighestKey - rows * 12 / 7;
    return std::min(highest, kHighestKey);
}

bool DrumKit::LeaveLayout() {
    const int rows = static_cast<int>(slots_.size());
    bool moved = false;
    if (lowest > HighestLowest()) {
        lowest = std::max(HighestLowest(), 0);
        moved = true;
    }
    // The estimate for white keys can still leave the top slot past the last key.
    while (rows > 0 && lowest > 0 && SlotKey(rows - 1) > kHighestKey) {
        --lowest;
        moved = true;
    }
    // Rows added after the spacing was chosen may not fit on white keys at all.
    if (rows > 0 && SlotKey(rows - 1) > kHighestKey) {
        spacing = kWhiteAndBlackKeys;
        moved = true;
    }
    if (moved) ShowMessage("Lowest key changed because there are too many samples to fit");
    return moved;
}

int DrumKit::Duplicate(int row) {
    if (!ValidRow(slots_, row) || slots_.size() >= size_t(kMaxDrumSamples)) return -1;
    const DrumSlot copy = slots_[size_t(row)];
    if (shiftMode == kDontShift) {
        slots_.push_back(copy);
        return static_cast<int>(slots_.size()) - 1;
    }
    slots_.insert(slots_.begin() + row + 1, copy);
    return row + 1;
}

int DrumKit::Remove(int row) {
    if (!ValidRow(slots_, row)) return -1;
    // Without shifting, a quiet key keeps the following samples on their keys; the last row
    // has none following, so it goes.
    if (shiftMode == kDontShift && row + 1 < static_cast<int>(slots_.size())) {
        slots_[size_t(row)] = DrumSlot{};
        return row;
    }
    slots_.erase(slots_.begin() + row);
    return std::min(row, static_cast<int>(slots_.size()) - 1);
}

int DrumKit::InsertQuietKey(int row) {
    if (slots_.size() >= size_t(kMaxDrumSamples)) return -1;
    if (shiftMode == kDontShift || !ValidRow(slots_, row)) {
        slots_.push_back(DrumSlot{});
        return static_cast<int>(slots_.size()) - 1;
    }
    slots_.insert(slots_.begin() + row, DrumSlot{});
    return row;
}

bool DrumKit::Swap(int a, int b) {
    if (!ValidRow(slots_, a) || !ValidRow(slots_, b) || a == b) return false;
    std::swap(slots_[size_t(a)], slots_[size_t(b)]);
    return true;
}

int DrumKit::ShiftRows(const std::vector<int>& rows, int delta) {
    int changed = 0;
    for (int row : rows) {
        if (!ValidRow(slots_, row)) continue;
        DrumSlot& s = slots_[size_t(row)];
        const int shifted = s.shift + delta;
        if (shifted < -kMaxDrumShift || shifted > kMaxDrumShift) break;
        s.shift = shifted;
        ++changed;
    }
    return changed;
}

void DrumKit::SetPanPosition(const std::vector<int>& rows, int position) {
    const int pan = Clamped(position, 0, 2 * kMaxPanGroup) - kMaxPanGroup;
    for (int row : rows)
        if (ValidRow(slots_, row)) slots_[size_t(row)].pan = pan;
}

const DrumKit::Probe& DrumKit::ProbeFile(const std::string& path) const {
    if (auto it = probes_.find(path); it != probes_.end()) return it->second;
    Probe p;
    // Only the header is read here; the import reads the samples.
    auto wave = CreateWaveDataByExtension(path, 0, kWholeFile, true);
    p.ok = wave && wave->valid && wave->FormatTag() != -1;
    p.stereo = p.ok && wave->IsStereo();
    return probes_.emplace(path, p).first->second;
}

std::string DrumKit::Problem(const ZedoDatabase& db, const Program* current) const {
    if (db.ReadOnly()) {
        return "Bank becomes read-only if the merge wave data option is on.\nYou must turn off "
               "the option (in File|Properties) and reload the bank if you want to make edits.";
    }
    const int rows = static_cast<int>(slots_.size());
    if (std::none_of(slots_.begin(), slots_.end(), [](const DrumSlot& s) { return s.file >= 0; }))
        return "Add the wave files that make up the drum kit";
    if (lowest < 0 || SlotKey(rows - 1) > kHighestKey)
        return "The samples do not fit on the keys above the lowest note";

    // The program the kit goes into.
    const Program* kept = nullptr;  // an existing program whose modulators and layers count
    bool clears = false;
    if (placement == kAddLayers) {
        if (!current) return "Select a program to add the drum kit to";
        if (current->LayerCount() >= kMaxLayers)
            return Fmt("The current program already has %d layers", kMaxLayers);
        kept = current;
    } else {
        if (name.empty()) return "Enter a name for the new program";
        if (name.size() > size_t(kNameLength))
            return Fmt("A program name has at most %d characters", kNameLength);
        if (number < 0 || number >= kSlotCount)
            return Fmt("The program number must be from 0 to %d", kSlotCount - 1);
        if (autoReplace && current && current->Number() == number) {
            kept = current;
            clears = true;
        } else if (db.GetProgram(number)) {
            if (db.FirstFreeProgram() < 0)
                return "Every program slot is in use. Delete a program to make room for the new "
                       "one.";
            return Fmt("Program %d is already in use. Choose a free program number.", number);
        }
    }

    // What the files need: a sample header per loaded slot (two for a stereo file), a keymap
    // per pan group that plays something (two when stereo), new wave data per file not yet in
    // the bank.
    std::array<bool, kGroups> used{}, stereo{};
    int headers = 0;
    std::set<std::string> paths;
    for (int j = 0; j < rows; ++j) {
        const std::string path = SlotPath(j);
        if (path.empty()) continue;
        const Probe& p = ProbeFile(path);
        if (!p.ok) continue;
        const size_t g =
            size_t(Clamped(slots_[size_t(j)].pan, -kMaxPanGroup, kMaxPanGroup) + kMaxPanGroup);
        used[g] = true;
        stereo[g] = stereo[g] || p.stereo;
        headers += p.stereo ? 2 : 1;
        paths.insert(path);
    }
    if (headers == 0) return "None of the wave files could be loaded";
    int waves = 0;
    for (const std::string& path : paths) {
        waves += !HasWave(db, path, kWholeFile);
        if (ProbeFile(path).stereo) waves += !HasWave(db, path, kRightChannel);
    }
    int keymaps = 0;
    for (size_t g = 0; g < used.size(); ++g)
        keymaps += used[g] ? (stereo[g] ? 2 : 1) : 0;
    if (keymaps > FreeSlots(db, kTypeKeymap))
        return Fmt("The drum kit needs %d free keymaps, the bank has %d", keymaps,
                   FreeSlots(db, kTypeKeymap));
    if (headers > FreeSlots(db, kTypeSampleHeader))
        return Fmt("The drum kit needs %d free sample headers, the bank has %d", headers,
                   FreeSlots(db, kTypeSampleHeader));
    if (db.WaveDataCount() + waves > kMaxWaveData)
        return Fmt("The drum kit needs %d more wave data, the bank has room for %d", waves,
                   kMaxWaveData - db.WaveDataCount());

    // The layers on a stand-in of the program: the 32-layer limit and the packed size.
    std::unique_ptr<Program> trial = kept ? kept->Clone() : std::make_unique<Program>();
    if (clears) trial->DeleteAllLayers();
    const int before = trial->LayerCount();
    for (size_t g = 0; g < used.size(); ++g) {
        if (!used[g]) continue;
        Keymap left, right;
        if (stereo[g]) PairStereo(left, right);
        if (!trial->AddLayer(left, stereo[g])) {
            return Fmt("The drum kit needs %d layers, the program has room for %d", keymaps,
                       kMaxLayers - before);
        }
    }
    if (const int size = trial->BodySize(); size > kMaxBodySize) {
        return Fmt("The program would take %d bytes, more than the %d a program may have", size,
                   kMaxBodySize);
    }
    return {};
}

Program* DrumKit::Build(BankEdits& edits, Program* current) const {
    EditStep undoStep(edits, "Drum Kit Wizard");
    ZedoDatabase& db = edits.Bank();
    if (std::string problem = Problem(db, current); !problem.empty()) {
        ShowMessage(problem);
        return nullptr;
    }
    db.ClearMarks();
    Program* target = current;
    if (placement == kNewProgram) {
        if (autoReplace && current && current->Number() == number) {
            current->SetName(name);
        } else {
            target = db.CreateProgram(name, number);
            if (!target) {
                ShowMessage("Could not create program");
                return nullptr;
            }
        }
        target->DeleteAllLayers();
    }
    const int before = target->LayerCount();
    const std::string keymapName = target->Name();

    std::set<std::string> reported;
    auto skip = [&](const std::string& path) {
        if (reported.insert(path).second)
            ShowMessage(Fmt("%s was skipped because it could not be loaded.", path.c_str()));
    };
    for (int g = -kMaxPanGroup; g <= kMaxPanGroup; ++g) {
        Keymap* keymap = nullptr;
        bool isStereo = false;
        int k = lowest;
        for (size_t j = 0; j < slots_.size() && k <= kHighestKey; ++j) {
            if (spacing == kWhiteKeysOnly && IsBlackKey(k)) {
                if (keymap) keymap->MakeRange(k, k);
                ++k;
            }
            const DrumSlot& slot = slots_[j];
            const std::string path = SlotPath(static_cast<int>(j));
            // Quiet keys and unreadable files leave their keys silent.
            const bool plays = !path.empty() && ProbeFile(path).ok;
            if (!path.empty() && !plays) skip(path);
            if (slot.pan == g && plays && k <= kHighestKey) {
                if (!keymap) {
                    keymap = db.CreateKeymap(db.MakeUniqueName(kTypeKeymap, keymapName), -1);
                    if (!keymap) {
                        ShowMessage("Could not create keymap");
                        break;
                    }
                    keymap->entries = {KeymapEntry{kHighestKey, 0, kNoSample}};
                }
                const size_t at = keymap->MakeRange(k, k);
                keymap->entries[at].sample = kNoSample;
                keymap->entries[at].amp = 0;
                SampleHeader* header = nullptr;
                try {
                    header = ImportWaveAsSample(db, path, -1, kWholeFile,
                                                kImportSendLater | kImportStereoPairs);
                } catch (const ZedoException&) {
                    header = nullptr;
                }
                if (!header) {
                    skip(path);
                } else {
                    PrepareHeader(*header, *this, k, slot.shift, edits);
                    if (header->stereoRole == kStereoLeft && header->chained) {
                        PrepareHeader(*static_cast<SampleHeader*>(header->chained), *this, k,
                                      slot.shift, edits);
                        isStereo = true;
                    }
                    keymap->entries[at].sample = header->Number();
                }
            }
            ++k;
        }
        if (!keymap) continue;
        edits.MarkForUpload(*keymap);
        if (isStereo) {
            Keymap* right = db.CreateKeymap(RightHalfName(db, keymap->Name()), -1);
            if (!right) {
                ShowMessage("Could not create right keymap");
                isStereo = false;
            } else {
                // Stereo samples play their right halves; mono ones play on both sides.
                right->entries = keymap->entries;
                for (KeymapEntry& e : right->entries) {
                    const SampleHeader* h = db.GetSampleHeader(e.sample);
                    if (h && h->stereoRole == kStereoLeft && h->chained)
                        e.sample = h->chained->Number();
                }
                PairStereo(*keymap, *right);
                edits.MarkForUpload(*right);
            }
        }
        Layer* layer = target->AddLayer(*keymap, isStereo);
        if (!layer) {
            ShowMessage("Could not add layer(s).");
            break;
        }
        if (!isStereo) layer->SetPan(LayerPanOf(g));
    }
    for (int i = before; i < target->LayerCount(); ++i) {
        Layer* layer = target->GetLayer(i);
        layer->SetIgnoreNoteOff(!noteOffStops);
        layer->Amp().SetGain(kDrumLayerGain);
    }
    edits.MarkForUpload(*target);
    db.SetModified(true);
    return target;
}

}  // namespace talmeru
