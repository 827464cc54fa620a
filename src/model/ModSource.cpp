#include "model/ModSource.h"

#include <array>

namespace talmeru {

namespace {

constexpr std::array<const char*, 16> kControllerNames = {
    "Pitch Bend", "Mod Wheel",   "Breath",  "?? (3)", "Foot", "Portamento",
    "Data Entry", "Channel Vol", "Balance", "?? (9)", "Pan",  "Expression",
    "Effect 1",   "Effect 2",    "?? (f)",  "?? (e)",
};

constexpr std::array<const char*, 4> kGlobalSwitchNames = {"Sustain Pedal", "??", "Sostenuto Pedal",
                                                           "Soft Pedal"};

constexpr std::array<const char*, 7> kGlobalSourceNames = {
    "Aftertouch (channel)",    "Last Key Played",  "Last Velocity Played",
    "Channel Voice Count",     "Channel Playing?", "Highest Key Being Played",
    "Lowest Key Being Played",
};

constexpr std::array<const char*, 11> kNotePropertyNames = {
    "Key Number",
    "Attack Velocity",
    "Attack Velocity (biased)",
    "Note State",
    "Key Down ?",
    "In Sample Loop?",
    "Playback Rate",
    "Attack Velocity (inverted)",
    "Release Velocity",
    "In Attack Phase?",
    "In Release Phase?",
};

constexpr SourceChoice kTopChoices[] = {
    {127, "Fixed Value", "-1.0 to 1.0"},
};

constexpr SourceChoice kNoteChoices[] = {
    {209, "Attack Velocity", "0.0 to 1.0"},
    {210, "Attack Velocity (biased)", "0.0 to 1.0"},
    {215, "Attack Velocity (inverted)", "1.0 to 0.0"},
    {216, "Release Velocity", "0.0 to 1.0"},
    {208, "Key Number", "0.0 to 1.0"},
    {214, "Playback Rate", "0.0 to 1.0"},
    {211, "Note State", "0 or 1"},
    {212, "Key Down?", "0 or 1"},
    {213, "In Sample Loop?", "0 or 1"},
    {217, "In Attack Phase?", "0 or 1"},
    {218, "In Release Phase?", "0 or 1"},
};

constexpr SourceChoice kControllerChoices[] = {
    {128, "Pitch Bend", "-1.0 to +1.0"},
    {176, "Aftertouch (channel)", "0.0 to +1.0"},
    {129, "Mod Wheel", "0.0 to +1.0"},
    {130, "Breath Control", "0.0 to +1.0"},
    {132, "Foot Controller", "0.0 to +1.0"},
    {134, "Data Entry", "0.0 to +1.0"},
    {135, "Channel Vol", "0.0 to +1.0"},
    {138, "Pan", "0.0 to +1.0"},
    {139, "Expression", "0.0 to +1.0"},
    {160, "Sustain Pedal", "0 or 1"},
    {162, "Sostenuto Pedal", "0 or 1"},
    {163, "Soft Pedal", "0 or 1"},
    {131, "#3 Controller", ""},
    {133, "#5 Controller", ""},
    {136, "#8 Controller", ""},
    {137, "#9 Controller", ""},
    {140, "#12 Controller", ""},
    {141, "#13 Controller", ""},
    {142, "#14 Controller", ""},
    {143, "#15 Controller", ""},
};

constexpr SourceChoice kStatisticsChoices[] = {
    {177, "Last Key Played", "0 to 1.0"},          {178, "Last Velocity Played", "0 to 1.0"},
    {181, "Highest Key Being Played", "0 to 1.0"}, {182, "Lowest Key Being Played", "0 to 1.0"},
    {179, "Channel Voice Count", "0 to 1.0"},      {180, "Channel Playing?", "0 or 1"},
};

constexpr SourceGroup kGroups[] = {
    {"", kTopChoices},
    {"Current Note Parameters", kNoteChoices},
    {"Midi Controller", kControllerChoices},
    {"Midi Statistics", kStatisticsChoices},
};

template <size_t N>
const char* Lookup(const std::array<const char*, N>& names, int i, const char* otherwise) {
    return i >= 0 && static_cast<size_t>(i) < N ? names[static_cast<size_t>(i)] : otherwise;
}

}  // namespace

SourceClass ClassifySource(uint8_t code) {
    switch (code >> 4) {
        case 0x8:
        case 0x9:
            return SourceClass::kController;
        case 0xA:
            return SourceClass::kGlobalSwitch;
        case 0xB:
            return SourceClass::kGlobalSource;
        case 0xC:
            return SourceClass::kProgramModulator;
        case 0xD:
        case 0xE:
            return SourceClass::kNoteProperty;
        case 0xF:
            return SourceClass::kLayerModulator;
        default:
            return SourceClass::kConstant;
    }
}

double ConstantValue(uint8_t code) {
    double v = (static_cast<int>(code) - 64) / 63.0;
    return v < -1.0 ? -1.0 : v;
}

const char* ControllerName(int nibble) {
    return Lookup(kControllerNames, nibble & 0x0F, "?");
}

std::string SourceName(uint8_t code) {
    int low = code & 0x0F;
    switch (ClassifySource(code)) {
        case SourceClass::kConstant:
            return "Constant";
        case SourceClass::kController:
            return ControllerName(low);
        case SourceClass::kGlobalSwitch:
            return Lookup(kGlobalSwitchNames, low, "Global Switch ?");
        case SourceClass::kGlobalSource:
            return Lookup(kGlobalSourceNames, low, "Global Source ?");
        case SourceClass::kProgramModulator:
            return "Global Modulator";
        case SourceClass::kNoteProperty:
            return Lookup(kNotePropertyNames, low, "Local Controller ?");
        case SourceClass::kLayerModulator:
            return "Local Modulator";
    }
    return "Constant";
}

std::span<const SourceGroup> SourceChooserGroups() {
    return kGroups;
}

}  // namespace talmeru
