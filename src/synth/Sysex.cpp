#include "synth/Sysex.h"

#include <algorithm>

#include "platform/ByteIO.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {
constexpr uint8_t kHead[4] = {kSysexStart, 0x07, 0x21, 0x01};
constexpr size_t kObjectHeaderBytes = 22;
}  // namespace

void PackSysex(std::span<const uint8_t> payload, std::vector<uint8_t>& out) {
    const size_t n = payload.size();
    const size_t packed = PackedSize(n);
    out.reserve(out.size() + packed);
    // Packed byte k holds stream bits 7k .. 7k+6, counted from the first byte's top bit.
    for (size_t k = 0; k < packed; ++k) {
        size_t bit = 7 * k;
        size_t i = bit / 8;
        unsigned shift = unsigned(bit % 8);
        unsigned hi = i < n ? payload[i] : 0;
        unsigned lo = i + 1 < n ? payload[i + 1] : 0;
        unsigned window = (hi << 8) | lo;  // 16 bits starting at byte i
        out.push_back(uint8_t((window >> (9 - shift)) & 0x7F));
    }
}

std::vector<uint8_t> PackSysex(std::span<const uint8_t> payload) {
    std::vector<uint8_t> out;
    PackSysex(payload, out);
    return out;
}

std::vector<uint8_t> BuildMessage(uint8_t command, std::span<const uint8_t> payload) {
    std::vector<uint8_t> m(std::begin(kHead), std::end(kHead));
    m.reserve(kMessageHeadSize + PackedSize(payload.size()) + 1);
    m.push_back(command);
    PackSysex(payload, m);
    m.push_back(kSysexEnd);
    return m;
}

SysexUnpackResult UnpackSysex(std::span<const uint8_t> message, size_t n,
                              std::vector<uint8_t>& out) {
    const size_t endAt = kMessageHeadSize + PackedSize(n);
    if (endAt >= message.size() || message[endAt] != kSysexEnd) {
        bool early = false;
        for (size_t i = 0; i <= endAt && i < message.size(); ++i)
            early = early || message[i] == kSysexEnd;
        ShowMessage(early ? "Sysex message from MA-1 was shorter than expected!"
                          : "Sysex message from MA-1 was not terminated!");
        return kNotAReply;
    }
    out.assign(n, 0);
    for (size_t i = 0; i < n; ++i) {
        size_t k = 8 * i / 7;
        unsigned bk = message[kMessageHeadSize + k];
        if (bk == kSysexEnd) {
            ShowMessage("Received 0xF7 before expected");
            return kNotAReply;
        }
        unsigned bk1 = message[kMessageHeadSize + k + 1];
        unsigned v = ((bk << 8) + ((bk1 * 2) & 0xFF)) & 0xFFFF;
        out[i] = uint8_t(((v << ((k % 8) + 1)) >> 8) & 0xFF);
    }
    return kSysexUnpacked;
}

std::vector<uint8_t> Unpack7Bit(std::span<const uint8_t> packed) {
    std::vector<uint8_t> out(packed.size() * 7 / 8);
    uint32_t acc = 0;
    int bits = 0;
    size_t o = 0;
    for (uint8_t b : packed) {
        acc = (acc << 7) | (b & 0x7F);
        bits += 7;
        if (bits >= 8) {
            bits -= 8;
            if (o < out.size()) out[o++] = static_cast<uint8_t>(acc >> bits);
            acc &= (1u << bits) - 1;
        }
    }
    return out;
}

size_t SysexSendLength(std::span<const uint8_t> bytes, size_t length) {
    if (length == 0) {
        auto end = std::find(bytes.begin(), bytes.end(), kSysexEnd);
        length = size_t(end - bytes.begin()) + (end != bytes.end() ? 1 : 0);
    }
    return std::min(length, bytes.size());
}

std::vector<uint8_t> ObjectRequestHeader(int type, int number) {
    ByteWriter w(kObjectHeaderBytes);
    w.U8(uint8_t(type));
    w.U8(0);
    w.U16(uint16_t(number));
    w.Zeros(kObjectHeaderBytes - 4);
    return w.Take();
}

}  // namespace talmeru
