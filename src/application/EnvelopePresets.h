#pragma once
// Envelope presets kept in the settings file, one section per envelope kind: the natural
// envelopes of sample headers ("NatEnvPreset") and the ENV modulators ("ModEnvPreset").
// Each preset is one line: the name in 16 characters and a space, then the numbers.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/Modulator.h"
#include "model/SampleHeader.h"

namespace talmeru {

class Profile;

enum EnvelopeKind : int { kNaturalEnvelope = 0, kModulatorEnvelope = 1 };

inline constexpr int kPresetNameLength = 16;
// More presets than this in one section is taken as a damaged count.
inline constexpr int kMaxEnvelopePresets = 1000;
// As many natural envelope entries as fit into a packed sample header.
inline constexpr int kMaxNaturalEntries = (kMaxBodySize - 16) / 4;
// The built-in natural envelopes, listed before the stored presets.
inline constexpr const char* kFlatEnvName = "Flat Env";
inline constexpr const char* kPercussiveEnvName = "Percussive Env";

const char* PresetSection(EnvelopeKind kind);

// The part of an ENV that a preset keeps: the counts byte and the segments.
struct EnvShape {
    uint8_t counts = 0;
    std::vector<EnvSegment> segments;
    bool operator==(const EnvShape&) const = default;
};
EnvShape ShapeOf(const EnvModulator& env);
void ApplyShape(const EnvShape& shape, EnvModulator& env);

// A typed name as it is stored: blanks around it and control characters dropped (the
// settings file would lose or split them), cut to 16 bytes without splitting a character.
std::string PresetName(std::string_view typed);
// The name of a stored value: its first 16 characters without trailing spaces.
std::string StoredPresetName(std::string_view value);

std::string FormatNaturalPreset(std::string_view name, const std::vector<EnvelopeEntry>& entries);
std::string FormatModulatorPreset(std::string_view name, const EnvShape& shape);
// False with the reason in why when the value is not a well-formed preset of its kind.
bool ParseNaturalPreset(std::string_view value, std::vector<EnvelopeEntry>& entries,
                        std::string& why);
bool ParseModulatorPreset(std::string_view value, EnvShape& shape, std::string& why);

// The built-in natural envelopes. Flat: ResetEnvelope with the default decay slope.
// Percussive: flat pieces of at most 30000 frames (at most 8) as long as the sample plays up
// to its loop start (one piece of 30000 when that is unknown), then the slopes -2000 and
// -6818.
void MakeFlatEnvelope(SampleHeader& header);
void MakePercussiveEnvelope(SampleHeader& header);

class EnvelopePresets {
  public:
    EnvelopePresets(Profile& settings, EnvelopeKind kind) : settings_(settings), kind_(kind) {}

    EnvelopeKind Kind() const { return kind_; }
    const char* Section() const { return PresetSection(kind_); }
    // 2 for natural envelopes ("Flat Env", "Percussive Env"), else 0.
    int BuiltInCount() const { return kind_ == kNaturalEnvelope ? 2 : 0; }
    // "NumberPresets"; a count that is negative or too large is damaged, and then the presets
    // stored one after another from index 0 are counted instead.
    int Count(bool* damaged = nullptr) const;
    // What the preset list shows: the built-ins, then every stored preset with a name.
    std::vector<std::string> ListNames() const;
    // The index of the stored preset with this name (as it would be stored), or -1.
    int Find(std::string_view name) const;

    // Store the envelope under the name: a preset of that name is overwritten, else one is
    // added. The index, or -1 (and a message) when the name is empty or the section full.
    int Save(std::string_view name, const std::vector<EnvelopeEntry>& entries);
    int Save(std::string_view name, const EnvModulator& env);
    // 0 applied; 1 "Couldn't find envelope"; 2 the stored value is damaged (message shown,
    // nothing changed); 3 the preset is of the other kind.
    int Apply(std::string_view name, SampleHeader& header) const;
    int Apply(std::string_view name, EnvModulator& env) const;
    // 0 deleted; 1 "Couldn't find envelope".
    int Delete(std::string_view name);

  private:
    std::string KeyOf(int index) const;
    std::string ValueAt(int index) const;
    int Store(const std::string& name, const std::string& value);
    void Commit();
    void ShowDamaged(int index, const std::string& why) const;

    Profile& settings_;
    EnvelopeKind kind_;
};

}  // namespace talmeru
