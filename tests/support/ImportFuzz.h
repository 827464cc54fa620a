#pragma once
// Runs an importer over cut and changed copies of a good file: it must never crash, read
// out of bounds (the sanitizer build checks) or leave an incomplete log, and what it made
// must pack and load.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace talmeru {
class ConversionLog;
class ZedoDatabase;
}  // namespace talmeru

namespace talmeru::test {

using Importer = std::function<void(const std::string& path, ZedoDatabase& db, ConversionLog& log)>;

void FuzzImport(const std::vector<uint8_t>& image, const std::string& path, unsigned seed,
                const Importer& import);

}  // namespace talmeru::test
