#include "support/ImportFuzz.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "files/ConversionLog.h"
#include "model/ZedoDatabase.h"

namespace talmeru::test {

namespace {

void Check(const std::vector<uint8_t>& bytes, const std::string& path, const Importer& import) {
    // A new file costs far less than rewriting one, and nothing waits for the disk.
    std::filesystem::remove(path);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ZedoDatabase db;
    RecordingConversionLog log;
    EXPECT_NO_THROW(import(path, db, log));
    ASSERT_FALSE(log.Lines().empty());
    EXPECT_EQ(log.Lines().back(), "*** Done ***\r\n");
    std::vector<uint8_t> block;
    for (int n = 0; n < kSlotCount; ++n) {
        if (Program* p = db.GetProgram(n)) {
            EXPECT_EQ(p->PackToBlock(block), 0);
        }
        if (Keymap* k = db.GetKeymap(n)) {
            EXPECT_EQ(k->PackToBlock(block), 0);
        }
    }
    for (int i = 1; i < db.WaveDataCount(); ++i) {
        WaveData* w = db.GetWaveData(i);
        if (w->LoadData() == 0) {
            EXPECT_EQ(w->data.size(), static_cast<size_t>(w->Length()));
        }
        w->ReleaseData();
    }
}

}  // namespace

void FuzzImport(const std::vector<uint8_t>& image, const std::string& path, unsigned seed,
                const Importer& import) {
    for (size_t cut = 0; cut < image.size(); cut += 3)
        Check(std::vector<uint8_t>(image.begin(), image.begin() + static_cast<long>(cut)), path,
              import);
    std::mt19937 random(seed);
    for (int round = 0; round < 1000; ++round) {
        auto bytes = image;
        int changes = 1 + static_cast<int>(random() % 8);
        for (int c = 0; c < changes; ++c)
            bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        Check(bytes, path, import);
    }
}

}  // namespace talmeru::test
