#pragma once
// The emulated MA-1's factory objects, built in code as packed blocks (22-byte header, body):
// a sample header on every region of the ROM sample directory, keymaps over them, the 128
// General MIDI programs and a drum kit, and a few blocks of the further kinds.
#include <cstdint>
#include <map>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace talmeru::emulator {

using ObjectKey = std::pair<int, int>;  // type, number
using ObjectMap = std::map<ObjectKey, std::vector<uint8_t>>;

// A packed block: type, 0, number, body size, the name in 16 bytes, the body.
std::vector<uint8_t> ObjectBlock(int type, int number, std::string_view name,
                                 std::span<const uint8_t> body);

const ObjectMap& FactoryRom();

}  // namespace talmeru::emulator
