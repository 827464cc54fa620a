#include "platform/ByteIO.h"

namespace talmeru {

// Out of line, so the readers' fast paths stay small.
void ThrowReadPastEnd() {
    throw ReadPastEnd();
}

}  // namespace talmeru
