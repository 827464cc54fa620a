#pragma once
// A link that writes every MA-1 message into a .syx file instead of sending it: short
// messages as their four bytes, system-exclusive messages as they are. It has no replies:
// nothing can be fetched and the queries leave the figures as they are.
#include <filesystem>
#include <fstream>

#include "synth/SynthLink.h"

namespace talmeru {

class SysexFileLink : public SynthLink {
  public:
    // Creates (or truncates) the file; IsOpen tells whether that worked.
    SysexFileLink(const std::filesystem::path& path, Profile& settings);

    bool IsOpen() const { return out_.is_open() && out_.good(); }
    // Flushes what was written; false when any write failed.
    bool Close();

    void SendShort(uint8_t status, uint8_t data1, uint8_t data2, uint8_t data3) override;
    int GetObject(int type, int number, std::vector<uint8_t>& block) override;
    int QueryIdentity() override { return kReplied; }
    int QueryMemory(int which) override { return which == 0 || which == 1 ? kReplied : kNoReply; }
    // 0, or 1 when the file cannot be written.
    int SendSysex(std::span<const uint8_t> bytes, size_t length = 0) override;

  private:
    std::ofstream out_;
};

}  // namespace talmeru
