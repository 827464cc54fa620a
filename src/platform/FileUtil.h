#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/PathText.h"

namespace talmeru {

// The whole file, or none when it cannot be opened or read. Files above maxBytes are refused
// so a wrong path to a huge file cannot exhaust memory, and so is anything but a regular file:
// a FIFO or a device would keep the reader waiting.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path& path,
                                                  uint64_t maxBytes = uint64_t(1) << 32);

// Opens path for reading when it is a regular file: the stream, or nullptr with errno set
// (EISDIR for a folder, EINVAL for a FIFO, device or socket). Never waits on a FIFO.
std::FILE* OpenRegularFile(const std::filesystem::path& path);

// Empty when path names a regular file (through any symbolic links) or nothing at all; else
// the message that says what it is instead, such as "\"x.pbf\" is a FIFO, not a regular file."
std::string NotRegularFileMessage(const std::string& path);

// Writes bytes to path (created or truncated); false on any error.
bool WriteWholeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// A new, empty file "<prefix>XXXXXX" in dir whose name did not exist before; none on failure.
std::optional<std::filesystem::path> CreateUniqueFile(const std::filesystem::path& dir,
                                                      const std::string& prefix);

// The file that path names once every symbolic link on the way to it is followed, whether or
// not it exists yet; a chain of links that does not end (a loop) is left at a link.
std::filesystem::path FollowLinks(const std::filesystem::path& path);

// Whether a and b name the same existing file (through links, by other names).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

struct AtomicWrite {
    enum Result { kDone, kNotRegular, kNoTemporary, kWriteFailed, kRenameFailed };
    Result result = kDone;
    std::string text;  // what went wrong, for callers without a message of their own
    explicit operator bool() const { return result == kDone; }
};

// Writes through a temporary file "TalmeruTemp..." beside the file path names and renames it
// over that file, so a reader never sees a half-written file and a failure leaves the old one
// in place and no temporary file behind. A symbolic link is followed (its target is replaced,
// the link stays); the new file keeps the old one's permissions, and its owner where that is
// allowed. Only a regular file is replaced: a folder, device, FIFO or socket is refused before
// anything is written.
AtomicWrite ReplaceFileAtomic(const std::filesystem::path& path, std::span<const uint8_t> bytes);
// The same for content too large to hold in memory: `write` puts it into the temporary file's
// descriptor (without closing it) and returns false, errno set, when that fails.
AtomicWrite ReplaceFileAtomicWith(const std::filesystem::path& path,
                                  const std::function<bool(int fd)>& write);
inline bool WriteFileAtomic(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    return static_cast<bool>(ReplaceFileAtomic(path, bytes));
}

// Writes all of bytes to fd from its current position; false, errno set, on failure.
bool WriteToDescriptor(int fd, std::span<const uint8_t> bytes);
// Moves fd to the byte at `at` from its start, with 64-bit offsets on every platform.
bool SeekDescriptor(int fd, uint64_t at);

// The design's "problem with opening\n" followed by the file and the system's reason, such as
// "problem with opening\n\"x.pbf\": No such file or directory"; err is an errno value.
std::string OpeningProblem(const std::string& path, int err);
// The design's "problem with saving\n" followed by what the write said (file and reason).
std::string SavingProblem(const AtomicWrite& written);

// The last part of a path written on any platform ('/' or '\' separators).
std::string FileNameOf(const std::string& path);
// The file name without its extension.
std::string StemOf(const std::string& path);

// False when the file exists and is marked read-only (no owner write permission).
bool MayReplace(const std::filesystem::path& path);

// The same, for paths given as UTF-8 text, as the program keeps them.
inline std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path,
                                                         uint64_t maxBytes = uint64_t(1) << 32) {
    return ReadWholeFile(PathFromUtf8(path), maxBytes);
}
inline std::FILE* OpenRegularFile(const std::string& path) {
    return OpenRegularFile(PathFromUtf8(path));
}
inline bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    return WriteWholeFile(PathFromUtf8(path), bytes);
}
inline std::filesystem::path FollowLinks(const std::string& path) {
    return FollowLinks(PathFromUtf8(path));
}
inline bool SameFile(const std::string& a, const std::string& b) {
    return SameFile(PathFromUtf8(a), PathFromUtf8(b));
}
inline AtomicWrite ReplaceFileAtomic(const std::string& path, std::span<const uint8_t> bytes) {
    return ReplaceFileAtomic(PathFromUtf8(path), bytes);
}
inline AtomicWrite ReplaceFileAtomicWith(const std::string& path,
                                         const std::function<bool(int fd)>& write) {
    return ReplaceFileAtomicWith(PathFromUtf8(path), write);
}
inline bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes) {
    return WriteFileAtomic(PathFromUtf8(path), bytes);
}
inline bool MayReplace(const std::string& path) {
    return MayReplace(PathFromUtf8(path));
}

}  // namespace talmeru
