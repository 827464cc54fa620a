#pragma once
// The emulator's own 7-bit coding of message payloads (most significant bit first), written
// apart from the link's so that a fault on either side shows up in the tests.
#include <cstdint>
#include <span>
#include <vector>

namespace talmeru::emulator {

std::vector<uint8_t> Encode7(std::span<const uint8_t> bytes);
// Every whole byte that k packed bytes carry: floor(7k / 8) bytes; fill bits are dropped.
std::vector<uint8_t> Decode7(std::span<const uint8_t> packed);

}  // namespace talmeru::emulator
