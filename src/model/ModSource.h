#pragma once
// The modulation source byte: one 8-bit code names what drives a modulator input, a
// modulation entry or a block's fixed control (a constant, a MIDI controller, a switch, a
// channel statistic, a note property, or a program or layer modulator).
#include <cstdint>
#include <span>
#include <string>

namespace talmeru {

// What a source byte names, by its high nibble.
enum class SourceClass {
    kConstant,          // 0x00..0x7F
    kController,        // 0x80..0x9F
    kGlobalSwitch,      // 0xA0..0xAF
    kGlobalSource,      // 0xB0..0xBF
    kProgramModulator,  // 0xC0..0xCF
    kNoteProperty,      // 0xD0..0xEF
    kLayerModulator,    // 0xF0..0xFF
};

inline constexpr uint8_t kSourceZero = 64;  // the constant 0.0
inline constexpr uint8_t kSourceOne = 127;  // the constant 1.0

SourceClass ClassifySource(uint8_t code);
// The value of a constant code: (code - 64) / 63, never below -1.0.
double ConstantValue(uint8_t code);
// MIDI controller names by the low nibble of 0x80..0x9F.
const char* ControllerName(int nibble);
// The name shown for any source byte.
std::string SourceName(uint8_t code);

inline bool IsModulatorSource(uint8_t code) {
    return code >= 0xC0 && (code < 0xD0 || code >= 0xF0);
}
inline int SourceModulatorId(uint8_t code) {
    return code & 0x0F;
}
inline uint8_t ProgramModulatorSource(int id) {
    return static_cast<uint8_t>(0xC0 | (id & 0x0F));
}
inline uint8_t LayerModulatorSource(int id) {
    return static_cast<uint8_t>(0xF0 | (id & 0x0F));
}

// The source chooser of the editors: groups of offered codes with their entry and range
// texts. The first group has an empty title: its entries sit at the top of the menu.
struct SourceChoice {
    uint8_t code;
    const char* entry;
    const char* range;  // empty when the chooser shows no range
};

struct SourceGroup {
    const char* title;
    std::span<const SourceChoice> choices;
};

std::span<const SourceGroup> SourceChooserGroups();

}  // namespace talmeru
