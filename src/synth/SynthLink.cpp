#include "synth/SynthLink.h"

#include <algorithm>

#include "platform/ByteIO.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "synth/Sysex.h"

namespace talmeru {

namespace {
constexpr size_t kObjectHeaderBytes = 22;
constexpr uint32_t kMinSampleBlock = 1024;
constexpr uint32_t kSampleBlockPadding = 2;
}  // namespace

SynthLink::SynthLink(Profile& settings) : settings_(settings) {
    convert15Bit_ = settings_.GetBool("Options", "Convert15Bit", false);
}

void SynthLink::SetConvert15Bit(bool on) {
    convert15Bit_ = on;
    settings_.WriteBool("Options", "Convert15Bit", on);
}

uint16_t SynthLink::IdentityWord(int i) const {
    if (i < 0 || i > 2) return 0;
    return uint16_t(identity_[size_t(2 * i)] | (identity_[size_t(2 * i + 1)] << 8));
}

int SynthLink::StoreObject(std::span<const uint8_t> block) {
    if (block.size() < kObjectHeaderBytes) return 1;
    size_t total = kObjectHeaderBytes + (block[4] | (block[5] << 8));
    if (total > size_t(kMaxPackedObject) || total > block.size()) return 1;
    auto message = BuildMessage(kCmdStoreObject, block.first(total));
    return SendSysex(message);
}

int SynthLink::DeleteObject(int type, int number) {
    int sent = SendSysex(BuildMessage(kCmdDeleteObject, ObjectRequestHeader(type, number)));
    if (sent != 0) return sent;
    return QueryMemory(1);
}

int SynthLink::UploadSampleData(int sampleNumber, std::span<const uint8_t> data, int& remaining,
                                int bits) {
    return UploadByFilling(sampleNumber, data, remaining, bits);
}

int SynthLink::UploadSampleDataFilled(int sampleNumber, size_t length,
                                      const std::function<bool(std::span<uint8_t>)>& fill,
                                      int& remaining, int bits) {
    if (!hasSampleRam_) {
        ShowMessage("no RAM memory to upload sample data!");
        return 1;
    }
    const size_t block = SampleBlockSize(length);
    const std::vector<uint8_t> head = SampleDataHead(sampleNumber, block);
    const bool halve = convert15Bit_ && bits == 16;
    int result = SendSysexFilled(head, block, [&](std::span<uint8_t> body) {
        if (!fill(body.first(length))) return false;
        std::fill(body.begin() + std::ptrdiff_t(length), body.end(), uint8_t(0));
        if (halve) {
            for (size_t i = 0; i + 1 < length; i += 2) {
                auto s = int16_t(body[i] | (body[i + 1] << 8));
                auto half = uint16_t(int16_t(s / 2));
                body[i] = uint8_t(half);
                body[i + 1] = uint8_t(half >> 8);
            }
        }
        return true;
    });
    if (result == 0) remaining = int(int64_t(remaining) - int64_t(block));
    return result;
}

size_t SynthLink::SampleBlockSize(size_t length) {
    return std::max<size_t>(length, kMinSampleBlock) + kSampleBlockPadding;
}

std::vector<uint8_t> SynthLink::SampleDataHead(int sampleNumber, size_t block) {
    ByteWriter header(kSampleHeaderBytes);
    header.U16(uint16_t(sampleNumber));
    header.U32(uint32_t(block));
    std::vector<uint8_t> head = {kSysexStart, 0x07, 0x21, 0x01, kCmdSampleData};
    PackSysex(header.Data(), head);
    return head;
}

int SynthLink::SendSysexFilled(std::span<const uint8_t> head, size_t bodySize,
                               const std::function<bool(std::span<uint8_t>)>& fill) {
    std::vector<uint8_t> message(head.begin(), head.end());
    message.resize(head.size() + bodySize);
    if (!fill(std::span(message).subspan(head.size()))) return 1;
    return SendSysex(message, message.size());
}

int SynthLink::AddAlias(int primary, int alias) {
    ByteWriter w(4);
    w.U16(uint16_t(primary));
    w.U16(uint16_t(alias));
    return SendSysex(BuildMessage(kCmdAddAlias, w.Data()));
}

int SynthLink::RemoveAlias(int number) {
    ByteWriter w(2);
    w.U16(uint16_t(number));
    int sent = SendSysex(BuildMessage(kCmdRemoveAlias, w.Data()));
    if (sent != 0) return sent;
    return QueryMemory(1);
}

int SynthLink::ClearRam() {
    int result = SendSysex(BuildMessage(kCmdClearRam));
    if (result == 0) {
        memory_.programFree = memory_.programTotal;
        memory_.sampleFree = memory_.sampleTotal;
    }
    return result;
}

}  // namespace talmeru
