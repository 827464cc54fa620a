#pragma once
// Where a writer puts a file's bytes as it makes them: memory, or a file descriptor through a
// buffer. Sizes known only at the end (RIFF chunks, stream headers) are patched in place.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

#include "platform/FileUtil.h"

namespace talmeru {

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // False, errno set, when the bytes cannot be written; every later call fails too.
    virtual bool Write(std::span<const uint8_t> bytes) = 0;
    // How many bytes have been written.
    virtual uint64_t Pos() const = 0;
    // Overwrites bytes already written at `at`.
    virtual bool Patch(uint64_t at, std::span<const uint8_t> bytes) = 0;
    // Drops everything from `at` on (a writer that changes its mind about a piece).
    virtual bool Truncate(uint64_t at) = 0;
    // Puts out what is buffered.
    virtual bool Flush() { return true; }

    bool U32At(uint64_t at, uint32_t v) {
        const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        return Patch(at, b);
    }
};

class VectorSink : public ByteSink {
  public:
    explicit VectorSink(std::vector<uint8_t>& out) : out_(out) {}
    bool Write(std::span<const uint8_t> bytes) override;
    uint64_t Pos() const override { return out_.size(); }
    bool Patch(uint64_t at, std::span<const uint8_t> bytes) override;
    bool Truncate(uint64_t at) override;

  private:
    std::vector<uint8_t>& out_;
};

// Writes to an open descriptor, from its current position, through a buffer of 1 MB.
class FdSink : public ByteSink {
  public:
    explicit FdSink(int fd);
    ~FdSink() override;
    bool Write(std::span<const uint8_t> bytes) override;
    uint64_t Pos() const override { return flushed_ + buffer_.size(); }
    bool Patch(uint64_t at, std::span<const uint8_t> bytes) override;
    bool Truncate(uint64_t at) override;
    bool Flush() override;

  private:
    bool Seek(uint64_t at);
    int fd_;
    uint64_t start_ = 0;    // where the descriptor stood when the sink was made
    uint64_t flushed_ = 0;  // bytes already handed to the descriptor
    bool failed_ = false;
    std::vector<uint8_t> buffer_;
};

// Writes the file at path through a buffered sink into a temporary file that replaces it only
// once whole (ReplaceFileAtomicWith).
AtomicWrite ReplaceFileThroughSink(const std::filesystem::path& path,
                                   const std::function<bool(ByteSink& out)>& write);
inline AtomicWrite ReplaceFileThroughSink(const std::string& utf8Path,
                                          const std::function<bool(ByteSink& out)>& write) {
    return ReplaceFileThroughSink(PathFromUtf8(utf8Path), write);
}

}  // namespace talmeru
