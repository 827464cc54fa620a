#include "editors/program/ProgramTable.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "application/BankEdits.h"
#include "application/UndoHistory.h"
#include "model/Keymap.h"
#include "model/Ma1Units.h"
#include "model/NoteNames.h"
#include "model/Program.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"

namespace talmeru {

namespace {

std::vector<TableRow> MakeRows() {
    using F = FieldId;
    using U = TableUnit;
    // Tracking rows read as what they do at the far end of their input, as the layer editor
    // writes them; every one of them is linear in its stored value.
    const double velocityDb = units::VelocityDb(1, 1);
    const double keyDb = units::KeyDb(1, 72);
    const double filterVelocity = units::FilterVelocitySemitones(1, 127);
    const double filterKey = units::FilterKeySemitones(1, 61) * 100.0;
    return {
        {F::kVelocityRange, 0, "Velocity low", U::kPlain},
        {F::kVelocityRange, 1, "Velocity high", U::kPlain},
        {F::kGain, 0, "Gain", U::kLinear, 1, " dB"},
        {F::kPan, 0, "Pan", U::kPan},
        {F::kAmpVelocityTracking, 0, "Amp velocity tracking (at vel 1)", U::kLinear, velocityDb,
         " dB", 1},
        {F::kAmpKeyTracking, 0, "Amp key tracking", U::kLinear, keyDb, " dB/oct", 2},
        {F::kCoarseTune, 0, "Coarse tune", U::kLinear, 1, " st"},
        {F::kFineTune, 0, "Fine tune", U::kLinear, units::FineTuneCents(1), " ct", 1},
        {F::kTimbreShift, 0, "Timbre shift", U::kLinear, 1, " st"},
        {F::kDelay, 0, "Delay", U::kDelay},
        {F::kFilter1Frequency, 0, "Filter 1 frequency", U::kHertz},
        {F::kFilter1VelocityTrack, 0, "Filter 1 velocity (at vel 127)", U::kLinear,
         filterVelocity, " st", 1},
        {F::kFilter1KeyTrack, 0, "Filter 1 key tracking", U::kLinear, filterKey, " %"},
        {F::kFilter2Frequency, 0, "Filter 2 frequency", U::kHertz},
        {F::kFilter2VelocityTrack, 0, "Filter 2 velocity (at vel 127)", U::kLinear,
         filterVelocity, " st", 1},
        {F::kFilter2KeyTrack, 0, "Filter 2 key tracking", U::kLinear, filterKey, " %"},
        {F::kHeadroom1, 0, "Headroom before filter 1", U::kLinear, units::kHeadroomDbPerStep,
         " dB"},
        {F::kHeadroom2, 0, "Headroom before filter 2", U::kLinear, units::kHeadroomDbPerStep,
         " dB"},
    };
}

// The first number in text (a sign and a decimal point allowed), or none.
std::optional<double> FirstNumber(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])) && text[i] != '.') continue;
        size_t from = i;
        if (from > 0 && (text[from - 1] == '-' || text[from - 1] == '+')) --from;
        char* end = nullptr;
        const double v = std::strtod(text.c_str() + from, &end);
        if (end != text.c_str() + from && std::isfinite(v)) return v;
    }
    return std::nullopt;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

int Round(double v) {
    return static_cast<int>(std::lround(std::clamp(v, -1e6, 1e6)));
}

}  // namespace

std::span<const TableRow> ProgramTableRows() {
    static const std::vector<TableRow> rows = MakeRows();
    return rows;
}

std::string TableCellText(const Layer& layer, const TableRow& row) {
    if (!FieldEnabled(layer, row.field)) return "-";
    const int v = FieldValue(layer, row.field, row.handle);
    switch (row.unit) {
        case TableUnit::kPlain:
            return std::to_string(v);
        case TableUnit::kLinear:
            return Fmt("%+.*f%s", row.decimals, v * row.scale, row.suffix);
        case TableUnit::kPan: {
            const int percent = Round(units::PanPosition(v) * 100.0);
            if (percent == 0) return "C";
            return Fmt("%s %d %%", percent < 0 ? "L" : "R", std::abs(percent));
        }
        case TableUnit::kHertz: {
            const double hz = units::FilterHz(v);
            return hz >= 1000.0 ? Fmt("%.2f kHz", hz / 1000.0) : Fmt("%.0f Hz", hz);
        }
        case TableUnit::kDelay: {
            const double ms = v * units::kDelaySecondsPerStep * 1000.0;
            return ms >= 1000.0 ? Fmt("%.2f s", ms / 1000.0) : Fmt("%.1f ms", ms);
        }
    }
    return {};
}

std::optional<int> ParseTableCell(const TableRow& row, const std::string& text) {
    const std::string t = Lower(text);
    if (row.unit == TableUnit::kPan && t.find_first_not_of(" c") == std::string::npos &&
        t.find('c') != std::string::npos)
        return units::PanForPosition(0);
    const std::optional<double> number = FirstNumber(t);
    if (!number) return std::nullopt;
    const double n = *number;
    switch (row.unit) {
        case TableUnit::kPlain:
            return Round(n);
        case TableUnit::kLinear:
            return Round(n / row.scale);
        case TableUnit::kPan: {
            const size_t letter = t.find_first_not_of(" ");
            const double sign = t[letter] == 'l' ? -1.0 : 1.0;
            return units::PanForPosition(std::clamp(sign * n / 100.0, -1.0, 1.0));
        }
        case TableUnit::kHertz:
            return units::FilterSetting(t.find('k') != std::string::npos ? n * 1000.0 : n);
        case TableUnit::kDelay: {
            const bool seconds = t.find('s') != std::string::npos && t.find("ms") == std::string::npos;
            return Round((seconds ? n * 1000.0 : n) / (units::kDelaySecondsPerStep * 1000.0));
        }
    }
    return std::nullopt;
}

std::string TableColumnTitle(const Layer& layer) {
    std::string title = layer.DisplayName();
    if (layer.StereoState() == kStereoLeft) title += " (L)";
    if (layer.StereoState() == kStereoRight) title += " (R)";
    auto note = [](int key) {
        std::string n = NoteName(key);
        n.erase(0, n.find_first_not_of(' '));
        return n;
    };
    return title + Fmt("\nKeymap %d\n%s-%s", layer.keymap, note(layer.keyLow).c_str(),
                       note(layer.keyHigh).c_str());
}

Program* ProgramTable::CurrentProgram() const {
    return edits_.Bank().GetProgram(program_);
}

int ProgramTable::LayerCount() const {
    const Program* p = CurrentProgram();
    return p ? p->LayerCount() : 0;
}

const Layer* ProgramTable::LayerAt(int index) const {
    const Program* p = CurrentProgram();
    return p ? p->GetLayer(index) : nullptr;
}

int ProgramTable::Set(int row, const std::vector<int>& layers, const std::string& text) {
    const std::span<const TableRow> rows = ProgramTableRows();
    if (row < 0 || row >= static_cast<int>(rows.size())) return -1;
    const TableRow& r = rows[size_t(row)];
    const std::optional<int> value = ParseTableCell(r, text);
    if (!value) return -1;
    Program* p = CurrentProgram();
    if (!p || !edits_.Editable()) return 0;
    EditStep step(edits_, std::string("Set ") + r.title);
    int changed = 0;
    for (int index : layers) {
        Layer* layer = p->GetLayer(index);
        if (!layer || !FieldEnabled(*layer, r.field)) continue;
        if (SetFieldValue(*layer, r.field, *value, r.handle)) {
            LayerChanged(*layer, edits_);
            ++changed;
        }
    }
    return changed;
}

}  // namespace talmeru
