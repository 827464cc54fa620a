#pragma once
// Looking up a modulator's inputs, and the checks that keep modulator references from
// looping or pointing at modulators evaluated later; shared by programs and layers.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/Modulator.h"
#include "model/Results.h"

namespace talmeru {

class Layer;
class Program;

// Where a modulator's inputs are looked up: program references (0xC) in the program, layer
// references (0xF) in the layer, and the latter only for a layer modulator.
struct ModulatorScope {
    const Program* program = nullptr;
    const Layer* layer = nullptr;
    Modulator* Resolve(const Modulator& holder, int source) const;
};

// False when target is start or can be reached from start through inputs within 10 levels.
bool WouldLoop(const ModulatorScope& scope, const Modulator& start, const Modulator& target,
               int depth = 0);

// The modulator lists of programs and layers.
using ModulatorList = std::vector<std::unique_ptr<Modulator>>;

// The lowest id no modulator of list has, or -1 when all 16 are taken.
int LowestFreeId(const ModulatorList& list);
Modulator* FindById(const ModulatorList& list, int id);
// Erases m from list; kFailed when it is not there.
Result RemoveFrom(ModulatorList& list, const Modulator* m);
// The order check over one list, shared by programs and layers: reference loops are
// reported, and the first modulator caught in one also gets warning(m) shown. False when
// that was shown.
bool CheckOrder(const ModulatorScope& scope, const ModulatorList& list,
                const std::function<std::string(const Modulator&)>& warning);

}  // namespace talmeru
