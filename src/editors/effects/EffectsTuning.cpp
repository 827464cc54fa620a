#include "editors/effects/EffectsTuning.h"

#include <algorithm>
#include <charconv>

#include "platform/Format.h"
#include "platform/Profile.h"

namespace talmeru {

namespace {

// Transpose and fine tune are centred on 64, which the synthesizer takes as no change.
constexpr int kCentre = 64;

// Registered parameters 0 (pitch-bend range), 1 (fine tune), 2 (coarse tune); the
// synthesizer's non-registered parameters 1 (reverb type) and 2 (chorus type); controllers 91
// (reverb depth) and 93 (chorus depth).
constexpr std::array<EffectParamInfo, kEffectParamCount> kInfo = {{
    {kCtrlTranspose, kCtrlTransposeBytes, 40, 88, EffectSend::kRpn, 2, "Tuning", "Coarse", 64},
    {kCtrlFineTune, kCtrlFineTuneBytes, 0, 127, EffectSend::kRpn, 1, "Tuning", "Fine", 64},
    {kCtrlPitchBend, kCtrlPitchBendBytes, 0, 24, EffectSend::kRpn, 0, "Tuning", "PitchBend", 2},
    {kCtrlChorusType, kCtrlChorusTypeBytes, 0, 8, EffectSend::kNrpn, 2, "Effects", "ChorusType", 0},
    {kCtrlChorusDepth, kCtrlChorusDepthBytes, 0, 127, EffectSend::kController, 93, "Effects",
     "ChorusLevel", 0},
    {kCtrlReverbType, kCtrlReverbTypeBytes, 0, 9, EffectSend::kNrpn, 1, "Effects", "ReverbType", 0},
    {kCtrlReverbDepth, kCtrlReverbDepthBytes, 0, 127, EffectSend::kController, 91, "Effects",
     "ReverbLevel", 0},
}};

struct Tip {
    int control;
    const char* text;
};
constexpr Tip kTips[] = {
    {kCtrlReverbType, "Selects the global reverb type"},
    {kCtrlReverbDepth, "Adjusts the depth of the reverb"},
    {kCtrlReverbTypeBytes, "MIDI bytes to set reverb type"},
    {kCtrlReverbDepthBytes, "MIDI bytes to set reverb depth"},
    {kCtrlChorusType, "Selects the global chorus type"},
    {kCtrlChorusDepth, "Adjusts the depth of the chorus for the edit channel"},
    {kCtrlChorusTypeBytes, "MIDI bytes to set chorus type"},
    {kCtrlChorusDepthBytes, "MIDI bytes to set chorus depth"},
    {kCtrlTranspose, "Sets the transpose for the edit channel"},
    {kCtrlTransposeBytes, "MIDI bytes to set tranpose"},
    {kCtrlFineTune, "Fine tuning for the edit channel, in cents"},
    {kCtrlFineTuneBytes, "MIDI bytes to set fine tune"},
    {kCtrlPitchBend, "Set the range of the pitch bend for the edit channel"},
    {kCtrlPitchBendBytes, "MIDI bytes to set the pitch bend depth"},
};

bool Centred(EffectParam param) {
    return param == EffectParam::kTranspose || param == EffectParam::kFineTune;
}

}  // namespace

const EffectParamInfo& InfoOf(EffectParam param) {
    return kInfo[size_t(param)];
}

bool IsTypeParam(EffectParam param) {
    return param == EffectParam::kChorusType || param == EffectParam::kReverbType;
}

const std::vector<std::string>& ReverbTypeNames() {
    static const std::vector<std::string> names = {"None",        "Room 1",     "Room 2", "Room 3",
                                                   "Hall 1",      "Hall 2",     "Plate",  "Delay",
                                                   "Pan Delay 1", "Pan Delay 2"};
    return names;
}

const std::vector<std::string>& ChorusTypeNames() {
    static const std::vector<std::string> names = {"None",     "Chorus 1", "Chorus 2",
                                                   "Chorus 3", "Chorus 4", "Chorus w/Feedback",
                                                   "Flanger",  "Delay",    "Delay w/Feedback"};
    return names;
}

std::vector<ShortMessage> EffectMessages(EffectParam param, int value, int channel) {
    const EffectParamInfo& info = InfoOf(param);
    if (value < info.minimum || value > info.maximum) return {};
    const auto status = uint8_t(0xB0 | (channel & 15));
    const auto v = uint8_t(value);
    switch (info.send) {
        case EffectSend::kRpn:
            return {{status, 101, 0}, {status, 100, info.number}, {status, 6, v}};
        case EffectSend::kNrpn:
            return {{status, 99, 0}, {status, 98, info.number}, {status, 6, v}};
        case EffectSend::kController:
            return {{status, info.number, v}};
    }
    return {};
}

std::string MessagesText(const std::vector<ShortMessage>& messages) {
    std::string text;
    for (const ShortMessage& m : messages) {
        if (!text.empty()) text += ' ';
        text += Fmt("%02X %02X %02X", m.status, m.data1, m.data2);
    }
    return text;
}

std::string EffectValueText(EffectParam param, int value) {
    if (Centred(param)) return Fmt("%+d", value - kCentre);
    if (param == EffectParam::kPitchBend) return Fmt("%d", value);
    return {};
}

std::optional<int> ParseEffectValueText(EffectParam param, std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 4 || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (negative) n = -n;
    const int value = Centred(param) ? n + kCentre : n;
    const EffectParamInfo& info = InfoOf(param);
    if (value < info.minimum || value > info.maximum) return std::nullopt;
    return value;
}

std::string EffectsToolTip(int control) {
    for (const Tip& tip : kTips)
        if (tip.control == control) return tip.text;
    return Fmt("Tool Tip not define for ctrl %d", control);
}

EffectsTuning::EffectsTuning(Profile& settings, ControllerOutput& output)
    : settings_(settings), output_(output) {
    for (EffectParam p : kEffectParams)
        values_[Index(p)] = InfoOf(p).defaultValue;
}

void EffectsTuning::Load() {
    for (EffectParam p : kEffectParams) {
        const EffectParamInfo& info = InfoOf(p);
        const int stored = settings_.GetInt(info.section, info.key, info.defaultValue);
        if (IsTypeParam(p)) {
            values_[Index(p)] =
                stored >= info.minimum && stored <= info.maximum ? stored : kNoSelection;
        } else {
            values_[Index(p)] = std::clamp(stored, info.minimum, info.maximum);
        }
    }
}

void EffectsTuning::Change(EffectParam param, int value) {
    const EffectParamInfo& info = InfoOf(param);
    if (IsTypeParam(param) && (value < info.minimum || value > info.maximum)) {
        values_[Index(param)] = kNoSelection;
        return;
    }
    value = std::clamp(value, info.minimum, info.maximum);
    values_[Index(param)] = value;
    const auto v = uint8_t(value);
    switch (info.send) {
        case EffectSend::kRpn:
            output_.SendRpn(0, info.number, v);
            break;
        case EffectSend::kNrpn:
            output_.SendNrpn(0, info.number, v);
            break;
        case EffectSend::kController:
            output_.SendController(info.number, v);
            break;
    }
}

void EffectsTuning::Save() const {
    for (EffectParam p : kEffectParams) {
        const int value = Value(p);
        if (value == kNoSelection) continue;
        const EffectParamInfo& info = InfoOf(p);
        settings_.WriteInt(info.section, info.key, value);
    }
}

int EffectsTuning::Channel() const {
    return output_.EditChannel() & 15;
}

std::string EffectsTuning::BytesText(EffectParam param) const {
    return MessagesText(EffectMessages(param, Value(param), Channel()));
}

}  // namespace talmeru
