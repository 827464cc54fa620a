#include "editors/envelope/EnvelopeHome.h"

#include "model/Program.h"
#include "model/SampleHeader.h"

namespace talmeru {

std::vector<BankObject*> SpreadEnvelopeEdit(const EnvelopeHome& home) {
    std::vector<BankObject*> changed;
    if (home.header) {
        changed.push_back(home.header);
        auto* partner = dynamic_cast<SampleHeader*>(home.header->chained);
        if (home.header->stereoRole == kStereoLeft && partner) {
            partner->envelope = home.header->envelope;
            partner->DropPackedCopy();
            changed.push_back(partner);
        }
    }
    if (home.layer) home.layer->UpdateRightHalf();
    Program* program = home.program ? home.program : home.layer ? home.layer->Owner() : nullptr;
    if (program) {
        program->DropPackedCopy();
        changed.push_back(program);
    }
    return changed;
}

}  // namespace talmeru
