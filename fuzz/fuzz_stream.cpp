// The compressed sample stream decoder.
#include "files/SampleStream.h"

using namespace talmeru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> pcm;
    DecompressSamples(std::span<const uint8_t>(data, size), pcm);
    return 0;
}
