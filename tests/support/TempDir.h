#pragma once
// A fresh folder per test, removed afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/FileUtil.h"

namespace talmeru::test {

class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("talmeru-") + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string Put(const std::string& name, const std::vector<uint8_t>& bytes) const {
        auto p = dir_ / name;
        std::filesystem::create_directories(p.parent_path());
        EXPECT_TRUE(WriteWholeFile(p, bytes));
        return p.string();
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

}  // namespace talmeru::test
