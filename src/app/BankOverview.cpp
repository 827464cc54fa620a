#include "app/BankOverview.h"

#include <algorithm>
#include <set>

#include "files/BankFormats.h"
#include "model/BankLink.h"
#include "model/Keymap.h"
#include "model/Program.h"
#include "model/SampleHeader.h"
#include "model/WaveData.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"

namespace talmeru {

std::string BytesText(uint64_t bytes) {
    const auto b = static_cast<unsigned long long>(bytes);
    if (bytes >= 1048576) return Fmt("%.2f MB (%llu bytes)", bytes / 1048576.0, b);
    if (bytes >= 1024) return Fmt("%.1f KB (%llu bytes)", bytes / 1024.0, b);
    return Fmt("%llu bytes", b);
}

std::vector<std::pair<std::string, std::string>> BankOverview(const ZedoDatabase& bank,
                                                              const MemoryFigures* memory) {
    int programs = 0, layers = 0, keymaps = 0, samples = 0, romSamples = 0;
    uint64_t objectBytes = 0, sampleBytes = 0;
    // Wave data shared by several headers (aliases, stereo halves of one file) count once.
    std::set<const WaveData*> waves;
    for (int n = 0; n < kSlotCount; ++n) {
        if (const Program* p = bank.GetProgram(n)) {
            ++programs;
            layers += p->LayerCount();
            objectBytes += kObjectHeaderSize + static_cast<uint64_t>(p->BodySize());
        }
        if (const Keymap* k = bank.GetKeymap(n)) {
            ++keymaps;
            objectBytes += kObjectHeaderSize + static_cast<uint64_t>(k->BodySize());
        }
        if (const SampleHeader* s = bank.GetSampleHeader(n)) {
            ++samples;
            objectBytes += kObjectHeaderSize + static_cast<uint64_t>(s->BodySize());
            if (s->IsRom()) ++romSamples;
            else if (WaveData* w = s->Wave(); w && waves.insert(w).second)
                sampleBytes += static_cast<uint64_t>(std::max(0, w->Length()));
        }
    }
    std::vector<std::pair<std::string, std::string>> lines = {
        {"Programs", Fmt("%d (%d layers)", programs, layers)},
        {"Keymaps", std::to_string(keymaps)},
        {"Samples", Fmt("%d (%d on ROM, %d wave data in RAM)", samples, romSamples,
                        static_cast<int>(waves.size()))},
        {"Program RAM for its objects", BytesText(objectBytes)},
        {"Sample RAM for its wave data", BytesText(sampleBytes)},
    };
    if (memory && memory->programTotal > 0)
        lines.push_back({"Program RAM in use on the synthesizer",
                         BytesText(memory->programTotal - std::min(memory->programFree,
                                                                   memory->programTotal)) +
                             " of " + BytesText(memory->programTotal)});
    if (memory && memory->sampleTotal > 0)
        lines.push_back({"Sample RAM in use on the synthesizer",
                         BytesText(memory->sampleTotal - std::min(memory->sampleFree,
                                                                  memory->sampleTotal)) +
                             " of " + BytesText(memory->sampleTotal)});
    lines.push_back({"Format", bank.Path().empty() ? "not saved yet" : DescribeBankFile(bank.Path())});
    lines.push_back({"Path", bank.Path().empty() ? "-" : bank.Path()});
    lines.push_back({"Comment", bank.Comment()});
    return lines;
}

}  // namespace talmeru
