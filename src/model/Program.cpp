#include "model/Program.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "platform/ByteIO.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

// ---------------------------------------------------------------------------------------
// Control blocks

namespace {

constexpr uint8_t kKindPitch = 0xD;
constexpr uint8_t kKindFilter = 0xC;
constexpr uint8_t kKindAmp = 0xE;
constexpr uint8_t kFilter2TagOffset = 16;
constexpr uint8_t kAmpTagBase = 16;

constexpr const char* kCorruptAmpQuestion =
    "Talmeru has determined that this bank is corrupt, perhaps due to a bug in ZOR. The byte "
    "length of the AMP modulators is negative!  Would you like to continue loading this bank?";

uint8_t KindNibble(BlockKind kind) {
    switch (kind) {
        case BlockKind::kPitch:
            return kKindPitch;
        case BlockKind::kAmp:
            return kKindAmp;
        default:
            return kKindFilter;
    }
}

uint8_t Clamped(int v, int lo, int hi) {
    return static_cast<uint8_t>(std::clamp(v, lo, hi));
}

}  // namespace

const char* FilterTypeName(int type) {
    static constexpr const char* kNames[kFilterTypeCount] = {
        "Null", "1P LP", "1P HP", "2P LP", "2P LP (res)", "Saw", "Sine", "Dist."};
    return type >= 0 && type < kFilterTypeCount ? kNames[type] : "?";
}

const char* PanModeName(int mode) {
    static constexpr const char* kNames[] = {"Auto", "Fixed", "RevAuto"};
    return mode >= 0 && mode < 3 ? kNames[mode] : "?";
}

ControlBlock::ControlBlock(BlockKind kind) : kind_(kind) {
    Reset();
}

const char* ControlBlock::DisplayName() const {
    switch (kind_) {
        case BlockKind::kPitch:
            return "Pitch";
        case BlockKind::kFilter1:
            return "Filter #1";
        case BlockKind::kFilter2:
            return "Filter #2";
        case BlockKind::kAmp:
            return "Amp";
    }
    return "";
}

void ControlBlock::Reset() {
    entries_.clear();
    blockByte_ = static_cast<uint8_t>(KindNibble(kind_) << 4);
    switch (kind_) {
        case BlockKind::kPitch:
            tag_ = 0;
            bytes_ = {0, 0, 0, 0, kSourceZero};
            break;
        case BlockKind::kFilter1:
        case BlockKind::kFilter2:
            tag_ = kind_ == BlockKind::kFilter2 ? kFilter2TagOffset : 0;
            bytes_ = {64, 0, 0, 0, 0};
            break;
        case BlockKind::kAmp:
            tag_ = kAmpTagBase;
            bytes_ = {static_cast<uint8_t>(-24), 50, 0, kSourceZero, 0};
            break;
    }
}

uint8_t ControlBlock::Byte(int offset) const {
    return offset >= 4 && offset <= 8 ? bytes_[static_cast<size_t>(offset - 4)] : 0;
}

void ControlBlock::SetByte(int offset, uint8_t v) {
    if (offset >= 4 && offset <= 8) bytes_[static_cast<size_t>(offset - 4)] = v;
}

void ControlBlock::SetPitchWord(int v) {
    bytes_[0] = static_cast<uint8_t>(v);
    bytes_[1] = static_cast<uint8_t>(v >> 8);
}

void ControlBlock::SetCoarseTune(int semitones) {
    bytes_[2] = Clamped(semitones, -127, 127);
}

void ControlBlock::SetFineTune(int steps) {
    bytes_[3] = Clamped(steps, -127, 127);
}

void ControlBlock::SetFilterType(int type) {
    if (!IsFilter()) return;
    type = std::clamp(type, 0, kFilterTypeCount - 1);
    blockByte_ = static_cast<uint8_t>((kKindFilter << 4) + type);
    tag_ = static_cast<uint8_t>(type + (kind_ == BlockKind::kFilter2 ? kFilter2TagOffset : 0));
}

void ControlBlock::SetFrequency(int v) {
    v = std::clamp(v, 0, 0x7F00);
    bytes_[1] = static_cast<uint8_t>(v & 0xFF);
    bytes_[0] = static_cast<uint8_t>((v >> 8) + ((v & 0x80) ? 1 : 0));
}

int ControlBlock::VelocityTracking() const {
    if (IsFilter()) return static_cast<int8_t>(bytes_[3]);
    if (kind_ == BlockKind::kAmp) return static_cast<int8_t>(bytes_[1]);
    return 0;
}

void ControlBlock::SetVelocityTracking(int v) {
    if (IsFilter()) bytes_[3] = Clamped(v, -127, 127);
    if (kind_ == BlockKind::kAmp) bytes_[1] = Clamped(v, -64, 64);
}

int ControlBlock::KeyTracking() const {
    if (IsFilter()) return static_cast<int8_t>(bytes_[4]);
    if (kind_ == BlockKind::kAmp) return static_cast<int8_t>(bytes_[2]);
    return 0;
}

void ControlBlock::SetKeyTracking(int v) {
    if (IsFilter()) bytes_[4] = Clamped(v, -127, 127);
    if (kind_ == BlockKind::kAmp) bytes_[2] = Clamped(v, -48, 48);
}

void ControlBlock::SetGain(int db) {
    if (kind_ == BlockKind::kAmp) bytes_[0] = Clamped(db, -64, 32);
}

void ControlBlock::SetHeadroom1(int v) {
    tag_ = static_cast<uint8_t>((tag_ & ~0x03) | std::clamp(v, 0, 3));
}

void ControlBlock::SetHeadroom2(int v) {
    tag_ = static_cast<uint8_t>((tag_ & ~0x0C) | (std::clamp(v, 0, 3) << 2));
}

uint8_t* ControlBlock::FixedControl() {
    if (kind_ == BlockKind::kPitch) return &bytes_[4];
    if (kind_ == BlockKind::kAmp) return &bytes_[3];
    return nullptr;
}

int ControlBlock::FixedControlSource() const {
    if (kind_ == BlockKind::kPitch) return bytes_[4];
    if (kind_ == BlockKind::kAmp) return bytes_[3];
    return -1;
}

const char* ControlBlock::FixedControlName() const {
    if (kind_ == BlockKind::kPitch) return "Detune Ctrl";
    if (kind_ == BlockKind::kAmp) return "Cross-Fade Ctrl";
    return "";
}

ModulationEntry* ControlBlock::AddEntry(const ModulationEntry& entry) {
    if (entries_.size() >= kMaxEntries) return nullptr;
    entries_.push_back(entry);
    return &entries_.back();
}

bool ControlBlock::RemoveEntry(int index) {
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return false;
    entries_.erase(entries_.begin() + index);
    return true;
}

int ControlBlock::PackedSize() const {
    if (IsNullFilter()) return kNullFilterSize;
    return kFixedSize + 4 * static_cast<int>(entries_.size());
}

int ControlBlock::Unpack(std::span<const uint8_t> bytes, int* next) {
    try {
        ByteReader r(bytes);
        uint8_t blockByte = r.U8();
        int size = r.U8();
        uint8_t tag = r.U8();
        r.Skip(1);
        if ((blockByte >> 4) != KindNibble(kind_)) return 1;

        if (IsFilter() && ((blockByte & 0x07) == 0 || size == kNullFilterSize)) {
            // A Null filter carries nothing; a typed filter of size 4 is read as one too. A
            // size that ends inside the block's own bytes or past the data is refused.
            if (size < kNullFilterSize || static_cast<size_t>(size) > bytes.size()) return 1;
            Reset();
            if ((blockByte & 0x07) == 0) {
                blockByte_ = blockByte;
                tag_ = tag;
            }
            *next = size;
            return 0;
        }
        if (IsFilter() && size < kFixedSize) return 1;

        std::array<uint8_t, 5> fields{};
        for (auto& b : fields)
            b = r.U8();
        int count = r.U8();
        if (kind_ == BlockKind::kPitch && size - kFixedSize < 4 * count) {
            ShowMessage("Error: Pitch CCD is corrupt.");
            return 1;
        }
        if (count > kMaxEntries) return 1;
        if (kind_ == BlockKind::kAmp && size == 8) {
            // Banks written by another editor put 8 here; the entries are still intact.
            if (!AskYesNo(kCorruptAmpQuestion)) return 1;
            size = kFixedSize + 4 * count;
        }
        if (size - kFixedSize < 4 * count) return 1;
        if (static_cast<size_t>(size) > bytes.size()) return 1;

        std::vector<ModulationEntry> entries;
        for (int i = 0; i < count; ++i) {
            ModulationEntry e;
            e.controlSource = r.U8();
            e.baseDepth = r.S8();
            e.adjustedDepth = r.S8();
            e.depthAdjustSource = r.U8();
            entries.push_back(e);
        }
        blockByte_ = blockByte;
        tag_ = tag;
        bytes_ = fields;
        entries_ = std::move(entries);
        *next = size;
        return 0;
    } catch (const ReadPastEnd&) {
        return 1;
    }
}

int ControlBlock::Pack(ByteWriter& out) const {
    if (IsFilter()) {
        if ((blockByte_ >> 4) != kKindFilter) {
            ShowMessage(Fmt("Filter type=%d should be %d\n", blockByte_ >> 4, kKindFilter));
            return 1;
        }
        if (IsNullFilter()) {
            out.U8(blockByte_);
            out.U8(kNullFilterSize);
            out.U8(tag_);
            out.U8(0);
            return 0;
        }
        if (entries_.size() > kMaxEntries) {
            ShowMessage("packmoddesclist failed");
            return 1;
        }
    } else if (entries_.size() > kMaxEntries) {
        return 1;
    }
    out.U8(blockByte_);
    out.U8(static_cast<uint8_t>(PackedSize()));
    out.U8(tag_);
    out.U8(0);
    for (uint8_t b : bytes_)
        out.U8(b);
    out.U8(static_cast<uint8_t>(entries_.size()));
    for (const auto& e : entries_) {
        out.U8(e.controlSource);
        out.S8(e.baseDepth);
        out.S8(e.adjustedDepth);
        out.U8(e.depthAdjustSource);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Modulator lookups and the order check

namespace {

// Beyond this many levels of references a walk counts as a recursion.
constexpr int kMaxChain = 16;
constexpr int kEndless = kMaxChain + 1;
// WouldLoop gives up (answers false) deeper than this.
constexpr int kMaxLoopDepth = 10;

using ModulatorList = std::vector<std::unique_ptr<Modulator>>;

int LowestFreeId(const ModulatorList& list) {
    for (int id = 0; id < kMaxModulators; ++id) {
        bool used =
            std::any_of(list.begin(), list.end(), [id](const auto& m) { return m->Id() == id; });
        if (!used) return id;
    }
    return -1;
}

Modulator* FindById(const ModulatorList& list, int id) {
    for (const auto& m : list)
        if (m->Id() == id) return m.get();
    return nullptr;
}

int RemoveFrom(ModulatorList& list, const Modulator* m) {
    auto it = std::find_if(list.begin(), list.end(), [m](const auto& p) { return p.get() == m; });
    if (it == list.end()) return 1;
    list.erase(it);
    return 0;
}

// The longest chain of references from a modulator, a cycle counting as endless. Results
// are remembered, so a walk over a tangle of modulators stays linear instead of following
// every path again.
class ChainMeter {
  public:
    explicit ChainMeter(const ModulatorScope& scope) : scope_(scope) {}

    int Depth(Modulator& m) {
        if (open_.count(&m)) return kEndless;
        if (auto it = memo_.find(&m); it != memo_.end()) return it->second;
        open_.insert(&m);
        int deepest = 0;
        for (int i = 0; i < m.InputCount() && deepest < kEndless; ++i) {
            Modulator* next = scope_.Resolve(m, m.InputSource(i));
            if (next) deepest = std::max(deepest, std::min(kEndless, 1 + Depth(*next)));
        }
        open_.erase(&m);
        memo_[&m] = deepest;
        return deepest;
    }

    void ClearPlacedOfReached() {
        for (auto& [m, depth] : memo_)
            m->placed = false;
    }

  private:
    const ModulatorScope& scope_;
    std::map<Modulator*, int> memo_;
    std::set<Modulator*> open_;
};

// The two passes over one list. warning(m) words the order warning; false when shown.
template <typename Warning>
bool CheckOrder(const ModulatorScope& scope, const ModulatorList& list, Warning warning) {
    ChainMeter meter(scope);
    for (const auto& m : list)
        if (meter.Depth(*m) > kMaxChain) ShowMessage("Recursion in modulators detected, aborting");
    meter.ClearPlacedOfReached();
    for (const auto& m : list) {
        if (meter.Depth(*m) > kMaxChain) {
            ShowMessage("Recursion in modulators detected, aborting 2");
            ShowMessage(warning(*m));
            return false;
        }
        m->placed = true;
    }
    return true;
}

bool WouldLoopStep(const ModulatorScope& scope, const Modulator& start, const Modulator& target,
                   int depth, std::map<std::pair<const Modulator*, int>, bool>& memo) {
    if (depth > kMaxLoopDepth || &start == &target) return false;
    auto key = std::make_pair(&start, depth);
    if (auto it = memo.find(key); it != memo.end()) return it->second;
    bool fine = true;
    for (int i = 0; i < start.InputCount() && fine; ++i) {
        Modulator* next = scope.Resolve(start, start.InputSource(i));
        if (next && !WouldLoopStep(scope, *next, target, depth + 1, memo)) fine = false;
    }
    memo[key] = fine;
    return fine;
}

}  // namespace

Modulator* ModulatorScope::Resolve(const Modulator& holder, int source) const {
    if (source < 0) return nullptr;
    auto code = static_cast<uint8_t>(source);
    if (ClassifySource(code) == SourceClass::kProgramModulator)
        return program ? program->FindModulator(SourceModulatorId(code)) : nullptr;
    if (ClassifySource(code) == SourceClass::kLayerModulator && holder.ownerKind == kLayerModulator)
        return layer ? layer->FindModulator(SourceModulatorId(code)) : nullptr;
    return nullptr;
}

bool WouldLoop(const ModulatorScope& scope, const Modulator& start, const Modulator& target,
               int depth) {
    std::map<std::pair<const Modulator*, int>, bool> memo;
    return WouldLoopStep(scope, start, target, depth, memo);
}

// ---------------------------------------------------------------------------------------
// Layers

Layer::Layer(Program* owner, int index)
    : owner_(owner),
      index_(index),
      blocks_{ControlBlock(BlockKind::kPitch), ControlBlock(BlockKind::kFilter1),
              ControlBlock(BlockKind::kFilter2), ControlBlock(BlockKind::kAmp)} {}

Layer::~Layer() {
    Unpair();
}

std::string Layer::DisplayName() const {
    if (index_ < 0 || index_ >= 1000) return "Layer xxx";
    return Fmt("Layer #%d", index_);
}

void Layer::Reset() {
    flags = 0;
    keyHigh = 127;
    keyLow = 0;
    velocityHigh = 127;
    velocityLow = 0;
    timbreShift = 0;
    panByte = 15;
    exclusiveZone = 0;
    keymap = 0;
    delay = 0;
    layerByte = 0;
    modulators_.clear();
    for (auto& b : blocks_)
        b.Reset();
}

int Layer::Unpack(std::span<const uint8_t> bytes) {
    try {
        ByteReader r(bytes);
        flags = r.U16();
        keyHigh = r.U8();
        keyLow = r.U8();
        velocityHigh = r.U8();
        velocityLow = r.U8();
        timbreShift = r.S8();
        panByte = r.U8();
        exclusiveZone = r.U8();
        r.Skip(1);
        keymap = r.U16();
        delay = r.U16();
        layerByte = r.U8();
        // The stored modulator count is not trusted: the list ends where a block begins.
        r.Skip(1);

        modulators_.clear();
        size_t pos = kHeaderSize;
        bool ok = true;
        for (;;) {
            ParsedModulator p = ParseModulator(bytes.subspan(pos));
            if (p.result == ParseResult::kEndOfList) break;
            if (p.result == ParseResult::kFailed || modulators_.size() >= kMaxModulators) {
                ok = false;
                break;
            }
            p.modulator->ownerKind = kLayerModulator;
            pos += static_cast<size_t>(p.modulator->PackedSize());
            modulators_.push_back(std::move(p.modulator));
        }
        for (size_t i = 0; ok && i < blocks_.size(); ++i) {
            int next = 0;
            if (blocks_[i].Unpack(bytes.subspan(pos), &next) != 0) ok = false;
            pos += static_cast<size_t>(next);
        }
        if (ok) return 0;
    } catch (const ReadPastEnd&) {
    }
    Reset();
    return 1;
}

int Layer::PackedSize() const {
    int size = kHeaderSize;
    for (const auto& m : modulators_)
        size += m->PackedSize();
    for (const auto& b : blocks_)
        size += b.PackedSize();
    return size;
}

int Layer::Pack(ByteWriter& out) const {
    out.U16(flags);
    out.U8(keyHigh);
    out.U8(keyLow);
    out.U8(velocityHigh);
    out.U8(velocityLow);
    out.S8(timbreShift);
    out.U8(panByte);
    out.U8(exclusiveZone);
    out.U8(0);
    out.U16(keymap);
    out.U16(delay);
    out.U8(layerByte);
    out.U8(static_cast<uint8_t>(modulators_.size()));
    for (size_t i = 0; i < modulators_.size(); ++i) {
        // Ids are four bits and a seventeenth modulator would not unpack again.
        std::vector<uint8_t> bytes;
        if (i < kMaxModulators) bytes = modulators_[i]->Packed();
        if (bytes.empty()) {
            ShowMessage(Fmt("obscure error: lymodlist->pack %d", static_cast<int>(i)));
            return 1;
        }
        out.Bytes(bytes);
    }
    static constexpr const char* kBlockFailures[] = {
        "obscure error: pitch->pack", "obscure error: filter0->pack",
        "obscure error: filter1->pack", "obscure error: amp->pack"};
    for (size_t i = 0; i < blocks_.size(); ++i) {
        if (blocks_[i].Pack(out) != 0) {
            ShowMessage(kBlockFailures[i]);
            return 1;
        }
    }
    return 0;
}

std::vector<uint8_t> Layer::Packed() const {
    ByteWriter w;
    if (Pack(w) != 0) return {};
    return w.Take();
}

void Layer::CopyFrom(const Layer& other, bool keepPanAndKeymap) {
    if (&other == this) return;
    flags = other.flags;
    keyHigh = other.keyHigh;
    keyLow = other.keyLow;
    velocityHigh = other.velocityHigh;
    velocityLow = other.velocityLow;
    timbreShift = other.timbreShift;
    exclusiveZone = other.exclusiveZone;
    delay = other.delay;
    layerByte = other.layerByte;
    if (!keepPanAndKeymap) {
        panByte = other.panByte;
        keymap = other.keymap;
    }
    ModulatorList copies;
    for (const auto& m : other.modulators_)
        copies.push_back(m->Clone());
    modulators_ = std::move(copies);
    blocks_ = other.blocks_;
}

int Layer::AddModulator(std::unique_ptr<Modulator> m) {
    if (!m || modulators_.size() >= kMaxModulators) return -1;
    int id = LowestFreeId(modulators_);
    if (id < 0) return -1;
    m->SetId(id);
    m->ownerKind = kLayerModulator;
    modulators_.insert(modulators_.begin(), std::move(m));
    CheckModulatorOrder();
    return id;
}

Modulator* Layer::FindModulator(int id) const {
    return FindById(modulators_, id);
}

Modulator* Layer::FindProgramModulator(int id) const {
    return owner_ ? owner_->FindModulator(id) : nullptr;
}

int Layer::RemoveModulator(const Modulator* m) {
    return RemoveFrom(modulators_, m);
}

Modulator* Layer::ResolveSource(int source) const {
    if (source < 0) return nullptr;
    auto code = static_cast<uint8_t>(source);
    if (ClassifySource(code) == SourceClass::kProgramModulator)
        return FindProgramModulator(SourceModulatorId(code));
    if (ClassifySource(code) == SourceClass::kLayerModulator)
        return FindModulator(SourceModulatorId(code));
    return nullptr;
}

ModulatorScope Layer::Scope() const {
    return {owner_, this};
}

bool Layer::CheckModulatorOrder() {
    if (owner_)
        for (const auto& m : owner_->Modulators())
            m->placed = true;
    return CheckOrder(Scope(), modulators_, [this](const Modulator& m) {
        return Fmt(
            "Layer #%d Modulator #%d (%s) depends on other Layer Modulators that appear later in "
            "the modulator list. Please consult the object browser to see the ordering, and "
            "change the order until it works. You may only need to more this modulator to the "
            "end of the list.",
            index_, m.Id(), m.KindName());
    });
}

void Layer::SetPan(int pan) {
    panByte = static_cast<uint8_t>((panByte & ~0x1F) | (pan & 0x1F));
}

void Layer::SetPanMode(int mode) {
    panByte = static_cast<uint8_t>((panByte & ~0x60) | ((mode & 0x03) << 5));
}

void Layer::SetIgnoreNoteOff(bool on) {
    flags = static_cast<uint16_t>(on ? flags | kFlagIgnoreNoteOff : flags & ~kFlagIgnoreNoteOff);
}

void Layer::SetNaturalEnvelope(bool on) {
    flags = static_cast<uint16_t>(on ? flags & ~kFlagNoNaturalEnvelope
                                     : flags | kFlagNoNaturalEnvelope);
}

void Layer::SetWhiteNoise(bool on) {
    flags = static_cast<uint16_t>(on ? flags | kFlagWhiteNoise : flags & ~kFlagWhiteNoise);
}

void Layer::PairWith(Layer& right) {
    if (&right == this) return;
    Unpair();
    right.Unpair();
    stereoState_ = kStereoLeft;
    partner_ = &right;
    right.stereoState_ = kStereoRight;
    right.partner_ = this;
}

void Layer::Unpair() {
    if (partner_) {
        partner_->stereoState_ = kMono;
        partner_->partner_ = nullptr;
    }
    stereoState_ = kMono;
    partner_ = nullptr;
}

void Layer::UpdateRightHalf() const {
    if (stereoState_ == kStereoLeft && partner_) partner_->CopyFrom(*this, true);
}

bool CanJoinStereo(const Layer& first, const Layer& second) {
    if (first.Pan() != 0 || second.Pan() != 31) return false;
    if (first.keymap == second.keymap) return false;
    Layer probe(nullptr, first.Index());
    probe.CopyFrom(second, false);
    probe.keymap = first.keymap;
    probe.SetPan(first.Pan());
    std::vector<uint8_t> a = first.Packed();
    return !a.empty() && a == probe.Packed();
}

// ---------------------------------------------------------------------------------------
// Programs

Program::Program() : BankObject(kTypeProgram) {}

Program::Program(const Program& other) : BankObject(kTypeProgram) {
    CopyHeaderFrom(other);
    loaded_ = other.loaded_;
    programByte = other.programByte;
    for (const auto& m : other.modulators_)
        modulators_.push_back(m->Clone());
    for (size_t i = 0; i < other.layers_.size(); ++i) {
        auto layer = std::make_unique<Layer>(this, static_cast<int>(i));
        layer->CopyFrom(*other.layers_[i], false);
        layers_.push_back(std::move(layer));
    }
    for (size_t i = 0; i < other.layers_.size(); ++i) {
        const Layer& source = *other.layers_[i];
        if (source.StereoState() != kStereoLeft || !source.Partner()) continue;
        for (size_t j = 0; j < other.layers_.size(); ++j)
            if (other.layers_[j].get() == source.Partner()) layers_[i]->PairWith(*layers_[j]);
    }
}

Layer* Program::GetLayer(int index) const {
    if (index < 0 || index >= LayerCount()) return nullptr;
    return layers_[static_cast<size_t>(index)].get();
}

int Program::Unpack(std::span<const uint8_t> block) {
    if (UnpackHeader(block) != 0) return 1;
    layers_.clear();
    modulators_.clear();
    std::span<const uint8_t> body = BodyOf(block);
    try {
        ByteReader r(body);
        programByte = r.U8();
        r.Skip(1);
        int layerCount = r.U8();
        int modulatorCount = r.U8();
        if (layerCount > kMaxLayers || modulatorCount > kMaxModulators) return 2;
        std::vector<size_t> offsets;
        for (int i = 0; i < layerCount; ++i)
            offsets.push_back(r.U16());

        size_t pos = r.Pos();
        for (int i = 0; i < modulatorCount; ++i) {
            ParsedModulator p = ParseModulator(body.subspan(pos));
            if (p.result != ParseResult::kDone) return 1;
            p.modulator->ownerKind = kProgramModulator;
            pos += static_cast<size_t>(p.modulator->PackedSize());
            modulators_.push_back(std::move(p.modulator));
        }
        for (int i = 0; i < layerCount; ++i) {
            size_t offset = offsets[static_cast<size_t>(i)];
            if (offset >= body.size()) return 1;
            auto layer = std::make_unique<Layer>(this, i);
            if (layer->Unpack(body.subspan(offset)) != 0) return 1;
            layers_.push_back(std::move(layer));
        }
    } catch (const ReadPastEnd&) {
        return 1;
    }
    return 0;
}

int Program::BodySize() const {
    int size = 4 + 2 * LayerCount();
    for (const auto& m : modulators_)
        size += m->PackedSize();
    for (const auto& l : layers_)
        size += l->PackedSize();
    return size;
}

int Program::PackBody(std::span<uint8_t> body) const {
    int layerCount = LayerCount();
    int modulatorCount = ModulatorCount();
    // Ids are four bits wide, so more than 16 program modulators cannot be told apart.
    if (layerCount > kMaxLayers || modulatorCount > kMaxModulators) {
        ShowMessage(Fmt("too many layer=%d global=%d", layerCount, modulatorCount));
        return 2;
    }
    ByteWriter w(body.size());
    w.U8(programByte);
    w.U8(0);
    w.U8(static_cast<uint8_t>(layerCount));
    w.U8(static_cast<uint8_t>(modulatorCount));
    w.Zeros(2 * static_cast<size_t>(layerCount));
    for (const auto& m : modulators_) {
        std::vector<uint8_t> bytes = m->Packed();
        if (bytes.empty()) {
            ShowMessage("obscure error: mod->pack");
            return 1;
        }
        w.Bytes(bytes);
    }
    for (int i = 0; i < layerCount; ++i) {
        w.PatchU16(4 + 2 * static_cast<size_t>(i), static_cast<uint16_t>(w.Pos()));
        if (layers_[static_cast<size_t>(i)]->Pack(w) != 0) {
            ShowMessage("obscure error: layer->pack");
            return 1;
        }
    }
    if (w.Pos() != body.size()) return 1;
    std::memcpy(body.data(), w.Data().data(), body.size());
    return 0;
}

void Program::Renumber() {
    for (size_t i = 0; i < layers_.size(); ++i)
        layers_[i]->SetIndex(static_cast<int>(i));
}

Layer* Program::AddLayer(const BankObject& keymap, bool stereo) {
    int needed = stereo ? 2 : 1;
    if (LayerCount() + needed > kMaxLayers) return nullptr;
    if (stereo && !keymap.chained) return nullptr;
    auto left = std::make_unique<Layer>(this, LayerCount());
    left->keymap = static_cast<uint16_t>(keymap.Number());
    Layer* result = left.get();
    layers_.push_back(std::move(left));
    if (stereo) {
        auto right = std::make_unique<Layer>(this, LayerCount());
        right->keymap = static_cast<uint16_t>(keymap.chained->Number());
        result->PairWith(*right);
        result->SetPan(0);
        right->SetPan(31);
        result->delay = 1;
        right->delay = 1;
        layers_.push_back(std::move(right));
    }
    return result;
}

int Program::DeleteLayer(int index) {
    Layer* victim = GetLayer(index);
    if (!victim) return 1;
    Layer* partner = victim->StereoState() == kStereoLeft ? victim->Partner() : nullptr;
    victim->Unpair();
    std::erase_if(layers_, [&](const auto& l) { return l.get() == victim || l.get() == partner; });
    Renumber();
    return 0;
}

Layer* Program::DuplicateLayer(int index) {
    Layer* source = GetLayer(index);
    if (!source) return nullptr;
    Layer* sourcePartner = source->StereoState() == kStereoLeft ? source->Partner() : nullptr;
    if (LayerCount() + (sourcePartner ? 2 : 1) > kMaxLayers) return nullptr;
    auto copy = std::make_unique<Layer>(this, LayerCount());
    copy->CopyFrom(*source, false);
    Layer* result = copy.get();
    layers_.push_back(std::move(copy));
    if (sourcePartner) {
        auto partnerCopy = std::make_unique<Layer>(this, LayerCount());
        partnerCopy->CopyFrom(*sourcePartner, false);
        result->PairWith(*partnerCopy);
        layers_.push_back(std::move(partnerCopy));
    }
    return result;
}

void Program::DeleteAllLayers() {
    layers_.clear();
}

int Program::AddModulator(std::unique_ptr<Modulator> m) {
    if (!m || modulators_.size() >= kMaxModulators) return -1;
    int id = LowestFreeId(modulators_);
    if (id < 0) return -1;
    m->SetId(id);
    m->ownerKind = kProgramModulator;
    modulators_.insert(modulators_.begin(), std::move(m));
    CheckModulatorOrder();
    return id;
}

Modulator* Program::FindModulator(int id) const {
    return FindById(modulators_, id);
}

int Program::RemoveModulator(const Modulator* m) {
    return RemoveFrom(modulators_, m);
}

Modulator* Program::ResolveSource(int source) const {
    if (source < 0) return nullptr;
    auto code = static_cast<uint8_t>(source);
    if (ClassifySource(code) != SourceClass::kProgramModulator) return nullptr;
    return FindModulator(SourceModulatorId(code));
}

bool Program::CheckModulatorOrder() {
    bool inOrder = CheckOrder(Scope(), modulators_, [](const Modulator& m) {
        return Fmt(
            "Warning: Program Modulator #%d (%s) depends on other Program Modulators that appear "
            "later in the modulator list. Please consult the object browser to see the "
            "ordering, and change the order until it works. You may only need to more this "
            "modulator to the end of the list.",
            m.Id(), m.KindName());
    });
    for (const auto& layer : layers_)
        if (!layer->CheckModulatorOrder()) inOrder = false;
    return inOrder;
}

std::string Program::DisplayName(const ProgramNumbering& numbering) const {
    return DisplayText(Number(), Name(), numbering);
}

std::string Program::DisplayText(int number, std::string_view name,
                                 const ProgramNumbering& numbering) {
    std::string prefix;
    int shown = number;
    if (numbering.bankPrefix) {
        prefix = Fmt("%d/", number / 128);
        shown = number % 128;
    }
    std::string text(name);
    switch (numbering.style) {
        case 1:
            return Fmt("%s%d - %s", prefix.c_str(), shown + 1, text.c_str());
        case 2:
            return Fmt("%s%c%c%c - %s", prefix.c_str(), 'A' + shown / 64, '1' + (shown % 64) / 8,
                       '1' + shown % 8, text.c_str());
        default:
            return Fmt("%s%d - %s", prefix.c_str(), shown, text.c_str());
    }
}

}  // namespace talmeru
