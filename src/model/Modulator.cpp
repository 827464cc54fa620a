#include "model/Modulator.h"

#include <algorithm>

#include "model/ModSource.h"

namespace talmeru {

// ---------------------------------------------------------------------------------------
// Common part

void Modulator::PackHeader(std::span<uint8_t> bytes) const {
    bytes[0] = static_cast<uint8_t>((static_cast<int>(kind_) << 4) | id_);
    bytes[1] = static_cast<uint8_t>(PackedSize());
}

int Modulator::PackedSize() const {
    return size_;
}

int Modulator::InputSource(int i) const {
    // Input() hands out the byte for editing; reading it does not change this modulator.
    const uint8_t* p = const_cast<Modulator*>(this)->Input(i);
    return p ? *p : -1;
}

int Modulator::Pack(std::span<uint8_t> bytes) const {
    int size = PackedSize();
    if (size < 2 || size > kMaxModulatorSize || bytes.size() < static_cast<size_t>(size))
        return kPackFailed;
    PackHeader(bytes);
    return PackBody(bytes.first(static_cast<size_t>(size)));
}

std::vector<uint8_t> Modulator::Packed() const {
    std::vector<uint8_t> out(static_cast<size_t>(std::max(PackedSize(), 0)));
    if (Pack(out) != kPacked) out.clear();
    return out;
}

int Modulator::CheckHeader(std::span<const uint8_t> bytes, ModulatorKind kind, int minSize) {
    if (bytes.size() < 2) return 0;
    if ((bytes[0] >> 4) != static_cast<int>(kind)) return 0;
    int size = bytes[1];
    if (size > kMaxModulatorSize || size < minSize) return 0;
    if (static_cast<size_t>(size) > bytes.size()) return 0;
    return size;
}

void Modulator::TakeHeader(std::span<const uint8_t> bytes) {
    id_ = bytes[0] & 0x0F;
    size_ = bytes[1];
    tail_.clear();
}

void Modulator::CopyBaseFrom(const Modulator& other) {
    id_ = other.id_;
    size_ = other.size_;
    tail_ = other.tail_;
    ownerKind = other.ownerKind;
    placed = other.placed;
}

// ---------------------------------------------------------------------------------------
// FUN

namespace {

struct FunOperator {
    const char* name;
    int inputs;
    std::array<const char*, 3> inputNames;
};

constexpr const char* kNone = nullptr;

constexpr std::array<FunOperator, kFunOperatorCount> kFunOperators = {{
    {"A+B+C", 3, {"A", "B", "C"}},
    {"(A+B)*C", 3, {"A", "B", "C"}},
    {"(A-B)*C", 3, {"A", "B", "C"}},
    {"A+(B*C)", 3, {"A", "B", "C"}},
    {"A-(B*C)", 3, {"A", "B", "C"}},
    {"A*B*C", 3, {"A", "B", "C"}},
    {"", 0, {"A", "B", "C"}},
    {"In Range", 3, {"Input", "Lower Limit", "Upper Limit"}},
    {"Scale", 3, {"Input", "Lower Limit", "Upper Limit"}},
    {"Diode", 2, {"Input", "Threshold", kNone}},
    {"Track", 2, {"Gate", "Input", kNone}},
    {"Sample Hold", 2, {"Gate", "Input", kNone}},
    {"Low Pass", 2, {"Rate", "Input", kNone}},
    {"High Pass", 2, {"Rate", "Input", kNone}},
    {"Quantize", 2, {"Input", "Steps", kNone}},
    {"|Diode|", 2, {"Input", "Threshold", kNone}},
    {"Cosine", 1, {"Input", kNone, kNone}},
    {"And", 3, {"A", "B", "C"}},
    {"Or", 3, {"A", "B", "C"}},
    {"Limit", 3, {"Input", "Lower Limit", "Upper Limit"}},
    {"Maximum", 2, {"A", "B", "C"}},
    {"Minumum", 2, {"A", "B", "C"}},
}};

bool ValidOperator(int op) {
    return op >= 0 && op < kFunOperatorCount;
}

}  // namespace

const char* FunOperatorName(int op) {
    return ValidOperator(op) ? kFunOperators[static_cast<size_t>(op)].name : "ERROR";
}

int FunOperatorInputCount(int op) {
    return ValidOperator(op) ? kFunOperators[static_cast<size_t>(op)].inputs : 0;
}

const char* FunOperatorInputName(int op, int input) {
    if (!ValidOperator(op) || input < 0 || input >= 3) return "ERROR";
    const char* name =
        kFunOperators[static_cast<size_t>(op)].inputNames[static_cast<size_t>(input)];
    return name ? name : "ERROR";
}

int FunModulator::InputCount() const {
    return FunOperatorInputCount(op_);
}

uint8_t* FunModulator::Input(int i) {
    return i >= 0 && i < 3 ? &inputs_[static_cast<size_t>(i)] : nullptr;
}

std::string FunModulator::InputName(int i) const {
    return FunOperatorInputName(op_, i);
}

std::string FunModulator::SubtypeName() const {
    return FunOperatorName(op_);
}

std::unique_ptr<Modulator> FunModulator::Clone() const {
    auto m = std::make_unique<FunModulator>();
    m->CopyFrom(*this);
    return m;
}

void FunModulator::CopyFrom(const Modulator& other) {
    auto* o = dynamic_cast<const FunModulator*>(&other);
    if (!o || o == this) return;
    CopyBaseFrom(*o);
    op_ = o->op_;
    flag_ = o->flag_;
    inputs_ = o->inputs_;
}

void FunModulator::Reset() {
    size_ = kSize;
    tail_.clear();
    op_ = 0;
    flag_ = false;
    inputs_ = {kSourceOne, kSourceOne, kSourceOne};
}

bool FunModulator::SetOperator(int op) {
    if (!ValidOperator(op)) return false;
    op_ = op;
    return true;
}

int FunModulator::Unpack(std::span<const uint8_t> bytes) {
    int size = CheckHeader(bytes, Kind(), kSize);
    if (size == 0) return kUnpackFailed;
    int op = bytes[2] & 0x7F;
    if (!ValidOperator(op)) return kUnpackFailed;
    TakeHeader(bytes);
    op_ = op;
    flag_ = (bytes[2] & 0x80) != 0;
    for (size_t i = 0; i < 3; ++i)
        inputs_[i] = bytes[3 + i];
    tail_.assign(bytes.begin() + kSize, bytes.begin() + size_);
    return kUnpacked;
}

int FunModulator::PackBody(std::span<uint8_t> bytes) const {
    if (bytes.size() < static_cast<size_t>(PackedSize()) || !ValidOperator(op_)) return kPackFailed;
    bytes[2] = static_cast<uint8_t>(op_ | (flag_ ? 0x80 : 0));
    for (size_t i = 0; i < 3; ++i)
        bytes[3 + i] = inputs_[i];
    std::copy(tail_.begin(), tail_.end(), bytes.begin() + kSize);
    return kPacked;
}

// ---------------------------------------------------------------------------------------
// LFO

const char* LfoShapeName(int shape) {
    switch (shape) {
        case 1:
            return "Sine";
        case 2:
            return "Square";
        case 3:
            return "Ramp";
        case 4:
            return "Triangle";
        default:
            return "?";
    }
}

std::unique_ptr<Modulator> LfoModulator::Clone() const {
    auto m = std::make_unique<LfoModulator>();
    m->CopyFrom(*this);
    return m;
}

void LfoModulator::CopyFrom(const Modulator& other) {
    auto* o = dynamic_cast<const LfoModulator*>(&other);
    if (!o || o == this) return;
    CopyBaseFrom(*o);
    shapePhase_ = o->shapePhase_;
    baseRate_ = o->baseRate_;
    adjustedRate_ = o->adjustedRate_;
    rateAdjust_ = o->rateAdjust_;
}

void LfoModulator::Reset() {
    size_ = kSize;
    tail_.clear();
    shapePhase_ = 1;
    baseRate_ = 50;
    adjustedRate_ = 200;
    rateAdjust_ = kSourceZero;
}

void LfoModulator::SetShape(int shape) {
    shapePhase_ = static_cast<uint8_t>((shapePhase_ & 0xF0) | (shape & 0x0F));
}

void LfoModulator::SetPhase(int phase) {
    shapePhase_ = static_cast<uint8_t>((shapePhase_ & 0x0F) | ((phase & 0x0F) << 4));
}

int LfoModulator::Unpack(std::span<const uint8_t> bytes) {
    int size = CheckHeader(bytes, Kind(), kSize);
    if (size == 0) return kUnpackFailed;
    TakeHeader(bytes);
    shapePhase_ = bytes[2];
    baseRate_ = bytes[3];
    adjustedRate_ = bytes[4];
    rateAdjust_ = bytes[5];
    tail_.assign(bytes.begin() + kSize, bytes.begin() + size);
    return kUnpacked;
}

int LfoModulator::PackBody(std::span<uint8_t> bytes) const {
    if (bytes.size() < static_cast<size_t>(PackedSize())) return kPackFailed;
    bytes[2] = shapePhase_;
    bytes[3] = baseRate_;
    bytes[4] = adjustedRate_;
    bytes[5] = rateAdjust_;
    std::copy(tail_.begin(), tail_.end(), bytes.begin() + kSize);
    return kPacked;
}

// ---------------------------------------------------------------------------------------
// ENV

namespace {
constexpr int kEnvFixedSize = 8;
// Time of a segment added by growing a group.
constexpr uint8_t kNewSegmentTime = 24;

int8_t ClampLevel(int level) {
    return static_cast<int8_t>(std::clamp(level, -127, 127));
}
}  // namespace

uint8_t* EnvModulator::Input(int i) {
    return i >= 0 && i < 4 ? &inputs_[static_cast<size_t>(i)] : nullptr;
}

std::string EnvModulator::InputName(int i) const {
    static constexpr const char* kNames[] = {"Trigger", "AttackRate", "DecayRate", "RelRate"};
    return i >= 0 && i < 4 ? kNames[i] : "";
}

std::unique_ptr<Modulator> EnvModulator::Clone() const {
    auto m = std::make_unique<EnvModulator>();
    m->CopyFrom(*this);
    return m;
}

void EnvModulator::CopyFrom(const Modulator& other) {
    auto* o = dynamic_cast<const EnvModulator*>(&other);
    if (!o || o == this) return;
    CopyBaseFrom(*o);
    counts_ = o->counts_;
    inputs_ = o->inputs_;
    startLevel_ = o->startLevel_;
    segments_ = o->segments_;
}

void EnvModulator::Reset() {
    tail_.clear();
    counts_ = 0;
    inputs_ = {kSourceOne, kSourceOne, kSourceOne, kSourceOne};
    startLevel_ = 64;
    segments_ = {{127, 0}, {127, 50}, {0, 0}};
    size_ = static_cast<uint8_t>(PackedSize());
}

int EnvModulator::PackedSize() const {
    return kEnvFixedSize + 2 * static_cast<int>(segments_.size());
}

int EnvModulator::Unpack(std::span<const uint8_t> bytes) {
    int size = CheckHeader(bytes, Kind(), kEnvFixedSize);
    if (size == 0) return kUnpackFailed;
    uint8_t counts = bytes[2];
    int n = (counts & 0x07) + 1 + ((counts >> 3) & 0x03) + 1 + ((counts >> 5) & 0x03) + 1;
    // The size byte and the counts must agree, or the segments would be read from the
    // wrong bytes and the list would pack to a different length.
    if (size != kEnvFixedSize + 2 * n) return kUnpackFailed;
    TakeHeader(bytes);
    counts_ = counts;
    for (size_t i = 0; i < 4; ++i)
        inputs_[i] = bytes[3 + i];
    startLevel_ = static_cast<int8_t>(bytes[7]);
    segments_.clear();
    for (int i = 0; i < n; ++i) {
        size_t at = static_cast<size_t>(kEnvFixedSize + 2 * i);
        segments_.push_back({static_cast<int8_t>(bytes[at]), bytes[at + 1]});
    }
    return kUnpacked;
}

int EnvModulator::PackBody(std::span<uint8_t> bytes) const {
    if (bytes.size() < static_cast<size_t>(PackedSize())) return kPackFailed;
    bytes[2] = counts_;
    for (size_t i = 0; i < 4; ++i)
        bytes[3 + i] = inputs_[i];
    bytes[7] = static_cast<uint8_t>(startLevel_);
    for (size_t i = 0; i < segments_.size(); ++i) {
        bytes[kEnvFixedSize + 2 * i] = static_cast<uint8_t>(segments_[i].level);
        bytes[kEnvFixedSize + 2 * i + 1] = segments_[i].time;
    }
    return kPacked;
}

void EnvModulator::SetGroupCount(int groupStart, int current, int wanted, int shift, int mask) {
    auto first = segments_.begin() + groupStart;
    if (wanted > current) {
        EnvSegment grown{segments_[static_cast<size_t>(groupStart + current - 1)].level,
                         kNewSegmentTime};
        segments_.insert(first + current, static_cast<size_t>(wanted - current), grown);
    } else if (wanted < current) {
        segments_.erase(first + wanted, first + current);
    }
    counts_ = static_cast<uint8_t>((counts_ & ~(mask << shift)) | ((wanted - 1) << shift));
    size_ = static_cast<uint8_t>(PackedSize());
}

void EnvModulator::SetAttackCount(int a) {
    SetGroupCount(0, AttackCount(), std::clamp(a, 1, kMaxAttack), 0, 0x07);
}

void EnvModulator::SetDecayCount(int d) {
    SetGroupCount(AttackCount(), DecayCount(), std::clamp(d, 1, kMaxDecay), 3, 0x03);
}

void EnvModulator::SetReleaseCount(int r) {
    SetGroupCount(AttackCount() + DecayCount(), ReleaseCount(), std::clamp(r, 1, kMaxRelease), 5,
                  0x03);
}

void EnvModulator::SetLinear(bool on) {
    counts_ = static_cast<uint8_t>(on ? (counts_ | 0x80) : (counts_ & 0x7F));
}

void EnvModulator::SetStartLevel(int level) {
    startLevel_ = ClampLevel(level);
}

bool EnvModulator::SetSegment(int i, int level, int time) {
    if (i < 0 || static_cast<size_t>(i) >= segments_.size()) return false;
    segments_[static_cast<size_t>(i)] = {ClampLevel(level),
                                         static_cast<uint8_t>(std::clamp(time, 0, 255))};
    return true;
}

// ---------------------------------------------------------------------------------------
// Parsing

std::unique_ptr<Modulator> MakeModulator(ModulatorKind kind) {
    switch (kind) {
        case ModulatorKind::kFun:
            return std::make_unique<FunModulator>();
        case ModulatorKind::kEnv:
            return std::make_unique<EnvModulator>();
        case ModulatorKind::kLfo:
            return std::make_unique<LfoModulator>();
    }
    return nullptr;
}

ParsedModulator ParseModulator(std::span<const uint8_t> bytes) {
    ParsedModulator out;
    if (bytes.empty()) return out;
    int nibble = bytes[0] >> 4;
    if (nibble >= 0xC) {
        out.result = ParseResult::kEndOfList;
        return out;
    }
    if (nibble != 1 && nibble != 2 && nibble != 4) return out;
    auto m = MakeModulator(static_cast<ModulatorKind>(nibble));
    if (m->Unpack(bytes) != 0) return out;
    out.result = ParseResult::kDone;
    out.modulator = std::move(m);
    return out;
}

}  // namespace talmeru
