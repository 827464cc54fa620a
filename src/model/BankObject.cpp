#include "model/BankObject.h"

#include <algorithm>
#include <cstring>

#include "model/BankLink.h"
#include "model/ZedoException.h"
#include "platform/ByteIO.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

ZedoException::ZedoException(const std::string& text) : std::runtime_error(text.substr(0, 256)) {}

ZedoException::ZedoException(const std::string& text, const BankObject& o)
    : std::runtime_error(
          Fmt("%s (%s(%d):\"%s\")", text.c_str(), o.KindName(), o.Number(), o.Name().c_str())
              .substr(0, 256)) {}

void BankObject::SetName(std::string_view name) {
    name_ = std::string(Utf8Prefix(name, kNameLength));
    // A name ends at its first NUL, as the packed header would have it.
    if (auto nul = name_.find('\0'); nul != std::string::npos) name_.resize(nul);
}

int BankObject::Upload(BankLink& link, BankObject* romCounterpart, int& programRamFree,
                       std::unordered_set<const BankObject*>* sent) {
    if (sent && !sent->insert(this).second) return kOk;
    if (int rc = UploadSelf(link, romCounterpart, programRamFree); rc != kOk) return rc;
    // Only a left half's partner follows it; a damaged bank may chain anything to anything,
    // itself included, and the walk stops after one step.
    BankObject* right = stereoRole == kStereoLeft ? chained : nullptr;
    if (!right || right == this || right->Type() != Type()) return kOk;
    if (sent && !sent->insert(right).second) return kOk;
    return right->UploadSelf(link, nullptr, programRamFree);
}

int BankObject::UploadSelf(BankLink& link, BankObject* romCounterpart, int& programRamFree) {
    uint8_t buf[kPackBufferSize];
    if (Pack(buf, kPackBufferSize) != kObjectPacked) return kFailed;
    const int total = bodySize_ + kObjectHeaderSize;
    bool inRom = false;
    if (romCounterpart && romCounterpart->PackCached() == kObjectPacked) {
        const auto& rom = romCounterpart->PackedCopy();
        inRom = rom.size() == static_cast<size_t>(total) && std::equal(rom.begin(), rom.end(), buf);
    }
    if (!inRom) {
        if (programRamFree == 0 || programRamFree < total) {
            ShowMessage("Out of Program Memory");
            return kFailed;
        }
        programRamFree -= total;
        if (int rc = link.StoreObject(std::span<const uint8_t>(buf, static_cast<size_t>(total)));
            rc != 0) {
            ShowMessage("UpdateToZedo failed");
            return rc;
        }
    }
    return kOk;
}

bool PairStereo(BankObject& left, BankObject& right) {
    if (&left == &right) return false;
    left.stereoRole = kStereoLeft;
    right.stereoRole = kStereoRight;
    left.chained = &right;
    return true;
}

bool ReadPackedHeader(std::span<const uint8_t> block, PackedHeader& out) {
    if (block.size() < kObjectHeaderSize) return false;
    ByteReader r(block);
    out.type = r.U8();
    r.Skip(1);
    out.number = r.U16();
    out.bodySize = r.U16();
    out.name = r.FixedString(kNameLength);
    return true;
}

UnpackResult BankObject::UnpackHeader(std::span<const uint8_t> block) {
    PackedHeader h;
    if (!ReadPackedHeader(block, h)) return kUnpackFailed;
    if (static_cast<size_t>(h.bodySize) > block.size() - kObjectHeaderSize) return kUnpackFailed;
    if (loaded_ && (h.type != type_ || h.number != number_)) return kUnpackFailed;
    type_ = h.type;
    number_ = h.number;
    bodySize_ = h.bodySize;
    name_ = h.name;
    loaded_ = true;
    return kUnpacked;
}

std::span<const uint8_t> BankObject::BodyOf(std::span<const uint8_t> block) {
    size_t size = static_cast<size_t>(block[4] | (block[5] << 8));
    return block.subspan(kObjectHeaderSize, size);
}

void BankObject::CopyHeaderFrom(const BankObject& other) {
    type_ = other.type_;
    number_ = other.number_;
    bodySize_ = other.bodySize_;
    name_ = other.name_;
    loaded_ = true;
}

void BankObject::WriteHeader(uint8_t* buf) const {
    buf[0] = static_cast<uint8_t>(type_);
    buf[1] = 0;
    buf[2] = static_cast<uint8_t>(number_);
    buf[3] = static_cast<uint8_t>(number_ >> 8);
    buf[4] = static_cast<uint8_t>(bodySize_);
    buf[5] = static_cast<uint8_t>(bodySize_ >> 8);
    std::memset(buf + 6, 0, kNameLength);
    std::memcpy(buf + 6, name_.data(), std::min<size_t>(name_.size(), kNameLength));
}

ObjectPackResult BankObject::Pack(uint8_t* buf, int capacity) {
    bodySize_ = BodySize();
    if (bodySize_ < 0) {
        ShowMessage(Fmt("Obscure error: m_size <0, %d", bodySize_));
        return kObjectSizeNegative;
    }
    int needed = bodySize_ + kObjectHeaderSize;
    if (capacity < needed) {
        ShowMessage(Fmt("Obscure error: ntotalneededsize= %d, size=%d", needed, capacity));
        return kObjectPackFailed;
    }
    WriteHeader(buf);
    if (PackBody(std::span<uint8_t>(buf + kObjectHeaderSize, static_cast<size_t>(bodySize_))) !=
        kPacked) {
        ShowMessage(Fmt("Obscure error: pack id=%d", number_));
        return kObjectPackFailed;
    }
    return kObjectPacked;
}

ObjectPackResult BankObject::PackToBlock(std::vector<uint8_t>& block) {
    block.assign(kPackBufferSize, 0);
    ObjectPackResult rc = Pack(block.data(), kPackBufferSize);
    if (rc != kObjectPacked) {
        block.clear();
        return rc;
    }
    block.resize(static_cast<size_t>(bodySize_ + kObjectHeaderSize));
    return kObjectPacked;
}

ObjectPackResult BankObject::PackTo(ByteWriter& out) {
    uint8_t buf[kPackBufferSize];
    ObjectPackResult rc = Pack(buf, kPackBufferSize);
    if (rc != kObjectPacked) return rc;
    out.Bytes(std::span<const uint8_t>(buf, static_cast<size_t>(bodySize_ + kObjectHeaderSize)));
    return kObjectPacked;
}

std::vector<uint8_t> BankObject::PackedNow() const {
    const int body = BodySize();
    if (body < 0 || body > kMaxBodySize) return {};
    std::vector<uint8_t> block(static_cast<size_t>(body + kObjectHeaderSize));
    WriteHeader(block.data());
    // The header's size is the one written at the last pack; this body's is the true one.
    block[4] = static_cast<uint8_t>(body);
    block[5] = static_cast<uint8_t>(body >> 8);
    if (PackBody(std::span<uint8_t>(block.data() + kObjectHeaderSize, static_cast<size_t>(body))) !=
        kPacked)
        return {};
    return block;
}

ObjectPackResult BankObject::PackCached() {
    if (!packed_.empty()) return kObjectPacked;
    bodySize_ = BodySize();
    if (bodySize_ < 0) return kObjectSizeNegative;
    std::vector<uint8_t> block(static_cast<size_t>(bodySize_ + kObjectHeaderSize));
    WriteHeader(block.data());
    if (PackBody(std::span<uint8_t>(block.data() + kObjectHeaderSize,
                                    static_cast<size_t>(bodySize_))) != kPacked)
        return kObjectPackFailed;
    packed_ = std::move(block);
    return kObjectPacked;
}

}  // namespace talmeru
