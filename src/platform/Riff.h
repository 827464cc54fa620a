#pragma once
// RIFF chunks (WAV, SoundFont 2, our own bank files): a reader that walks chunks inside a
// file or memory image at any offset, never past its parent or the source's end, and a
// writer that patches chunk sizes when a chunk is closed.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/ByteIO.h"

namespace talmeru {

constexpr uint32_t FourCC(const char (&s)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}

// Random access to bytes: a file or a memory image.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads up to n bytes at offset; returns how many were read.
    virtual size_t ReadAt(uint64_t offset, void* dst, size_t n) const = 0;
    // Up to max bytes from offset on (fewer at the end), never more than the source holds.
    std::vector<uint8_t> ReadUpTo(uint64_t offset, uint64_t max) const;
};

class FileSource : public ByteSource {
  public:
    // Opens path for reading; Ok() tells whether it worked and Error() why not. Only a
    // regular file is opened (see OpenRegularFile).
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    bool Ok() const { return file_ != nullptr; }
    int Error() const { return error_; }
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, void* dst, size_t n) const override;

  private:
    std::FILE* file_ = nullptr;
    uint64_t size_ = 0;
    int error_ = 0;
};

class MemorySource : public ByteSource {
  public:
    explicit MemorySource(std::span<const uint8_t> data) : data_(data) {}
    uint64_t Size() const override { return data_.size(); }
    size_t ReadAt(uint64_t offset, void* dst, size_t n) const override;

  private:
    std::span<const uint8_t> data_;
};

struct RiffChunk {
    uint32_t id = 0;
    uint32_t size = 0;        // as the chunk header says
    uint64_t offset = 0;      // of the chunk header
    uint64_t dataOffset = 0;  // of the chunk's data (after the form type for RIFF/LIST)
    uint64_t dataEnd = 0;     // end of the data, never past the parent or the source
    uint32_t formType = 0;    // RIFF and LIST only
    // The size claimed runs past the parent or the source.
    bool Truncated() const { return dataEnd < dataOffset + size; }
};

class RiffReader {
  public:
    explicit RiffReader(const ByteSource& source) : src_(source) {}

    // The RIFF chunk of that form at offset.
    std::optional<RiffChunk> Riff(uint64_t offset, uint32_t formType) const;
    // The first child chunk with id inside parent, from `from` (a child offset; 0 = first).
    std::optional<RiffChunk> Find(const RiffChunk& parent, uint32_t id, uint64_t from = 0) const;
    // The first LIST child of that list type.
    std::optional<RiffChunk> FindList(const RiffChunk& parent, uint32_t listType,
                                      uint64_t from = 0) const;
    // Every child in order.
    std::vector<RiffChunk> Children(const RiffChunk& parent) const;
    // Where the child after this one starts (padded to an even size).
    static uint64_t Next(const RiffChunk& chunk) {
        return chunk.dataOffset + chunk.size + (chunk.size & 1);
    }

    // Reads exactly n bytes of the chunk's data from its start plus at; false when short.
    bool Read(const RiffChunk& chunk, uint64_t at, void* dst, size_t n) const;
    // Up to max bytes of the chunk's data.
    std::vector<uint8_t> ReadData(const RiffChunk& chunk, size_t max = SIZE_MAX) const;
    const ByteSource& Source() const { return src_; }

  private:
    std::optional<RiffChunk> ChunkAt(uint64_t offset, uint64_t limit) const;
    const ByteSource& src_;
};

// Builds RIFF chunks into a byte buffer.
class RiffWriter {
  public:
    explicit RiffWriter(ByteWriter& out) : out_(out) {}
    // Opens a chunk (with a form type for RIFF and LIST); Close() patches its size.
    void Open(uint32_t id, std::optional<uint32_t> formType = std::nullopt);
    void Close();
    // A whole chunk at once.
    void Chunk(uint32_t id, std::span<const uint8_t> data);
    ByteWriter& Out() { return out_; }

  private:
    ByteWriter& out_;
    std::vector<size_t> open_;
};

}  // namespace talmeru
