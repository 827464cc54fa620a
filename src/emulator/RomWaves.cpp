#include "emulator/RomWaves.h"

#include <cmath>
#include <numbers>

#include "platform/RomDirectory.h"

namespace talmeru::emulator {

std::shared_ptr<const std::vector<int8_t>> RomWaves() {
    static const std::shared_ptr<const std::vector<int8_t>> waves = [] {
        auto data = std::make_shared<std::vector<int8_t>>(size_t(kRomSampleLength) + 1, 0);
        // A sine at 441 Hz everywhere, until each region has its own stand-in.
        for (size_t i = 0; i < data->size(); ++i)
            (*data)[i] = int8_t(std::lround(100 * std::sin(2 * std::numbers::pi * double(i) / 100)));
        return data;
    }();
    return waves;
}

}  // namespace talmeru::emulator
