#pragma once
// The effects and tuning dialog's logic without a window: the reverb and chorus of the
// synthesizer and the transpose, fine tune and pitch-bend range of the edit channel, what each
// value is sent as, the texts the dialog shows, and the values it keeps in the settings.
// Nothing in the bank changes; every change goes out at once as channel messages.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talmeru {

class Profile;

// The dialog's controls by number: the value controls, the fine tune's spin, and the texts that
// show each value's MIDI bytes.
enum EffectsControlId : int {
    kCtrlReverbType = 1098,
    kCtrlChorusType = 1099,
    kCtrlChorusDepthBytes = 1100,
    kCtrlTransposeBytes = 1101,
    kCtrlFineTuneBytes = 1102,
    kCtrlPitchBendBytes = 1103,
    kCtrlFineTuneSpin = 1286,
    kCtrlPitchBend = 1287,
    kCtrlTranspose = 1438,
    kCtrlChorusDepth = 1474,
    kCtrlFineTune = 1475,
    kCtrlReverbDepth = 1476,
    kCtrlReverbTypeBytes = 1477,
    kCtrlReverbDepthBytes = 1478,
    kCtrlChorusTypeBytes = 1479,
};

enum class EffectParam {
    kTranspose,
    kFineTune,
    kPitchBend,
    kChorusType,
    kChorusDepth,
    kReverbType,
    kReverbDepth
};
inline constexpr int kEffectParamCount = 7;
inline constexpr std::array<EffectParam, kEffectParamCount> kEffectParams = {
    EffectParam::kTranspose,  EffectParam::kFineTune,    EffectParam::kPitchBend,
    EffectParam::kChorusType, EffectParam::kChorusDepth, EffectParam::kReverbType,
    EffectParam::kReverbDepth};

// How a value goes out: a registered or non-registered parameter (three controller messages),
// or one controller message.
enum class EffectSend { kRpn, kNrpn, kController };

struct EffectParamInfo {
    int control;       // the value control
    int bytesControl;  // the text that shows its MIDI bytes
    int minimum;
    int maximum;
    EffectSend send;
    uint8_t number;  // parameter number (LSB; the MSB is 0) or controller number
    const char* section;
    const char* key;
    int defaultValue;
};
const EffectParamInfo& InfoOf(EffectParam param);
// The drop-downs' parameters; their values are item indexes.
bool IsTypeParam(EffectParam param);

const std::vector<std::string>& ReverbTypeNames();
const std::vector<std::string>& ChorusTypeNames();

struct ShortMessage {
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
    bool operator==(const ShortMessage&) const = default;
};

// The controller messages a value is sent as on a channel (0..15).
std::vector<ShortMessage> EffectMessages(EffectParam param, int value, int channel);
// "%02X %02X %02X" per message, separated by spaces.
std::string MessagesText(const std::vector<ShortMessage>& messages);
// "%+d" of value - 64 for transpose and fine tune, "%d" for the pitch-bend range, empty for the
// others, which show no value text.
std::string EffectValueText(EffectParam param, int value);
// The value a typed value text stands for (either sign, or none); none when the text is no
// number of the parameter's range.
std::optional<int> ParseEffectValueText(EffectParam param, std::string_view text);
// The control's tip, or "Tool Tip not define for ctrl %d" for a control without one.
std::string EffectsToolTip(int control);

// Where the messages go: controller messages on the edit channel.
class ControllerOutput {
  public:
    virtual ~ControllerOutput() = default;
    virtual int EditChannel() const = 0;
    virtual void SendController(uint8_t controller, uint8_t value) = 0;
    virtual void SendRpn(uint8_t msb, uint8_t lsb, uint8_t value) = 0;
    virtual void SendNrpn(uint8_t msb, uint8_t lsb, uint8_t value) = 0;
};

// The dialog's values. A type without a selection is kNoSelection.
class EffectsTuning {
  public:
    static constexpr int kNoSelection = -1;

    EffectsTuning(Profile& settings, ControllerOutput& output);

    // The stored values, brought into range: a damaged number cannot put a control outside
    // what the synthesizer takes, and a type that names no item leaves its list unselected.
    void Load();
    // The user changed a control: the value is kept and sent at once. A value outside the
    // range is brought into it; a type without a selection sends nothing.
    void Change(EffectParam param, int value);
    // Writes the seven values; a type without a selection keeps what is stored.
    void Save() const;

    int Value(EffectParam param) const { return values_[Index(param)]; }
    // The messages the current value is sent as on the edit channel, as text; empty for a type
    // without a selection.
    std::string BytesText(EffectParam param) const;
    std::string ValueText(EffectParam param) const { return EffectValueText(param, Value(param)); }

  private:
    static size_t Index(EffectParam param) { return size_t(param); }
    int Channel() const;

    Profile& settings_;
    ControllerOutput& output_;
    std::array<int, kEffectParamCount> values_{};
};

}  // namespace talmeru
