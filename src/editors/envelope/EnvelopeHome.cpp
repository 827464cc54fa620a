#include "editors/envelope/EnvelopeHome.h"

#include "application/BankEdits.h"
#include "model/Program.h"
#include "model/SampleHeader.h"

namespace talmeru {

void SpreadEnvelopeEdit(const EnvelopeHome& home, BankEdits& edits) {
    if (home.header) {
        edits.Changed(*home.header);
        auto* partner = dynamic_cast<SampleHeader*>(home.header->chained);
        if (home.header->stereoRole == kStereoLeft && partner) {
            partner->envelope = home.header->envelope;
            edits.Changed(*partner);
        }
    }
    if (home.layer) home.layer->UpdateRightHalf();
    Program* program = home.program ? home.program : home.layer ? home.layer->Owner() : nullptr;
    if (program) edits.Changed(*program);
}

}  // namespace talmeru
