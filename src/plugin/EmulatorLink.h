#pragma once
// The bank's link to an emulator in the same process: objects, sample data and aliases go
// straight into its state, as the protocol's messages would leave it, without being packed
// into messages and waited on. The plugin loads its bank so; the protocol stays for MIDI and
// `talmeru-cli render`.
#include "model/BankLink.h"

namespace talmeru::emulator {
class Ma1Emulator;
}

namespace talmeru::plugin {

class EmulatorLink : public BankLink {
  public:
    // The emulator must outlive the link. The memory figures are read at once.
    explicit EmulatorLink(emulator::Ma1Emulator& emu);

    [[nodiscard]] int GetObject(int type, int number, std::vector<uint8_t>& block) override;
    int QueryMemory(int which) override;
    // 0, or 1 for what the emulator refuses (as it would refuse the message).
    int StoreObject(std::span<const uint8_t> block) override;
    int DeleteObject(int type, int number) override;
    // The block the protocol's message carries (data, zeros up to 1024 bytes, a padding
    // word), 16-bit data as they are; `remaining` lowered by it.
    int UploadSampleData(int sampleNumber, std::span<const uint8_t> data, int& remaining,
                         int bits) override;
    int UploadSampleDataFilled(int sampleNumber, size_t length,
                               const std::function<bool(std::span<uint8_t>)>& fill, int& remaining,
                               int bits) override;
    int AddAlias(int primary, int alias) override;
    int RemoveAlias(int number) override;
    int ClearRam() override;
    uint16_t RomVersion() const override;
    const MemoryFigures& Memory() const override { return memory_; }

  private:
    void ReadMemory();
    emulator::Ma1Emulator& emu_;
    MemoryFigures memory_;
};

}  // namespace talmeru::plugin
