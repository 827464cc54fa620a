#pragma once
// MA-1 messages: F0 07 21 01, a command byte, the payload packed most-significant bit first
// into 7-bit bytes, F7. The one exception, sample data, is built by SynthLink itself.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace talmeru {

inline constexpr uint8_t kSysexStart = 0xF0;
inline constexpr uint8_t kSysexEnd = 0xF7;
inline constexpr size_t kMessageHeadSize = 5;  // F0 07 21 01 command

enum Ma1Command : uint8_t {
    kCmdObjectHeader = 0x01,
    kCmdObjectFetch = 0x02,
    kCmdStoreObject = 0x03,
    kCmdDeleteObject = 0x04,
    kCmdSampleData = 0x05,
    kCmdAddAlias = 0x06,
    kCmdRemoveAlias = 0x07,
    kCmdIdentity = 0x0A,
    kCmdMemorySizes = 0x0B,
    kCmdMemoryFree = 0x0C,
    kCmdClearRam = 0x0D,
};

// The number of packed bytes for n payload bytes: ceil(8n / 7).
constexpr size_t PackedSize(size_t n) {
    return (8 * n + 6) / 7;
}

// Packs the payload into 7-bit bytes, appended to out.
void PackSysex(std::span<const uint8_t> payload, std::vector<uint8_t>& out);
std::vector<uint8_t> PackSysex(std::span<const uint8_t> payload);

// A whole MA-1 message for a command and its unpacked payload.
std::vector<uint8_t> BuildMessage(uint8_t command, std::span<const uint8_t> payload = {});

// Unpacking a reply.
enum SysexUnpackResult : int { kSysexUnpacked = 0, kNotAReply = 2 };

// Unpacks a reply of n payload bytes into out (resized to n). kNotAReply after showing why:
// "Sysex message from MA-1 was shorter than expected!", "... was not terminated!" or
// "Received 0xF7 before expected".
SysexUnpackResult UnpackSysex(std::span<const uint8_t> message, size_t n,
                              std::vector<uint8_t>& out);

// Unpacks a run of 7-bit bytes (no framing) into the floor(7p/8) bytes they carry.
std::vector<uint8_t> Unpack7Bit(std::span<const uint8_t> packed);

// How many bytes a send covers: `length`, or for 0 up to and including the first 0xF7 (all
// of them when there is none); never more than there are.
size_t SysexSendLength(std::span<const uint8_t> bytes, size_t length);

// The 22-byte object request header: type, 0, number, then zeros.
std::vector<uint8_t> ObjectRequestHeader(int type, int number);

}  // namespace talmeru
