#include "application/Sf2ImportChoice.h"

#include <algorithm>

#include "platform/Format.h"
#include "platform/Profile.h"

namespace talmeru {

namespace {

constexpr const char* kModeKey = "Sf2Programs";

std::string MegaBytes(int64_t bytes) {
    return Fmt("%.1f MB", double(bytes) / 1048576.0);
}

Sf2BudgetLine CountLine(const char* label, int needed, int available) {
    return {label, needed, available, needed > available, Fmt("%d / %d", needed, available)};
}

Sf2BudgetLine RamLine(int64_t needed, int64_t available) {
    // Without a known total the need is shown alone and never counts as over.
    if (available <= 0) return {"Sample RAM", needed, 0, false, MegaBytes(needed) + " (no limit known)"};
    return {"Sample RAM", needed, available, needed > available,
            MegaBytes(needed) + " / " + MegaBytes(available)};
}

}  // namespace

Sf2ImportChoice::Sf2ImportChoice(Sf2Catalog catalog, Sf2Programs mode, Sf2Budget budget,
                                 Estimator estimate)
    : catalog_(std::move(catalog)),
      mode_(mode),
      budget_(budget),
      estimate_(std::move(estimate)),
      presetTicks_(catalog_.presets.size(), true),
      instTicks_(catalog_.instruments.size(), true) {}

Sf2Programs Sf2ImportChoice::StoredMode(const Profile& settings) {
    return settings.GetString("Options", kModeKey, "presets") == "instruments"
               ? Sf2Programs::kInstruments
               : Sf2Programs::kPresets;
}

void Sf2ImportChoice::StoreMode(Profile& settings, Sf2Programs mode) {
    // Words, as the command line's --sf2-programs takes them.
    settings.WriteString("Options", kModeKey,
                         mode == Sf2Programs::kInstruments ? "instruments" : "presets");
}

Sf2Budget Sf2ImportChoice::BudgetFor(int64_t sampleRamTotal) {
    Sf2Budget budget;
    budget.sampleBytes = std::max<int64_t>(sampleRamTotal, 0);
    return budget;
}

const std::vector<Sf2CatalogEntry>& Sf2ImportChoice::Entries() const {
    return mode_ == Sf2Programs::kPresets ? catalog_.presets : catalog_.instruments;
}

std::vector<size_t> Sf2ImportChoice::Order() const {
    std::vector<size_t> order(Entries().size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (mode_ == Sf2Programs::kPresets) {
        const auto& e = catalog_.presets;
        std::stable_sort(order.begin(), order.end(), [&e](size_t a, size_t b) {
            return std::pair(e[a].bank, e[a].preset) < std::pair(e[b].bank, e[b].preset);
        });
    }
    return order;
}

void Sf2ImportChoice::SetAll(bool on) {
    std::fill(Ticks().begin(), Ticks().end(), on);
}

int Sf2ImportChoice::CheckedCount() const {
    return int(std::count(Ticks().begin(), Ticks().end(), true));
}

Sf2Choice Sf2ImportChoice::Choice() const {
    Sf2Choice choice;
    choice.mode = mode_;
    if (CheckedCount() != int(Ticks().size())) choice.chosen = Ticks();
    choice.budget = budget_;
    return choice;
}

const std::vector<Sf2BudgetLine>& Sf2ImportChoice::Meter() {
    const Sf2Choice choice = Choice();
    if (metered_ && metered_->mode == choice.mode && metered_->chosen == choice.chosen)
        return meter_;
    // Nothing ticked needs nothing; the file is not read for it.
    const Sf2Needs needs = CheckedCount() == 0 ? Sf2Needs{} : estimate_(choice);
    meter_ = {CountLine("Sample headers", needs.sampleHeaders, budget_.sampleHeaders),
              CountLine("Keymaps", needs.keymaps, budget_.keymaps),
              CountLine("Programs", needs.programs, budget_.programs),
              RamLine(needs.sampleBytes, budget_.sampleBytes)};
    metered_ = choice;
    return meter_;
}

bool Sf2ImportChoice::OverBudget() {
    const auto& meter = Meter();
    return std::any_of(meter.begin(), meter.end(), [](const Sf2BudgetLine& l) { return l.over; });
}

std::string Sf2ImportChoice::OverBudgetText() const {
    if (mode_ == Sf2Programs::kPresets)
        return "Over the budget: the conversion drops velocity layers and key splits, then whole "
               "presets, and names every loss in the log.";
    return "Over the budget: every instrument is converted, but the synthesizer cannot hold "
           "the whole bank; untick instruments or convert by presets.";
}

std::string Sf2ImportChoice::EntryLabel(const Sf2CatalogEntry& entry, Sf2Programs mode) {
    const std::string name = Cp1252ToUtf8(entry.name);
    if (mode == Sf2Programs::kInstruments) return name;
    return Fmt("%03d:%03d ", entry.bank, entry.preset) + name;
}

std::string Sf2ImportChoice::SizeText(int64_t bytes) {
    if (bytes >= 1048576) return MegaBytes(bytes);
    return Fmt("%lld KB", static_cast<long long>((bytes + 1023) / 1024));
}

}  // namespace talmeru
