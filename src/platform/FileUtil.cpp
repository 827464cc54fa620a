#include "platform/FileUtil.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "platform/Format.h"
#include "platform/PathText.h"
#include "platform/SignalCleanup.h"

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
    const fs::file_status st = fs::status(PathFromUtf8(path), ec);
    if (ec || !fs::exists(st) || fs::is_regular_file(st)) return {};
    const char* kind = fs::is_directory(st)                                 ? "a folder"
                       : fs::is_fifo(st)                                    ? "a FIFO"
                       : fs::is_block_file(st) || fs::is_character_file(st) ? "a device"
                       : fs::is_socket(st)                                  ? "a socket"
                                                                            : "something else";
    return Fmt("\"%s\" is %s, not a regular file.", path.c_str(), kind);
}

bool WriteWholeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
#if defined(_WIN32)
    std::FILE* f = _wfopen(path.c_str(), L"wb");
#else
    std::FILE* f = std::fopen(path.c_str(), "wb");
#endif
    if (!f) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
#if !defined(_WIN32)
    ok = ::fsync(fileno(f)) == 0 && ok;
#endif
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

namespace {

// Creates "<prefix>XXXXXX" in dir that did not exist before: its descriptor (-1 on failure,
// with the error in errno) and name.
int CreateUniqueDescriptor(const fs::path& dir, const std::string& prefix, int mode,
                           fs::path& name) {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device rd;
    std::mt19937 gen(rd());
    std::uniform_int_distribution<int> pick(0, sizeof(kChars) - 2);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string file = prefix;
        for (int i = 0; i < 6; ++i)
            file += kChars[pick(gen)];
        name = dir / file;
#if defined(_WIN32)
        int fd = ::_wopen(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, mode);
#else
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
#endif
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
#if defined(_WIN32)
        auto n = ::_write(fd, bytes.data() + done,
                          static_cast<unsigned>(std::min<size_t>(bytes.size() - done, 1u << 30)));
#else
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool WriteToDescriptor(int fd, std::span<const uint8_t> bytes) {
    return WriteAll(fd, bytes);
}

bool SeekDescriptor(int fd, uint64_t at) {
#if defined(_WIN32)
    return ::_lseeki64(fd, static_cast<__int64>(at), SEEK_SET) >= 0;
#else
    return ::lseek(fd, static_cast<off_t>(at), SEEK_SET) >= 0;
#endif
}

std::optional<fs::path> CreateUniqueFile(const fs::path& dir, const std::string& prefix) {
    fs::path name;
    int fd = CreateUniqueDescriptor(dir, prefix, 0644, name);
    if (fd < 0) return std::nullopt;
#if defined(_WIN32)
    ::_close(fd);
#else
    ::close(fd);
#endif
    return name;
}

fs::path FollowLinks(const fs::path& path) {
    fs::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
        fs::path to = fs::read_symlink(p, ec);
        if (ec) return p;
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return p;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

AtomicWrite ReplaceFileAtomic(const fs::path& path, std::span<const uint8_t> bytes) {
    return ReplaceFileAtomicWith(path, [bytes](int fd) { return WriteAll(fd, bytes); });
}

AtomicWrite ReplaceFileAtomicWith(const fs::path& path, const std::function<bool(int fd)>& write) {
    const fs::path target = FollowLinks(path);
    const std::string name = Utf8FromPath(target);
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(target, ec);
    if (fs::is_symlink(st))
        return {AtomicWrite::kNotRegular,
                Fmt("\"%s\" is a link that leads nowhere, not a regular file.", name.c_str())};
    if (std::string why = NotRegularFileMessage(name); !why.empty())
        return {AtomicWrite::kNotRegular, why};
    const bool existed = fs::is_regular_file(st);
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";

#if defined(_WIN32)
    (void)existed;
    fs::path temp;
    int fd = CreateUniqueDescriptor(dir, "TalmeruTemp", _S_IREAD | _S_IWRITE, temp);
    if (fd < 0)
        return {AtomicWrite::kNoTemporary, Fmt("No temporary file can be made in \"%s\": %s",
                                               Utf8FromPath(dir).c_str(), std::strerror(errno))};
    bool ok = write(fd);
    ok = ::_close(fd) == 0 && ok;
#else
    struct stat old {};
    const bool haveOld = existed && ::stat(target.c_str(), &old) == 0;
    fs::path temp;
    // Only the owner may see the new content until it has the old file's permissions.
    int fd = CreateUniqueDescriptor(dir, "TalmeruTemp", haveOld ? 0600 : 0666, temp);
    if (fd < 0)
        return {AtomicWrite::kNoTemporary, Fmt("No temporary file can be made in \"%s\": %s",
                                               Utf8FromPath(dir).c_str(), std::strerror(errno))};
    PendingTemporaryFile pending(temp.c_str());
    bool ok = write(fd) && ::fsync(fd) == 0;
    if (ok && haveOld) {
        // The owner first (which clears set-id bits), then the permissions. Only a privileged
        // user can give a file away; the group alone may still be kept.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)!::fchown(fd, -1, old.st_gid);
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    }
    int err = errno;
    ok = ::close(fd) == 0 && ok;
    if (!ok) errno = err;
#endif
    if (!ok) {
        std::string why = std::strerror(errno);
        fs::remove(temp, ec);
        return {AtomicWrite::kWriteFailed,
                Fmt("\"%s\" could not be written: %s", name.c_str(), why.c_str())};
    }
    fs::rename(temp, target, ec);
    if (ec) {
        std::string why = ec.message();
        fs::remove(temp, ec);
        return {AtomicWrite::kRenameFailed,
                Fmt("\"%s\" could not be replaced: %s", name.c_str(), why.c_str())};
    }
#if !defined(_WIN32)
    // The rename itself lasts only once the folder is on the disk.
    if (int d = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); d >= 0) {
        ::fsync(d);
        ::close(d);
    }
#endif
    return {};
}

std::string OpeningProblem(const std::string& path, int err) {
    const char* why = err > 0 ? std::strerror(err) : "the system gave no reason";
    return Fmt("problem with opening\n\"%s\": %s", path.c_str(), why);
}

std::string SavingProblem(const AtomicWrite& written) {
    return "problem with saving\n" + written.text;
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
