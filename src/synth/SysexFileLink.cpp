#include "synth/SysexFileLink.h"

#include "synth/Sysex.h"

namespace talmeru {

SysexFileLink::SysexFileLink(const std::filesystem::path& path, Profile& settings)
    : SynthLink(settings), out_(path, std::ios::binary | std::ios::trunc) {
    // A file takes sample data without limit.
    hasSampleRam_ = true;
}

bool SysexFileLink::Close() {
    if (!out_.is_open()) return false;
    out_.close();
    return !out_.fail();
}

void SysexFileLink::SendShort(uint8_t status, uint8_t data1, uint8_t data2, uint8_t data3) {
    const char bytes[4] = {char(status), char(data1), char(data2), char(data3)};
    out_.write(bytes, sizeof bytes);
}

int SysexFileLink::GetObject(int, int, std::vector<uint8_t>& block) {
    block.clear();
    return kNoSuchObject;
}

int SysexFileLink::SendSysex(std::span<const uint8_t> bytes, size_t length) {
    length = SysexSendLength(bytes, length);
    out_.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(length));
    return IsOpen() ? 0 : 1;
}

}  // namespace talmeru
