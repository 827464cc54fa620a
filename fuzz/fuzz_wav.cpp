// WAV headers and data, as a file of their own and as an image at an offset inside another
// file; the first byte picks the channel and the offset.
#include "FuzzSupport.h"
#include "files/WavWaveData.h"
#include "platform/ByteIO.h"

using namespace talmeru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    fuzz::InputPrompter prompter(fuzz::SeedOf(data, size));
    ScopedPrompter scope(prompter);
    const int channel = data[0] % 3;
    const size_t offset = (data[0] >> 2) & 1 ? (data[0] >> 3) : 0;
    std::vector<uint8_t> file(offset, 0xAA);
    file.insert(file.end(), data + 1, data + size);
    std::string path = fuzz::ScratchFile(".wav");
    WriteWholeFile(path, file);
    WavWaveData w(path, 1, channel, true, offset);
    if (w.LoadData() == 0) {
        ByteWriter out;
        WriteWav(out, w, nullptr);
    }
    return 0;
}
