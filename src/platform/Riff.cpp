#include "platform/Riff.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/FileUtil.h"

// 64-bit offsets everywhere: Windows' off_t has 32 bits, which would cut offsets above 2 GiB.
#if defined(_WIN32)
#define fseeko _fseeki64
#define ftello _ftelli64
using FileOffset = long long;
#else
using FileOffset = off_t;
#endif

namespace talmeru {

FileSource::FileSource(const std::string& path) {
    file_ = OpenRegularFile(path);
    if (!file_) {
        error_ = errno ? errno : -1;
        return;
    }
    if (std::fseek(file_, 0, SEEK_END) == 0) {
        long long end = ftello(file_);
        if (end > 0) size_ = static_cast<uint64_t>(end);
    }
}

FileSource::~FileSource() {
    if (file_) std::fclose(file_);
}

size_t FileSource::ReadAt(uint64_t offset, void* dst, size_t n) const {
    if (!file_ || offset >= size_) return 0;
    if (fseeko(file_, static_cast<FileOffset>(offset), SEEK_SET) != 0) return 0;
    return std::fread(dst, 1, n, file_);
}

size_t MemorySource::ReadAt(uint64_t offset, void* dst, size_t n) const {
    if (offset >= data_.size()) return 0;
    size_t count = std::min<uint64_t>(n, data_.size() - offset);
    std::memcpy(dst, data_.data() + offset, count);
    return count;
}

std::optional<RiffChunk> RiffReader::ChunkAt(uint64_t offset, uint64_t limit) const {
    limit = std::min(limit, src_.Size());
    if (offset > limit || limit - offset < 8) return std::nullopt;
    uint8_t h[12];
    if (src_.ReadAt(offset, h, 8) != 8) return std::nullopt;
    RiffChunk c;
    c.id = h[0] | (h[1] << 8) | (h[2] << 16) | (static_cast<uint32_t>(h[3]) << 24);
    c.size = h[4] | (h[5] << 8) | (h[6] << 16) | (static_cast<uint32_t>(h[7]) << 24);
    c.offset = offset;
    c.dataOffset = offset + 8;
    c.dataEnd = std::min<uint64_t>(c.dataOffset + c.size, limit);
    if (c.id == FourCC("RIFF") || c.id == FourCC("LIST")) {
        if (c.dataEnd - c.dataOffset < 4 || src_.ReadAt(c.dataOffset, h + 8, 4) != 4)
            return std::nullopt;
        c.formType = h[8] | (h[9] << 8) | (h[10] << 16) | (static_cast<uint32_t>(h[11]) << 24);
        c.dataOffset += 4;
        // The size counts the form type too; the children follow it.
        c.size = c.size >= 4 ? c.size - 4 : 0;
    }
    return c;
}

std::optional<RiffChunk> RiffReader::Riff(uint64_t offset, uint32_t formType) const {
    auto c = ChunkAt(offset, UINT64_MAX);
    if (!c || c->id != FourCC("RIFF") || c->formType != formType) return std::nullopt;
    return c;
}

std::vector<RiffChunk> RiffReader::Children(const RiffChunk& parent) const {
    std::vector<RiffChunk> out;
    uint64_t at = parent.dataOffset;
    while (auto c = ChunkAt(at, parent.dataEnd)) {
        out.push_back(*c);
        uint64_t next = Next(*c);
        if (next <= at) break;
        at = next;
    }
    return out;
}

std::optional<RiffChunk> RiffReader::Find(const RiffChunk& parent, uint32_t id,
                                          uint64_t from) const {
    uint64_t at = std::max(from, parent.dataOffset);
    while (auto c = ChunkAt(at, parent.dataEnd)) {
        if (c->id == id) return c;
        at = Next(*c);
    }
    return std::nullopt;
}

std::optional<RiffChunk> RiffReader::FindList(const RiffChunk& parent, uint32_t listType,
                                              uint64_t from) const {
    uint64_t at = std::max(from, parent.dataOffset);
    while (auto c = ChunkAt(at, parent.dataEnd)) {
        if (c->id == FourCC("LIST") && c->formType == listType) return c;
        at = Next(*c);
    }
    return std::nullopt;
}

bool RiffReader::Read(const RiffChunk& chunk, uint64_t at, void* dst, size_t n) const {
    if (at > chunk.dataEnd - chunk.dataOffset || n > chunk.dataEnd - chunk.dataOffset - at)
        return false;
    return src_.ReadAt(chunk.dataOffset + at, dst, n) == n;
}

std::vector<uint8_t> ByteSource::ReadUpTo(uint64_t offset, uint64_t max) const {
    if (offset >= Size() || max == 0) return {};
    std::vector<uint8_t> out(static_cast<size_t>(std::min(max, Size() - offset)));
    out.resize(ReadAt(offset, out.data(), out.size()));
    return out;
}

std::vector<uint8_t> RiffReader::ReadData(const RiffChunk& chunk, size_t max) const {
    return src_.ReadUpTo(chunk.dataOffset,
                         std::min<uint64_t>(chunk.dataEnd - chunk.dataOffset, max));
}

void RiffWriter::Open(uint32_t id, std::optional<uint32_t> formType) {
    out_.U32(id);
    open_.push_back(out_.Pos());
    out_.U32(0);
    if (formType) out_.U32(*formType);
}

void RiffWriter::Close() {
    if (open_.empty()) return;
    size_t sizeAt = open_.back();
    open_.pop_back();
    size_t size = out_.Pos() - sizeAt - 4;
    out_.PatchU32(sizeAt, static_cast<uint32_t>(size));
    if (size & 1) out_.U8(0);
}

void RiffWriter::Chunk(uint32_t id, std::span<const uint8_t> data) {
    Open(id);
    out_.Bytes(data);
    Close();
}

}  // namespace talmeru
