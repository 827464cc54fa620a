#pragma once
// Stands in for the system's MIDI devices: named outputs and inputs, listing and opening
// failures on chosen devices, and ports that record what was sent and deliver on request.
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/MidiSystem.h"

namespace talmeru::test {

class FakeInPort : public MidiInPort {
  public:
    using MidiInPort::MidiInPort;
    void Short(uint32_t m) { DeliverShort(m); }
    void Long(std::span<const uint8_t> b) { DeliverLong(b); }
};

class FakeMidiDevices : public MidiDeviceProvider {
  public:
    struct Out : MidiOutPort {
        MidiError SendShort(uint32_t m) override {
            shorts.push_back(m);
            return {};
        }
        MidiError SendLong(std::span<const uint8_t> b) override {
            if (sendError) return sendError;
            longs.emplace_back(b.begin(), b.end());
            return {};
        }
        std::vector<uint32_t> shorts;
        std::vector<std::vector<uint8_t>> longs;
        MidiError sendError;
    };

    std::vector<std::string> outputs, inputs;
    std::set<int> failingOutputCaps, failingInputCaps, failingOpens;  // open: outputs as-is,
                                                                      // inputs as 100 + index
    int opens = 0;
    Out* lastOut = nullptr;
    std::map<int, FakeInPort*> openInputs;  // by index, while open

    int OutputCount() override { return int(outputs.size()); }
    int InputCount() override { return int(inputs.size()); }
    MidiError GetOutputCaps(int i, MidiOutCaps& caps) override {
        if (failingOutputCaps.contains(i)) return {7, "output driver broken"};
        caps = MidiOutCaps{};
        caps.name = outputs.at(size_t(i));
        caps.manufacturerId = 0x41;
        caps.productId = uint16_t(i);
        caps.technology = 1;
        return {};
    }
    MidiError GetInputCaps(int i, MidiInCaps& caps) override {
        if (failingInputCaps.contains(i)) return {8, "input driver broken"};
        caps = MidiInCaps{};
        caps.name = inputs.at(size_t(i));
        caps.manufacturerId = 0x41;
        caps.productId = uint16_t(100 + i);
        return {};
    }
    MidiError OpenOutput(int i, std::unique_ptr<MidiOutPort>& port) override {
        ++opens;
        if (failingOpens.contains(i)) return {4, "device already allocated"};
        auto p = std::make_unique<Out>();
        lastOut = p.get();
        port = std::move(p);
        return {};
    }
    MidiError OpenInput(int i, MidiInHandler& handler, std::unique_ptr<MidiInPort>& port) override {
        ++opens;
        if (failingOpens.contains(100 + i)) return {4, "device already allocated"};
        auto p = std::make_unique<FakeInPort>(handler);
        openInputs[i] = p.get();
        port = std::move(p);
        return {};
    }
};

}  // namespace talmeru::test
