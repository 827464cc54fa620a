// Replies of the synthesizer through UnpackSysex; the first two bytes give the payload size
// the caller expects.
#include "FuzzSupport.h"
#include "synth/Sysex.h"

using namespace talmeru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    fuzz::InputPrompter prompter(0);
    ScopedPrompter scope(prompter);
    size_t n = (data[0] | (data[1] << 8)) % 4200;
    std::vector<uint8_t> out;
    UnpackSysex(std::span<const uint8_t>(data + 2, size - 2), n, out);
    Unpack7Bit(std::span<const uint8_t>(data + 2, size - 2));
    return 0;
}
