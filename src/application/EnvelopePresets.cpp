#include "application/EnvelopePresets.h"

#include <algorithm>
#include <charconv>

#include "model/WaveData.h"
#include "platform/Format.h"
#include "platform/PathText.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

constexpr const char* kCountKey = "NumberPresets";
constexpr int kPercussivePiece = 30000;
constexpr int kPercussivePieces = 8;

// The numbers after the name, strictly: integers separated by blanks and nothing else.
bool ReadNumbers(std::string_view text, std::vector<long long>& out, std::string& why) {
    size_t pos = 0;
    while (true) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
            ++pos;
        if (pos == text.size()) return true;
        long long v = 0;
        auto [end, ec] = std::from_chars(text.data() + pos, text.data() + text.size(), v);
        if (ec != std::errc() ||
            (end != text.data() + text.size() && *end != ' ' && *end != '\t')) {
            why = Fmt("\"%s\" is not a number",
                      std::string(text.substr(pos, text.find(' ', pos) - pos)).c_str());
            return false;
        }
        out.push_back(v);
        pos = static_cast<size_t>(end - text.data());
    }
}

bool SplitPreset(std::string_view value, std::vector<long long>& numbers, std::string& why) {
    if (value.size() <= kPresetNameLength) {
        why = "it holds no envelope";
        return false;
    }
    return ReadNumbers(value.substr(kPresetNameLength), numbers, why);
}

bool InRange(long long v, long long lo, long long hi) {
    return v >= lo && v <= hi;
}

int SegmentCount(uint8_t counts) {
    return (counts & 0x07) + 1 + ((counts >> 3) & 0x03) + 1 + ((counts >> 5) & 0x03) + 1;
}

}  // namespace

const char* PresetSection(EnvelopeKind kind) {
    return kind == kNaturalEnvelope ? "NatEnvPreset" : "ModEnvPreset";
}

EnvShape ShapeOf(const EnvModulator& env) {
    return {env.CountsByte(), env.Segments()};
}

void ApplyShape(const EnvShape& shape, EnvModulator& env) {
    // The counts byte is the three group sizes and the Linear bit.
    env.SetAttackCount((shape.counts & 0x07) + 1);
    env.SetDecayCount(((shape.counts >> 3) & 0x03) + 1);
    env.SetReleaseCount(((shape.counts >> 5) & 0x03) + 1);
    env.SetLinear((shape.counts & 0x80) != 0);
    for (size_t i = 0; i < shape.segments.size(); ++i)
        env.SetSegment(static_cast<int>(i), shape.segments[i].level, shape.segments[i].time);
}

std::string PresetName(std::string_view typed) {
    std::string name;
    for (char c : typed) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F) name += c;
    }
    const auto first = name.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    name.erase(0, first);
    if (name.size() > kPresetNameLength) {
        size_t cut = kPresetNameLength;
        // Back up to the start of a UTF-8 character.
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}

std::string StoredPresetName(std::string_view value) {
    std::string name(value.substr(0, kPresetNameLength));
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}

std::string FormatNaturalPreset(std::string_view name, const std::vector<EnvelopeEntry>& entries) {
    std::string v = Fmt("%-16s ", std::string(name).c_str());
    v += Fmt("%d ", static_cast<int>(entries.size()));
    for (const EnvelopeEntry& e : entries)
        v += Fmt("%d %d ", e.duration, e.slope);
    return v;
}

std::string FormatModulatorPreset(std::string_view name, const EnvShape& shape) {
    std::string v = Fmt("%-16s ", std::string(name).c_str());
    v += Fmt("%d %d ", shape.counts, static_cast<int>(shape.segments.size()));
    for (const EnvSegment& s : shape.segments)
        v += Fmt("%d %d ", s.time, s.level);
    return v;
}

bool ParseNaturalPreset(std::string_view value, std::vector<EnvelopeEntry>& entries,
                        std::string& why) {
    std::vector<long long> n;
    if (!SplitPreset(value, n, why)) return false;
    if (n.empty() || !InRange(n[0], 0, kMaxNaturalEntries)) {
        why = n.empty() ? "the entry count is missing" : "the entry count is out of range";
        return false;
    }
    if (n.size() != 1 + 2 * static_cast<size_t>(n[0])) {
        why = Fmt("it names %lld entries but holds %zu numbers for them", n[0], n.size() - 1);
        return false;
    }
    std::vector<EnvelopeEntry> out;
    for (size_t i = 1; i < n.size(); i += 2) {
        if (!InRange(n[i], 0, 65535) || !InRange(n[i + 1], -32768, 32767)) {
            why = Fmt("entry %zu is out of range", (i - 1) / 2 + 1);
            return false;
        }
        out.push_back({static_cast<int>(n[i + 1]), static_cast<int>(n[i])});
    }
    entries = std::move(out);
    return true;
}

bool ParseModulatorPreset(std::string_view value, EnvShape& shape, std::string& why) {
    std::vector<long long> n;
    if (!SplitPreset(value, n, why)) return false;
    if (n.size() < 2 || !InRange(n[0], 0, 255)) {
        why = n.size() < 2 ? "the segment counts are missing" : "the counts byte is out of range";
        return false;
    }
    const auto counts = static_cast<uint8_t>(n[0]);
    // The segment list must match the groups the counts byte names, or the ENV would pack
    // to a size its own counts contradict.
    if (n[1] != SegmentCount(counts)) {
        why = Fmt("the counts byte names %d segments, not %lld", SegmentCount(counts), n[1]);
        return false;
    }
    if (n.size() != 2 + 2 * static_cast<size_t>(n[1])) {
        why = Fmt("it names %lld segments but holds %zu numbers for them", n[1], n.size() - 2);
        return false;
    }
    EnvShape out{counts, {}};
    for (size_t i = 2; i < n.size(); i += 2) {
        if (!InRange(n[i], 0, 255) || !InRange(n[i + 1], -128, 127)) {
            why = Fmt("segment %zu is out of range", (i - 2) / 2 + 1);
            return false;
        }
        out.segments.push_back({static_cast<int8_t>(n[i + 1]), static_cast<uint8_t>(n[i])});
    }
    shape = std::move(out);
    return true;
}

void MakeFlatEnvelope(SampleHeader& header) {
    header.ResetEnvelope(kDefaultDecaySlope);
}

void MakePercussiveEnvelope(SampleHeader& header) {
    WaveData* wave = header.Wave();
    std::vector<EnvelopeEntry> env;
    // Without wave data of a known length, or without points, the length is unknown.
    if (!wave || wave->Length() < 0 || header.end <= header.start) {
        env.push_back({0, kPercussivePiece});
    } else {
        // The header's points are in bytes; the pieces count sample frames.
        const int64_t bytesPerFrame = (header.flags & kSixteenBit) ? 2 : 1;
        int64_t until = header.loopStart >= header.start ? header.loopStart : header.end;
        int64_t frames = std::max<int64_t>(0, (until - header.start) / bytesPerFrame);
        while (frames > 0 && static_cast<int>(env.size()) < kPercussivePieces) {
            const int64_t piece = std::min<int64_t>(frames, kPercussivePiece);
            env.push_back({0, static_cast<int>(piece)});
            frames -= piece;
        }
    }
    env.push_back({-2000, 0});
    env.push_back({kDefaultDecaySlope, 0});
    header.envelope = std::move(env);
}

std::string EnvelopePresets::KeyOf(int index) const {
    return Fmt("Preset%d", index);
}

std::string EnvelopePresets::ValueAt(int index) const {
    return settings_.GetString(Section(), KeyOf(index));
}

int EnvelopePresets::Count(bool* damaged) const {
    const int count = settings_.GetInt(Section(), kCountKey, 0);
    const bool bad = count < 0 || count > kMaxEnvelopePresets;
    if (damaged) *damaged = bad;
    if (!bad) return count;
    int found = 0;
    while (found < kMaxEnvelopePresets && settings_.Find(Section(), KeyOf(found)))
        ++found;
    return found;
}

std::vector<std::string> EnvelopePresets::ListNames() const {
    std::vector<std::string> names;
    if (kind_ == kNaturalEnvelope) names = {kFlatEnvName, kPercussiveEnvName};
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        std::string name = StoredPresetName(ValueAt(i));
        if (!name.empty()) names.push_back(std::move(name));
    }
    return names;
}

int EnvelopePresets::Find(std::string_view name) const {
    const std::string wanted = PresetName(name);
    if (wanted.empty()) return -1;
    const int count = Count();
    for (int i = 0; i < count; ++i)
        if (StoredPresetName(ValueAt(i)) == wanted) return i;
    return -1;
}

void EnvelopePresets::Commit() {
    // Presets are the user's work: they reach the file at once, as the profile functions of
    // the design wrote them.
    if (!settings_.Path().empty() && !settings_.Save())
        ShowMessage(Fmt("Couldn't write the envelope presets to the settings file \"%s\".",
                        Utf8FromPath(settings_.Path()).c_str()));
}

int EnvelopePresets::Store(const std::string& name, const std::string& value) {
    int index = Find(name);
    if (index < 0) {
        index = Count();
        if (index >= kMaxEnvelopePresets) {
            ShowMessage(
                Fmt("There are %d envelope presets already; please delete one first.", index));
            return -1;
        }
        settings_.WriteInt(Section(), kCountKey, index + 1);
    }
    settings_.WriteString(Section(), KeyOf(index), value);
    Commit();
    return index;
}

int EnvelopePresets::Save(std::string_view name, const std::vector<EnvelopeEntry>& entries) {
    const std::string stored = PresetName(name);
    if (stored.empty()) {
        ShowMessage("Please give the envelope preset a name.");
        return -1;
    }
    return Store(stored, FormatNaturalPreset(stored, entries));
}

int EnvelopePresets::Save(std::string_view name, const EnvModulator& env) {
    const std::string stored = PresetName(name);
    if (stored.empty()) {
        ShowMessage("Please give the envelope preset a name.");
        return -1;
    }
    return Store(stored, FormatModulatorPreset(stored, ShapeOf(env)));
}

void EnvelopePresets::ShowDamaged(int index, const std::string& why) const {
    const std::string value = ValueAt(index);
    ShowMessage(
        Fmt("The envelope preset \"%s\" (%s in section [%s] of the settings file) is "
            "damaged: %s. Nothing was changed.",
            StoredPresetName(value).c_str(), KeyOf(index).c_str(), Section(), why.c_str()));
}

int EnvelopePresets::Apply(std::string_view name, SampleHeader& header) const {
    if (kind_ != kNaturalEnvelope) return 3;
    const int index = Find(name);
    if (index < 0) {
        ShowMessage("Couldn't find envelope");
        return 1;
    }
    std::vector<EnvelopeEntry> entries;
    std::string why;
    if (!ParseNaturalPreset(ValueAt(index), entries, why)) {
        ShowDamaged(index, why);
        return 2;
    }
    header.envelope = std::move(entries);
    return 0;
}

int EnvelopePresets::Apply(std::string_view name, EnvModulator& env) const {
    if (kind_ != kModulatorEnvelope) return 3;
    const int index = Find(name);
    if (index < 0) {
        ShowMessage("Couldn't find envelope");
        return 1;
    }
    EnvShape shape;
    std::string why;
    if (!ParseModulatorPreset(ValueAt(index), shape, why)) {
        ShowDamaged(index, why);
        return 2;
    }
    ApplyShape(shape, env);
    return 0;
}

int EnvelopePresets::Delete(std::string_view name) {
    const int index = Find(name);
    if (index < 0) {
        ShowMessage("Couldn't find envelope");
        return 1;
    }
    const int count = Count();
    for (int i = index; i + 1 < count; ++i) {
        if (auto next = settings_.Find(Section(), KeyOf(i + 1)))
            settings_.WriteString(Section(), KeyOf(i), *next);
        else
            settings_.DeleteKey(Section(), KeyOf(i));
    }
    // The last key would otherwise linger past the count.
    settings_.DeleteKey(Section(), KeyOf(count - 1));
    settings_.WriteInt(Section(), kCountKey, count - 1);
    Commit();
    return 0;
}

}  // namespace talmeru
