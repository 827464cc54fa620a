#include "model/ModulatorScope.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "model/Layer.h"
#include "model/Program.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

// Beyond this many levels of references a walk counts as a recursion.
constexpr int kMaxChain = 16;
constexpr int kEndless = kMaxChain + 1;
// WouldLoop gives up (answers false) deeper than this.
constexpr int kMaxLoopDepth = 10;

// The longest chain of references from a modulator, a cycle counting as endless. Results
// are remembered, so a walk over a tangle of modulators stays linear instead of following
// every path again.
class ChainMeter {
  public:
    explicit ChainMeter(const ModulatorScope& scope) : scope_(scope) {}

    int Depth(Modulator& m) {
        if (open_.count(&m)) return kEndless;
        if (auto it = memo_.find(&m); it != memo_.end()) return it->second;
        open_.insert(&m);
        int deepest = 0;
        for (int i = 0; i < m.InputCount() && deepest < kEndless; ++i) {
            Modulator* next = scope_.Resolve(m, m.InputSource(i));
            if (next) deepest = std::max(deepest, std::min(kEndless, 1 + Depth(*next)));
        }
        open_.erase(&m);
        memo_[&m] = deepest;
        return deepest;
    }

    void ClearPlacedOfReached() {
        for (auto& [m, depth] : memo_)
            m->placed = false;
    }

  private:
    const ModulatorScope& scope_;
    std::map<Modulator*, int> memo_;
    std::set<Modulator*> open_;
};

bool WouldLoopStep(const ModulatorScope& scope, const Modulator& start, const Modulator& target,
                   int depth, std::map<std::pair<const Modulator*, int>, bool>& memo) {
    if (depth > kMaxLoopDepth || &start == &target) return false;
    auto key = std::make_pair(&start, depth);
    if (auto it = memo.find(key); it != memo.end()) return it->second;
    bool fine = true;
    for (int i = 0; i < start.InputCount() && fine; ++i) {
        Modulator* next = scope.Resolve(start, start.InputSource(i));
        if (next && !WouldLoopStep(scope, *next, target, depth + 1, memo)) fine = false;
    }
    memo[key] = fine;
    return fine;
}

}  // namespace

int LowestFreeId(const ModulatorList& list) {
    for (int id = 0; id < kMaxModulators; ++id) {
        bool used =
            std::any_of(list.begin(), list.end(), [id](const auto& m) { return m->Id() == id; });
        if (!used) return id;
    }
    return -1;
}

Modulator* FindById(const ModulatorList& list, int id) {
    for (const auto& m : list)
        if (m->Id() == id) return m.get();
    return nullptr;
}

Result RemoveFrom(ModulatorList& list, const Modulator* m) {
    auto it = std::find_if(list.begin(), list.end(), [m](const auto& p) { return p.get() == m; });
    if (it == list.end()) return kFailed;
    list.erase(it);
    return kOk;
}

bool CheckOrder(const ModulatorScope& scope, const ModulatorList& list,
                const std::function<std::string(const Modulator&)>& warning) {
    ChainMeter meter(scope);
    for (const auto& m : list)
        if (meter.Depth(*m) > kMaxChain) ShowMessage("Recursion in modulators detected, aborting");
    meter.ClearPlacedOfReached();
    for (const auto& m : list) {
        if (meter.Depth(*m) > kMaxChain) {
            ShowMessage("Recursion in modulators detected, aborting 2");
            ShowMessage(warning(*m));
            return false;
        }
        m->placed = true;
    }
    return true;
}

Modulator* ModulatorScope::Resolve(const Modulator& holder, int source) const {
    if (source < 0) return nullptr;
    auto code = static_cast<uint8_t>(source);
    if (ClassifySource(code) == SourceClass::kProgramModulator)
        return program ? program->FindModulator(SourceModulatorId(code)) : nullptr;
    if (ClassifySource(code) == SourceClass::kLayerModulator && holder.ownerKind == kLayerModulator)
        return layer ? layer->FindModulator(SourceModulatorId(code)) : nullptr;
    return nullptr;
}

bool WouldLoop(const ModulatorScope& scope, const Modulator& start, const Modulator& target,
               int depth) {
    std::map<std::pair<const Modulator*, int>, bool> memo;
    return WouldLoopStep(scope, start, target, depth, memo);
}

}  // namespace talmeru
