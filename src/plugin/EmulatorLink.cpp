#include "plugin/EmulatorLink.h"

#include <algorithm>

#include "emulator/Ma1Emulator.h"
#include "platform/Prompter.h"
#include "synth/SynthLink.h"

namespace talmeru::plugin {

EmulatorLink::EmulatorLink(emulator::Ma1Emulator& emu) : emu_(emu) {
    ReadMemory();
}

void EmulatorLink::ReadMemory() {
    const emulator::Ma1Memory m = emu_.Memory();
    memory_ = {m.programFree, m.sampleFree, m.programTotal, m.sampleTotal};
}

int EmulatorLink::GetObject(int type, int number, std::vector<uint8_t>& block) {
    std::optional<std::vector<uint8_t>> object = emu_.Object(type, number);
    if (!object) return kNoSuchObject;
    block = std::move(*object);
    return kGotObject;
}

int EmulatorLink::QueryMemory(int which) {
    if (which != 0 && which != 1) return kNoReply;
    ReadMemory();
    return kReplied;
}

int EmulatorLink::StoreObject(std::span<const uint8_t> block) {
    return emu_.StoreDirect(block) ? 0 : 1;
}

int EmulatorLink::DeleteObject(int type, int number) {
    emu_.DeleteDirect(type, number);
    ReadMemory();
    return 0;
}

int EmulatorLink::UploadSampleData(int sampleNumber, std::span<const uint8_t> data, int& remaining,
                                   int bits) {
    return UploadByFilling(sampleNumber, data, remaining, bits);
}

int EmulatorLink::UploadSampleDataFilled(int sampleNumber, size_t length,
                                         const std::function<bool(std::span<uint8_t>)>& fill,
                                         int& remaining, int /*bits*/) {
    if (memory_.sampleTotal == 0) {
        ShowMessage("no RAM memory to upload sample data!");
        return 1;
    }
    const size_t block = SynthLink::SampleBlockSize(length);
    const bool kept = emu_.SampleDataDirect(sampleNumber, block, [&](std::span<uint8_t> body) {
        std::fill(body.begin() + std::ptrdiff_t(length), body.end(), uint8_t(0));
        return fill(body.first(length));
    });
    if (!kept) return 1;
    remaining = int(int64_t(remaining) - int64_t(block));
    return 0;
}

int EmulatorLink::AddAlias(int primary, int alias) {
    return emu_.AddAliasDirect(primary, alias) ? 0 : 1;
}

int EmulatorLink::RemoveAlias(int number) {
    emu_.RemoveAliasDirect(number);
    ReadMemory();
    return 0;
}

int EmulatorLink::ClearRam() {
    emu_.ClearRamDirect();
    ReadMemory();
    return 0;
}

uint16_t EmulatorLink::RomVersion() const {
    return emulator::Ma1Emulator::kIdentity[1];
}

}  // namespace talmeru::plugin
