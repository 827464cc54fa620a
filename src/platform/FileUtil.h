#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

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

// Writes through a temporary file in the same folder and renames it over path, so a reader
// never sees a half-written file and a failure leaves the old one in place.
bool WriteFileAtomic(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// The last part of a path written on any platform ('/' or '\' separators).
std::string FileNameOf(const std::string& path);
// The file name without its extension.
std::string StemOf(const std::string& path);

// False when the file exists and is marked read-only (no owner write permission).
bool MayReplace(const std::filesystem::path& path);

}  // namespace talmeru
