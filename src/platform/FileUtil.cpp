#include "platform/FileUtil.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <random>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/Format.h"

#if defined(_WIN32)
#define ftello _ftelli64
#endif

namespace talmeru {

namespace fs = std::filesystem;

std::FILE* OpenRegularFile(const fs::path& path) {
#if defined(_WIN32)
    std::error_code ec;
    if (fs::exists(path, ec) && !fs::is_regular_file(path, ec)) {
        errno = fs::is_directory(path, ec) ? EISDIR : EINVAL;
        return nullptr;
    }
    return _wfopen(path.c_str(), L"rb");
#else
    // Not blocking: opening a FIFO for reading would otherwise wait for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = err;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        int err = errno;
        ::close(fd);
        errno = err;
    }
    return f;
#endif
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const fs::path& path, uint64_t maxBytes) {
    std::FILE* f = OpenRegularFile(path);
    if (!f) return std::nullopt;
    struct Closer {
        std::FILE* f;
        ~Closer() { std::fclose(f); }
    } closer{f};
    if (std::fseek(f, 0, SEEK_END) != 0) return std::nullopt;
    long long size = ftello(f);
    if (size < 0 || static_cast<uint64_t>(size) > maxBytes) return std::nullopt;
    if (std::fseek(f, 0, SEEK_SET) != 0) return std::nullopt;
    std::vector<uint8_t> data(static_cast<size_t>(size));
    if (size > 0 && std::fread(data.data(), 1, data.size(), f) != data.size()) return std::nullopt;
    return data;
}

std::string NotRegularFileMessage(const std::string& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec || !fs::exists(st) || fs::is_regular_file(st)) return {};
    const char* kind = fs::is_directory(st)          ? "a folder"
                       : fs::is_fifo(st)             ? "a FIFO"
                       : fs::is_block_file(st) ||
                               fs::is_character_file(st) ? "a device"
                       : fs::is_socket(st)           ? "a socket"
                                                     : "something else";
    return Fmt("\"%s\" is %s, not a regular file.", path.c_str(), kind);
}

bool WriteWholeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    if (!f) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
#if !defined(_WIN32)
    ok = ::fsync(fileno(f)) == 0 && ok;
#endif
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

std::optional<fs::path> CreateUniqueFile(const fs::path& dir, const std::string& prefix) {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device rd;
    std::mt19937 gen(rd());
    std::uniform_int_distribution<int> pick(0, sizeof(kChars) - 2);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < 6; ++i)
            name += kChars[pick(gen)];
        fs::path candidate = dir / name;
#if defined(_WIN32)
        std::error_code ec;
        if (fs::exists(candidate, ec)) continue;
        std::ofstream out(candidate, std::ios::binary);
        if (out) return candidate;
#else
        int fd = ::open(candidate.string().c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        if (errno != EEXIST) return std::nullopt;
#endif
    }
    return std::nullopt;
}

bool WriteFileAtomic(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::path dir = path.parent_path();
    if (dir.empty()) dir = ".";
    auto temp = CreateUniqueFile(dir, "TalmeruTemp");
    if (!temp) return false;
    std::error_code ec;
    if (!WriteWholeFile(*temp, bytes)) {
        fs::remove(*temp, ec);
        return false;
    }
    fs::rename(*temp, path, ec);
    if (ec) {
        fs::remove(*temp, ec);
        return false;
    }
    return true;
}

std::string FileNameOf(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string StemOf(const std::string& path) {
    std::string name = FileNameOf(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool MayReplace(const fs::path& path) {
    std::error_code ec;
    auto st = fs::status(path, ec);
    if (ec || !fs::exists(st)) return true;
    return (st.permissions() & fs::perms::owner_write) != fs::perms::none;
}

}  // namespace talmeru
