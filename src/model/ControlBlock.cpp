#include "model/ControlBlock.h"

#include <algorithm>

#include "platform/ByteIO.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

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

UnpackResult ControlBlock::Unpack(std::span<const uint8_t> bytes, int* next) {
    try {
        ByteReader r(bytes);
        uint8_t blockByte = r.U8();
        int size = r.U8();
        uint8_t tag = r.U8();
        r.Skip(1);
        if ((blockByte >> 4) != KindNibble(kind_)) return kUnpackFailed;

        if (IsFilter() && ((blockByte & 0x07) == 0 || size == kNullFilterSize)) {
            // A Null filter carries nothing; a typed filter of size 4 is read as one too. A
            // size that ends inside the block's own bytes or past the data is refused.
            if (size < kNullFilterSize || static_cast<size_t>(size) > bytes.size())
                return kUnpackFailed;
            Reset();
            if ((blockByte & 0x07) == 0) {
                blockByte_ = blockByte;
                tag_ = tag;
            }
            *next = size;
            return kUnpacked;
        }
        if (IsFilter() && size < kFixedSize) return kUnpackFailed;

        std::array<uint8_t, 5> fields{};
        for (auto& b : fields)
            b = r.U8();
        int count = r.U8();
        if (kind_ == BlockKind::kPitch && size - kFixedSize < 4 * count) {
            ShowMessage("Error: Pitch CCD is corrupt.");
            return kUnpackFailed;
        }
        if (count > kMaxEntries) return kUnpackFailed;
        if (kind_ == BlockKind::kAmp && size == 8) {
            // Banks written by another editor put 8 here; the entries are still intact.
            if (!AskYesNo(kCorruptAmpQuestion)) return kUnpackFailed;
            size = kFixedSize + 4 * count;
        }
        if (size - kFixedSize < 4 * count) return kUnpackFailed;
        if (static_cast<size_t>(size) > bytes.size()) return kUnpackFailed;

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
        return kUnpacked;
    } catch (const ReadPastEnd&) {
        return kUnpackFailed;
    }
}

PackResult ControlBlock::Pack(ByteWriter& out) const {
    if (IsFilter()) {
        if ((blockByte_ >> 4) != kKindFilter) {
            ShowMessage(Fmt("Filter type=%d should be %d\n", blockByte_ >> 4, kKindFilter));
            return kPackFailed;
        }
        if (IsNullFilter()) {
            out.U8(blockByte_);
            out.U8(kNullFilterSize);
            out.U8(tag_);
            out.U8(0);
            return kPacked;
        }
        if (entries_.size() > kMaxEntries) {
            ShowMessage("packmoddesclist failed");
            return kPackFailed;
        }
    } else if (entries_.size() > kMaxEntries) {
        return kPackFailed;
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
    return kPacked;
}

}  // namespace talmeru
