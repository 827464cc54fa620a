#include "application/UndoHistory.h"

#include <algorithm>
#include <unordered_set>

#include "model/ZedoDatabase.h"

namespace talmeru {

namespace {

// Field edits of the same bytes of one object within this time are one step (a spin box
// stepped, a value typed digit by digit).
constexpr auto kMergeWindow = std::chrono::seconds(2);

RefreshHint HintFor(int type) {
    switch (type) {
        case kTypeKeymap:
            return kHintKeymaps;
        case kTypeSampleHeader:
            return kHintSamples;
        default:
            return kHintPrograms | kHintLayers;
    }
}

std::unique_ptr<BankObject> MakeObject(int type) {
    switch (type) {
        case kTypeKeymap:
            return std::make_unique<Keymap>();
        case kTypeSampleHeader:
            return std::make_unique<SampleHeader>();
        default:
            return std::make_unique<Program>();
    }
}

void Put(ZedoDatabase& bank, std::unique_ptr<BankObject> object) {
    BankObject* raw = object.release();
    switch (raw->Type()) {
        case kTypeKeymap:
            bank.PutKeymap(std::unique_ptr<Keymap>(static_cast<Keymap*>(raw)));
            break;
        case kTypeSampleHeader:
            bank.PutSampleHeader(std::unique_ptr<SampleHeader>(static_cast<SampleHeader*>(raw)));
            break;
        default:
            bank.PutProgram(std::unique_ptr<Program>(static_cast<Program*>(raw)));
            break;
    }
}

// The byte positions where a and b (of one size) differ.
std::vector<size_t> Differences(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    std::vector<size_t> at;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) at.push_back(i);
    return at;
}

}  // namespace

bool UndoHistory::ObjectState::operator==(const ObjectState& o) const {
    const bool sameBytes = bytes == o.bytes || (bytes && o.bytes && *bytes == *o.bytes);
    return sameBytes && role == o.role && partner == o.partner && wave == o.wave;
}

UndoHistory::UndoHistory(ZedoDatabase& bank, int limit) : bank_(bank), limit_(limit) {
    bank_.SetWaveKeeper([this](std::unique_ptr<WaveData> w) { attic_.push_back(std::move(w)); });
    TakeBaseline();
}

UndoHistory::~UndoHistory() {
    bank_.SetWaveKeeper({});
}

void UndoHistory::Reset() {
    steps_.clear();
    position_ = 0;
    saved_ = 0;
    depth_ = 0;
    fieldPending_ = false;
    fieldName_.clear();
    touched_.clear();
    attic_.clear();
    TakeBaseline();
    Notify();
}

UndoHistory::Slot UndoHistory::Capture(int type, int n) const {
    const BankObject* o = bank_.GetObject(type, n);
    if (!o) return std::nullopt;
    ObjectState s;
    s.bytes = std::make_shared<const std::vector<uint8_t>>(o->PackedNow());
    s.role = o->stereoRole;
    s.partner = o->chained && o->chained != o ? o->chained->Number() : -1;
    if (type == kTypeSampleHeader) s.wave = static_cast<const SampleHeader*>(o)->Wave();
    return s;
}

std::vector<UndoHistory::WaveState> UndoHistory::CaptureWaves() const {
    std::vector<WaveState> list;
    for (int i = 0; i < bank_.WaveDataCount(); ++i) {
        const WaveData* w = bank_.GetWaveData(i);
        WaveState s{w, w->base, {}};
        for (const WaveLink& l : w->links)
            s.links.push_back(l.number);
        list.push_back(std::move(s));
    }
    return list;
}

void UndoHistory::TakeBaseline() {
    for (int type = kTypeKeymap; type <= kTypeProgram; ++type)
        for (int n = 0; n < kSlotCount; ++n)
            Baseline(type, n) = Capture(type, n);
    baselineWaves_ = CaptureWaves();
}

void UndoHistory::Touched(const BankObject& object) {
    if (restoring_) return;
    touched_.emplace_back(object.Type(), object.Number());
    if (depth_ == 0 && !fieldPending_) {
        fieldPending_ = true;
        Notify();
    }
}

void UndoHistory::NameFieldStep(std::string name) {
    if (depth_ == 0 && !restoring_) fieldName_ = std::move(name);
}

void UndoHistory::Begin(std::string_view name) {
    if (restoring_) return;
    if (depth_ == 0) {
        Settle();
        // A change made outside any step (no seam told) is no part of this command.
        TakeBaseline();
        commandName_ = std::string(name);
        touched_.clear();
    }
    ++depth_;
}

void UndoHistory::End() {
    if (restoring_ || depth_ == 0 || --depth_ > 0) return;
    Close(commandName_, false);
    touched_.clear();
    // What the command reported is part of its step, not a field edit after it.
    fieldPending_ = false;
    fieldName_.clear();
    Notify();
}

void UndoHistory::Settle() {
    if (!fieldPending_ || depth_ > 0 || restoring_) return;
    fieldPending_ = false;
    Close(fieldName_, true);
    fieldName_.clear();
    touched_.clear();
}

void UndoHistory::Close(std::string name, bool field) {
    Step step;
    step.field = field;
    step.when = std::chrono::steady_clock::now();
    for (int type = kTypeKeymap; type <= kTypeProgram; ++type) {
        for (int n = 0; n < kSlotCount; ++n) {
            Slot now = Capture(type, n);
            Slot& was = Baseline(type, n);
            if (now == was) continue;
            step.changes.push_back({type, n, was, now});
            was = now;
        }
    }
    std::vector<WaveState> waves = CaptureWaves();
    if (waves != baselineWaves_) {
        step.wavesChanged = true;
        step.wavesBefore = baselineWaves_;
        step.wavesAfter = waves;
        baselineWaves_ = std::move(waves);
    }
    if (step.changes.empty() && !step.wavesChanged) return;

    if (name.empty()) {
        // A field edit is named after the first object it was reported for that changed.
        const SlotChange* named = &step.changes.front();
        for (const auto& [type, number] : touched_) {
            auto it = std::find_if(
                step.changes.begin(), step.changes.end(),
                [&](const SlotChange& c) { return c.type == type && c.number == number; });
            if (it != step.changes.end()) {
                named = &*it;
                break;
            }
        }
        const BankObject* o = bank_.GetObject(named->type, named->number);
        PackedHeader h;
        const Slot& side = named->after ? named->after : named->before;
        if (o) {
            name = std::string("Edit ") + o->KindName() + " " + o->Name();
        } else if (side && ReadPackedHeader(*side->bytes, h)) {
            name = "Edit " + h.name;
        } else {
            name = "Edit";
        }
    }
    step.name = std::move(name);

    if (MergesWithLast(step)) {
        if (saved_ == position_) saved_.reset();
        steps_.back().changes.front().after = step.changes.front().after;
        steps_.back().when = step.when;
        return;
    }
    if (saved_ > position_) saved_.reset();
    steps_.resize(position_);
    steps_.push_back(std::move(step));
    position_ = steps_.size();
    Trim();
}

bool UndoHistory::MergesWithLast(const Step& step) const {
    if (!step.field || steps_.empty() || position_ != steps_.size()) return false;
    const Step& last = steps_.back();
    if (!last.field || last.name != step.name || last.wavesChanged || step.wavesChanged ||
        last.changes.size() != 1 || step.changes.size() != 1 ||
        step.when - last.when > kMergeWindow)
        return false;
    const SlotChange& a = last.changes.front();
    const SlotChange& b = step.changes.front();
    if (a.type != b.type || a.number != b.number || !a.before || !a.after || !b.before || !b.after)
        return false;
    const auto& ab = *a.before->bytes;
    const auto& aa = *a.after->bytes;
    const auto& bb = *b.before->bytes;
    const auto& ba = *b.after->bytes;
    if (ab.size() != aa.size() || bb.size() != ba.size() || ab.size() != bb.size()) return false;
    // The same field again: the bytes this edit changed are bytes the last one changed.
    const std::vector<size_t> was = Differences(ab, aa), now = Differences(bb, ba);
    return std::includes(was.begin(), was.end(), now.begin(), now.end());
}

void UndoHistory::Trim() {
    if (int(steps_.size()) > limit_) {
        const size_t drop = steps_.size() - size_t(limit_);
        steps_.erase(steps_.begin(), steps_.begin() + std::ptrdiff_t(drop));
        position_ -= std::min(position_, drop);
        if (saved_ >= drop)
            *saved_ -= drop;
        else
            saved_.reset();
    }
    // Wave data no step can put back any more goes for good.
    std::unordered_set<const WaveData*> used;
    for (const Step& s : steps_) {
        for (const auto* list : {&s.wavesBefore, &s.wavesAfter})
            for (const WaveState& w : *list)
                used.insert(w.wave);
        for (const SlotChange& c : s.changes)
            for (const Slot* side : {&c.before, &c.after})
                if (*side) used.insert((*side)->wave);
    }
    std::erase_if(attic_, [&](const std::unique_ptr<WaveData>& w) { return !used.count(w.get()); });
}

void UndoHistory::MarkSaved() {
    Settle();
    saved_ = position_;
}

void UndoHistory::Notify() {
    if (observer_ && !restoring_) observer_();
}

bool UndoHistory::CanUndo() {
    Settle();
    return position_ > 0;
}

bool UndoHistory::CanRedo() {
    Settle();
    return position_ < steps_.size();
}

std::string UndoHistory::UndoName() {
    return CanUndo() ? steps_[position_ - 1].name : std::string();
}

std::string UndoHistory::RedoName() {
    return CanRedo() ? steps_[position_].name : std::string();
}

int UndoHistory::Count() {
    Settle();
    return int(steps_.size());
}

int UndoHistory::Position() {
    Settle();
    return int(position_);
}

std::string UndoHistory::StepName(int i) const {
    return i >= 0 && size_t(i) < steps_.size() ? steps_[size_t(i)].name : std::string();
}

bool UndoHistory::GoTo(int position, Applied& out) {
    if (depth_ > 0) return false;
    Settle();
    if (position < 0 || size_t(position) > steps_.size() || size_t(position) == position_)
        return false;
    restoring_ = true;
    while (position_ > size_t(position))
        Apply(steps_[--position_], true, out);
    while (position_ < size_t(position))
        Apply(steps_[position_++], false, out);
    restoring_ = false;
    // An object both written back and made anew in one move is new to the synthesizer.
    std::erase_if(out.changed, [&](BankObject* o) {
        return std::find(out.created.begin(), out.created.end(), o) != out.created.end();
    });
    bank_.SetModified(true);
    Notify();
    return true;
}

void UndoHistory::Apply(const Step& step, bool undo, Applied& out) {
    if (step.wavesChanged) {
        RestoreWaves(undo ? step.wavesBefore : step.wavesAfter);
        out.hint = out.hint | kHintSamples;
    }
    auto forget = [&](BankObject* o) {
        std::erase(out.changed, o);
        std::erase(out.created, o);
    };
    for (const SlotChange& c : step.changes) {
        const Slot& target = undo ? c.before : c.after;
        BankObject* o = bank_.GetObject(c.type, c.number);
        out.hint = out.hint | HintFor(c.type);
        if (!target) {
            if (o) {
                forget(o);
                bank_.DeleteObject(o);
            }
            continue;
        }
        const std::vector<uint8_t>& bytes = *target->bytes;
        if (o && o->Unpack(bytes) == kUnpacked) {
            if (std::find(out.changed.begin(), out.changed.end(), o) == out.changed.end())
                out.changed.push_back(o);
        } else {
            if (o) {
                forget(o);
                bank_.DeleteObject(o);
            }
            std::unique_ptr<BankObject> fresh = MakeObject(c.type);
            if (fresh->Unpack(bytes) != kUnpacked) continue;
            o = fresh.get();
            Put(bank_, std::move(fresh));
            out.created.push_back(o);
        }
        o->DropPackedCopy();
        o->stereoRole = target->role;
    }
    // Pairs and wave data once every slot holds its object again.
    for (const SlotChange& c : step.changes) {
        const Slot& target = undo ? c.before : c.after;
        BankObject* o = bank_.GetObject(c.type, c.number);
        if (!target || !o) continue;
        o->chained = target->partner >= 0 ? bank_.GetObject(c.type, target->partner) : nullptr;
        if (c.type == kTypeSampleHeader)
            static_cast<SampleHeader*>(o)->AttachWave(const_cast<WaveData*>(target->wave),
                                                      kAttachReference);
        Baseline(c.type, c.number) = Capture(c.type, c.number);
    }
    baselineWaves_ = CaptureWaves();
}

void UndoHistory::RestoreWaves(const std::vector<WaveState>& target) {
    std::vector<std::unique_ptr<WaveData>> pool = bank_.TakeWaveData();
    const size_t inBank = pool.size();
    for (auto& w : attic_)
        pool.push_back(std::move(w));
    attic_.clear();
    std::vector<std::unique_ptr<WaveData>> list;
    for (const WaveState& s : target) {
        auto it = std::find_if(pool.begin(), pool.end(), [&](const std::unique_ptr<WaveData>& w) {
            return w.get() == s.wave;
        });
        if (it == pool.end()) continue;
        const bool returning = size_t(it - pool.begin()) >= inBank;
        std::unique_ptr<WaveData> w = std::move(*it);
        pool.erase(it);
        w->base = s.base;
        std::vector<WaveLink> links;
        for (int n : s.links) {
            auto had = std::find_if(w->links.begin(), w->links.end(),
                                    [n](const WaveLink& l) { return l.number == n; });
            // A link the synthesizer has not heard of goes with the next upload.
            links.push_back({n, returning || had == w->links.end() || had->pending});
        }
        w->links = std::move(links);
        if (returning && !w->IsRom()) w->uploadPending[0] = w->uploadPending[1] = true;
        list.push_back(std::move(w));
    }
    for (auto& w : pool)
        if (w) attic_.push_back(std::move(w));
    bank_.PutWaveData(std::move(list));
}

}  // namespace talmeru
