#include "model/ZedoDatabase.h"

#include <algorithm>
#include <cctype>

#include "model/BankLink.h"
#include "model/ZedoException.h"
#include "platform/Format.h"

namespace talmeru {

ZedoDatabase::ZedoDatabase(BankLink* link) : link_(link) {
    waves_.push_back(std::make_unique<RomWaveData>());
}

ZedoDatabase::~ZedoDatabase() {
    Clear(true);
}

void ZedoDatabase::Clear(bool alsoRomWave) {
    for (auto& k : keymaps_)
        k.reset();
    for (auto& p : programs_)
        p.reset();
    for (auto& s : samples_)
        s.reset();
    for (auto& b : raw5_)
        std::vector<uint8_t>().swap(b);
    for (auto& b : raw6_)
        std::vector<uint8_t>().swap(b);
    if (alsoRomWave) {
        waves_.clear();
    } else if (!waves_.empty()) {
        waves_.resize(1);
        // The ROM wave data outlives the bank's objects; their links must not.
        waves_[0]->links.clear();
    }
    merged_ = false;
    path_.clear();
}

StoreResult ZedoDatabase::Store(std::span<const uint8_t> block) {
    if (block.empty()) return kStored;
    PackedHeader h;
    if (!ReadPackedHeader(block, h)) throw ZedoException("unknown type in ZedoDatabase::Store");
    switch (h.type) {
        case kTypeKeymap:
        case kTypeSampleHeader:
        case kTypeProgram: {
            if (!InRange(h.number)) return kStored;
            if (h.type == kTypeKeymap) {
                keymaps_[h.number].reset();
                auto k = std::make_unique<Keymap>();
                if (k->Unpack(block) != kUnpacked) return kKeymapRefused;
                keymaps_[h.number] = std::move(k);
            } else if (h.type == kTypeSampleHeader) {
                samples_[h.number].reset();
                auto s = std::make_unique<SampleHeader>();
                if (s->Unpack(block) != kUnpacked) return kSampleHeaderRefused;
                samples_[h.number] = std::move(s);
            } else {
                programs_[h.number].reset();
                auto p = std::make_unique<Program>();
                if (p->Unpack(block) != kUnpacked) return kProgramRefused;
                programs_[h.number] = std::move(p);
            }
            return kStored;
        }
        case 5:
        case 6:
            if (InRange(h.number))
                (h.type == 5 ? raw5_ : raw6_)[h.number].assign(block.begin(), block.end());
            return kStored;
        default:
            throw ZedoException("unknown type in ZedoDatabase::Store");
    }
}

BankObject* ZedoDatabase::GetObject(int type, int n) const {
    switch (type) {
        case kTypeKeymap:
            return GetKeymap(n);
        case kTypeSampleHeader:
            return GetSampleHeader(n);
        case kTypeProgram:
            return GetProgram(n);
        default:
            return nullptr;
    }
}

const std::vector<uint8_t>* ZedoDatabase::RawBlock(int type, int n) const {
    if (!InRange(n) || (type != 5 && type != 6)) return nullptr;
    const auto& b = (type == 5 ? raw5_ : raw6_)[n];
    return b.empty() ? nullptr : &b;
}

namespace {
template <typename Slots>
int FirstFree(const Slots& slots) {
    for (int i = 0; i < kSlotCount; ++i)
        if (!slots[i]) return i;
    return -1;
}
}  // namespace

int ZedoDatabase::FirstFreeKeymap() const {
    return FirstFree(keymaps_);
}
int ZedoDatabase::FirstFreeSampleHeader() const {
    return FirstFree(samples_);
}
int ZedoDatabase::FirstFreeProgram() const {
    return FirstFree(programs_);
}

Program* ZedoDatabase::FindProgramByName(std::string_view text, int start) const {
    for (int i = std::max(start, 0); i < kSlotCount; ++i) {
        Program* p = programs_[i].get();
        if (p && (text.empty() || p->Name() == text)) return p;
    }
    return nullptr;
}

void ZedoDatabase::PutKeymap(std::unique_ptr<Keymap> k) {
    if (k && InRange(k->Number())) keymaps_[k->Number()] = std::move(k);
}
void ZedoDatabase::PutSampleHeader(std::unique_ptr<SampleHeader> s) {
    if (s && InRange(s->Number())) samples_[s->Number()] = std::move(s);
}
void ZedoDatabase::PutProgram(std::unique_ptr<Program> p) {
    if (p && InRange(p->Number())) programs_[p->Number()] = std::move(p);
}

WaveData* ZedoDatabase::AddWaveData(std::unique_ptr<WaveData> w) {
    if (WaveDataCount() >= kMaxWaveData) throw ZedoException("WaveDataList full!");
    waves_.push_back(std::move(w));
    return waves_.back().get();
}

void ZedoDatabase::ReplaceWaveData(WaveData* old, std::unique_ptr<WaveData> fresh) {
    int i = IndexOfWaveData(old);
    if (i < 0) return;
    for (auto& s : samples_)
        if (s && s->Wave() == old) s->AttachWave(fresh.get(), kAttachReference);
    std::swap(waves_[static_cast<size_t>(i)], fresh);
    if (waveKeeper_) waveKeeper_(std::move(fresh));
}

void ZedoDatabase::PutWaveData(std::vector<std::unique_ptr<WaveData>> list) {
    waves_ = std::move(list);
    for (size_t i = 1; i < waves_.size();) {
        if (waves_[i]->base == -1) {
            if (waveKeeper_) waveKeeper_(std::move(waves_[i]));
            waves_.erase(waves_.begin() + static_cast<std::ptrdiff_t>(i));
        } else
            ++i;
    }
}

int ZedoDatabase::IndexOfWaveData(const WaveData* w) const {
    for (size_t i = 0; i < waves_.size(); ++i)
        if (waves_[i].get() == w) return static_cast<int>(i);
    return -1;
}

Result ZedoDatabase::DeleteObject(BankObject* object) {
    if (!object) return kFailed;
    int n = object->Number();
    if (!InRange(n)) return kFailed;
    if (link_ && link_->DeleteObject(object->Type(), n) != 0) return kFailed;
    // Other objects chain to stereo partners by pointer; forget the ones that go.
    auto unchain = [&](auto& slots) {
        for (auto& o : slots)
            if (o && o->chained == object) o->chained = nullptr;
    };
    switch (object->Type()) {
        case kTypeKeymap:
            if (keymaps_[n].get() != object) return kFailed;
            unchain(keymaps_);
            keymaps_[n].reset();
            break;
        case kTypeSampleHeader:
            if (samples_[n].get() != object) return kFailed;
            unchain(samples_);
            samples_[n].reset();
            break;
        case kTypeProgram:
            if (programs_[n].get() != object) return kFailed;
            programs_[n].reset();
            break;
        default:
            return kFailed;
    }
    SetModified();
    return kOk;
}

Result ZedoDatabase::DeleteSampleHeader(int n) {
    SampleHeader* s = GetSampleHeader(n);
    if (!s) return kFailed;
    WaveData* w = s->Wave();
    // The synthesizer goes first: when it refuses, the header stays, still a user of its
    // wave data (which would otherwise be dropped under it).
    if (DeleteObject(s) != kOk) return kFailed;
    if (w) w->RemoveUser(n, link_);
    // Wave data nobody plays any more leaves the list; the ROM wave data always stays.
    PutWaveData(TakeWaveData());
    return kOk;
}

namespace {

bool IsNoteLetter(char c) {
    return c >= 'A' && c <= 'G';
}

// Where a note name ("C4", "F#2", "Eb3", "Fs1", "C-1") ends the name, or npos. Its octave is
// no counter: counting on from it would name a C4 recording C5.
size_t TrailingNoteName(const std::string& s) {
    size_t i = s.size();
    if (i == 0 || s[i - 1] < '0' || s[i - 1] > '9') return std::string::npos;
    --i;
    if (i > 0 && s[i - 1] == '-') --i;
    if (i >= 2 && (s[i - 1] == '#' || s[i - 1] == 's' || s[i - 1] == 'b') && IsNoteLetter(s[i - 2]))
        --i;
    if (i == 0 || !IsNoteLetter(s[i - 1])) return std::string::npos;
    --i;
    // A letter of a longer word before it ("AB4"): no note.
    if (i > 0 && std::isalpha(static_cast<unsigned char>(s[i - 1]))) return std::string::npos;
    return i;
}

}  // namespace

std::string ZedoDatabase::MakeUniqueName(int type, std::string_view wanted) const {
    auto taken = [&](const std::string& name) {
        for (int i = 0; i < kSlotCount; ++i) {
            const BankObject* o = GetObject(type, i);
            if (o && o->Name() == name) return true;
        }
        return false;
    };
    std::string candidate(Utf8Prefix(wanted, kNameLength));
    if (!taken(candidate)) return candidate;

    std::string base = candidate;
    char letter = 0;
    if ((type == kTypeKeymap || type == kTypeSampleHeader) && !base.empty() &&
        (base.back() == 'R' || base.back() == 'L')) {
        letter = base.back();
        base.pop_back();
    }
    if (const size_t note = TrailingNoteName(base); note != std::string::npos) {
        // The note stays whole and last; the counter follows it after a space.
        const std::string prefix = base.substr(0, note), noteName = base.substr(note);
        for (int counter = 1; taken(candidate); ++counter) {
            const std::string suffix = " " + std::to_string(counter);
            const size_t room = kNameLength - noteName.size() - suffix.size() - (letter ? 1 : 0);
            candidate = std::string(Utf8Prefix(prefix, room)) + noteName + suffix;
            if (letter) candidate += letter;
        }
        return candidate;
    }
    size_t digits = base.size();
    while (digits > 0 && base[digits - 1] >= '0' && base[digits - 1] <= '9')
        --digits;
    int counter = 0;
    if (digits < base.size()) {
        long value = 0;
        for (size_t i = digits; i < base.size() && value <= 998; ++i)
            value = value * 10 + (base[i] - '0');
        if (value <= 998) {
            counter = static_cast<int>(value);
            base.resize(digits);
        }
    }
    while (taken(candidate)) {
        ++counter;
        std::string number = std::to_string(counter);
        // The letter counts against the 16 characters too, so it is never cut off.
        size_t room = kNameLength - number.size() - (letter ? 1 : 0);
        candidate = std::string(Utf8Prefix(base, room)) + number;
        if (letter) candidate += letter;
    }
    return candidate;
}

void ZedoDatabase::MoveProgram(int from, int to) {
    Program* p = GetProgram(from);
    if (!p || !InRange(to)) return;
    if (link_ && from != to && link_->DeleteObject(kTypeProgram, from) != 0) {
        // The synthesizer still holds the old number: the program stays there too.
        return;
    }
    std::unique_ptr<Program> moving = std::move(programs_[from]);
    moving->SetNumber(to);
    moving->DropPackedCopy();
    programs_[to] = std::move(moving);
    if (link_) {
        int allowance = kPackBufferSize;
        programs_[to]->Upload(*link_, nullptr, allowance);
    }
}

void ZedoDatabase::SwapPrograms(int first, int second) {
    if (!InRange(first) || !InRange(second) || first == second) return;
    Program* a = GetProgram(first);
    Program* b = GetProgram(second);
    // The synthesizer must forget a number that ends up empty; when it refuses, nothing moves.
    if (link_ && a && !b && link_->DeleteObject(kTypeProgram, first) != 0) return;
    if (link_ && b && !a && link_->DeleteObject(kTypeProgram, second) != 0) return;
    std::swap(programs_[first], programs_[second]);
    for (int n : {first, second}) {
        Program* p = programs_[n].get();
        if (!p) continue;
        p->SetNumber(n);
        p->DropPackedCopy();
        if (link_) {
            int allowance = kPackBufferSize;
            p->Upload(*link_, nullptr, allowance);
        }
    }
}

void ZedoDatabase::ClearMarks() {
    for (auto& p : programs_)
        if (p) p->marked = false;
    for (auto& k : keymaps_)
        if (k) k->marked = false;
    for (auto& s : samples_)
        if (s) s->marked = false;
}

void ZedoDatabase::MarkForSync() {
    ClearMarks();
    if (purgeUnused_) {
        for (auto& p : programs_) {
            if (!p) continue;
            p->marked = true;
            for (int i = 0; i < p->LayerCount(); ++i) {
                Keymap* k = GetKeymap(p->GetLayer(i)->keymap);
                if (!k) continue;
                k->marked = true;
                for (const auto& e : k->entries)
                    if (SampleHeader* s = GetSampleHeader(e.sample)) s->marked = true;
            }
        }
    } else {
        for (auto& p : programs_)
            if (p) p->marked = true;
        for (auto& k : keymaps_)
            if (k) k->marked = true;
        for (auto& s : samples_)
            if (s) s->marked = true;
    }
    for (auto& w : waves_) {
        w->uploadPending[0] = w->uploadPending[1] = true;
        for (auto& l : w->links)
            l.pending = true;
    }
}

}  // namespace talmeru
