#include "platform/ByteSink.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "platform/FileUtil.h"

namespace talmeru {

namespace {
constexpr size_t kBufferBytes = size_t(1) << 20;

bool CutAt(int fd, uint64_t at) {
#if defined(_WIN32)
    return ::_chsize_s(fd, static_cast<__int64>(at)) == 0;
#else
    return ::ftruncate(fd, static_cast<off_t>(at)) == 0;
#endif
}
}  // namespace

bool VectorSink::Write(std::span<const uint8_t> bytes) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    return true;
}

bool VectorSink::Patch(uint64_t at, std::span<const uint8_t> bytes) {
    if (at > out_.size() || bytes.size() > out_.size() - at) return false;
    std::copy(bytes.begin(), bytes.end(), out_.begin() + std::ptrdiff_t(at));
    return true;
}

bool VectorSink::Truncate(uint64_t at) {
    if (at > out_.size()) return false;
    out_.resize(size_t(at));
    return true;
}

FdSink::FdSink(int fd) : fd_(fd) {
#if defined(_WIN32)
    auto here = ::_lseeki64(fd, 0, SEEK_CUR);
#else
    auto here = ::lseek(fd, 0, SEEK_CUR);
#endif
    start_ = here > 0 ? uint64_t(here) : 0;
    buffer_.reserve(kBufferBytes);
}

FdSink::~FdSink() = default;

bool FdSink::Flush() {
    if (failed_) return false;
    if (buffer_.empty()) return true;
    if (!WriteToDescriptor(fd_, buffer_)) return !(failed_ = true);
    flushed_ += buffer_.size();
    buffer_.clear();
    return true;
}

bool FdSink::Write(std::span<const uint8_t> bytes) {
    if (failed_) return false;
    if (buffer_.size() + bytes.size() > kBufferBytes && !Flush()) return false;
    if (bytes.size() >= kBufferBytes) {
        if (!WriteToDescriptor(fd_, bytes)) return !(failed_ = true);
        flushed_ += bytes.size();
        return true;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    return true;
}

bool FdSink::Seek(uint64_t at) {
    if (!SeekDescriptor(fd_, start_ + at)) return !(failed_ = true);
    return true;
}

bool FdSink::Patch(uint64_t at, std::span<const uint8_t> bytes) {
    if (failed_ || at > Pos() || bytes.size() > Pos() - at) return false;
    // Still in the buffer: changed there. Else written in place and the end found again.
    if (at >= flushed_) {
        std::memcpy(buffer_.data() + (at - flushed_), bytes.data(), bytes.size());
        return true;
    }
    if (!Flush() || !Seek(at)) return false;
    if (!WriteToDescriptor(fd_, bytes)) return !(failed_ = true);
    return Seek(flushed_);
}

bool FdSink::Truncate(uint64_t at) {
    if (failed_ || at > Pos()) return false;
    if (at >= flushed_) {
        buffer_.resize(size_t(at - flushed_));
        return true;
    }
    buffer_.clear();
    if (!CutAt(fd_, start_ + at) || !Seek(at)) return !(failed_ = true);
    flushed_ = at;
    return true;
}

AtomicWrite ReplaceFileThroughSink(const std::filesystem::path& path,
                                   const std::function<bool(ByteSink& out)>& write) {
    return ReplaceFileAtomicWith(path, [&](int fd) {
        FdSink out(fd);
        return write(out) && out.Flush();
    });
}

}  // namespace talmeru
