#pragma once
// The SoundFont import dialog without a window: the mode and the ticks of each list, what the
// ticked sounds need of the synthesizer against what it holds, and the choice OK hands over.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "files/Sf2Import.h"

namespace talmeru {

class Profile;

// One row of the budget meter.
struct Sf2BudgetLine {
    std::string label;
    int64_t needed = 0, available = 0;  // available 0: no limit known
    bool over = false;
    std::string text;  // "412 / 512", "18.2 MB / 16.0 MB"
};

class Sf2ImportChoice {
  public:
    using Estimator = std::function<Sf2Needs(const Sf2Choice&)>;

    // estimate answers what a choice needs (EstimateSf2Needs on the file in the program).
    Sf2ImportChoice(Sf2Catalog catalog, Sf2Programs mode, Sf2Budget budget, Estimator estimate);

    // The mode the user chose last; presets on first use.
    static Sf2Programs StoredMode(const Profile& settings);
    static void StoreMode(Profile& settings, Sf2Programs mode);
    // The synthesizer's limits with its sample RAM (0: none known, no limit).
    static Sf2Budget BudgetFor(int64_t sampleRamTotal);

    Sf2Programs Mode() const { return mode_; }
    // Each list keeps its own ticks, so switching back finds them as they were.
    void SetMode(Sf2Programs mode) { mode_ = mode; }
    // The list of the mode: presets or instruments, as the file holds them.
    const std::vector<Sf2CatalogEntry>& Entries() const;
    // The indices of Entries() in the order listed: presets by bank and number (files keep
    // them in any order), instruments as the file holds them.
    std::vector<size_t> Order() const;
    bool Checked(size_t index) const { return Ticks()[index]; }
    void SetChecked(size_t index, bool on) { Ticks()[index] = on; }
    void SetAll(bool on);
    int CheckedCount() const;

    // What OK converts: the mode, the ticked entries (empty when all are), the budget.
    Sf2Choice Choice() const;
    // The meter's rows for the ticked entries; the estimate is asked again only when the
    // choice changed since the last call.
    const std::vector<Sf2BudgetLine>& Meter();
    bool OverBudget();
    // What happens to a choice over the budget, in the mode's words.
    std::string OverBudgetText() const;

    // "000:004 Electric Piano" for a preset, the name alone for an instrument.
    static std::string EntryLabel(const Sf2CatalogEntry& entry, Sf2Programs mode);
    // "1.4 MB", "36 KB", "0 KB".
    static std::string SizeText(int64_t bytes);

  private:
    std::vector<bool>& Ticks() { return mode_ == Sf2Programs::kPresets ? presetTicks_ : instTicks_; }
    const std::vector<bool>& Ticks() const {
        return mode_ == Sf2Programs::kPresets ? presetTicks_ : instTicks_;
    }

    Sf2Catalog catalog_;
    Sf2Programs mode_;
    Sf2Budget budget_;
    Estimator estimate_;
    std::vector<bool> presetTicks_, instTicks_;
    // The choice the meter was made for, so unchanged ticks do not read the file again.
    std::optional<Sf2Choice> metered_;
    std::vector<Sf2BudgetLine> meter_;
};

}  // namespace talmeru
