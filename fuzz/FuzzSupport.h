#pragma once
// Shared by the fuzz targets: a prompter that answers from the input, and a scratch file.
#include <unistd.h>
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/FileUtil.h"
#include "platform/Prompter.h"

namespace talmeru::fuzz {

// Answers questions Yes or No by the bits of a seed taken from the input, so both paths of
// every question are reached; never locates a file.
class InputPrompter : public Prompter {
  public:
    explicit InputPrompter(uint32_t seed) : bits_(seed) {}
    void Message(const std::string&) override {}
    Answer Ask(const std::string&, Buttons buttons) override {
        bool yes = bits_ & 1;
        bits_ = (bits_ >> 1) | (bits_ << 31);
        if (buttons == Buttons::AbortRetryIgnore) return yes ? Answer::Ignore : Answer::Retry;
        return yes ? Answer::Yes : Answer::No;
    }
    std::optional<std::string> LocateFile(const std::string&, const std::string&,
                                          const std::string&) override {
        return std::nullopt;
    }

  private:
    uint32_t bits_;
};

inline uint32_t SeedOf(const uint8_t* data, size_t size) {
    uint32_t s = 0x9E3779B9u;
    for (size_t i = 0; i < size && i < 8; ++i)
        s = s * 31 + data[i];
    return s;
}

// A per-process file that a target writes its input to, for readers that take a path.
inline std::string ScratchFile(const char* extension) {
    static const std::filesystem::path dir = [] {
        auto d =
            std::filesystem::temp_directory_path() / ("talmeru-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return (dir / (std::string("input") + extension)).string();
}

inline std::string WriteScratch(const char* extension, const uint8_t* data, size_t size) {
    std::string path = ScratchFile(extension);
    WriteWholeFile(path, std::vector<uint8_t>(data, data + size));
    return path;
}

}  // namespace talmeru::fuzz
