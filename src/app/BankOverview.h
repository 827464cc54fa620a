#pragma once
// The bank overview: what the current bank holds and takes, a line each (counts, the RAM its
// objects and sample data take, what the synthesizer reports in use, format, path, comment).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace talmeru {

struct MemoryFigures;
class ZedoDatabase;

// (label, value) pairs, top to bottom. memory: what the synthesizer reports, or none.
std::vector<std::pair<std::string, std::string>> BankOverview(const ZedoDatabase& bank,
                                                              const MemoryFigures* memory);
// A byte count as "1.50 MB (1572864 bytes)", "12.0 KB (12288 bytes)" or "100 bytes".
std::string BytesText(uint64_t bytes);

}  // namespace talmeru
