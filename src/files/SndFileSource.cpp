#include "files/SndFileSource.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/Riff.h"

namespace talmeru {

namespace {

sf_count_t VfLength(void* user) {
    return static_cast<sf_count_t>(static_cast<VirtualFile*>(user)->size);
}
sf_count_t VfSeek(sf_count_t offset, int whence, void* user) {
    auto* f = static_cast<VirtualFile*>(user);
    int64_t target = whence == SEEK_SET   ? offset
                     : whence == SEEK_CUR ? static_cast<int64_t>(f->pos) + offset
                                          : static_cast<int64_t>(f->size) + offset;
    if (target < 0) return -1;
    f->pos = static_cast<uint64_t>(target);
    return target;
}
sf_count_t VfRead(void* ptr, sf_count_t count, void* user) {
    auto* f = static_cast<VirtualFile*>(user);
    if (count <= 0 || f->pos >= f->size) return 0;
    size_t n =
        static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(count), f->size - f->pos));
    size_t got = f->src->ReadAt(f->base + f->pos, ptr, n);
    f->pos += got;
    return static_cast<sf_count_t>(got);
}
sf_count_t VfWrite(const void*, sf_count_t, void*) {
    return 0;
}
sf_count_t VfTell(void* user) {
    return static_cast<sf_count_t>(static_cast<VirtualFile*>(user)->pos);
}

}  // namespace

SndFile::SndFile(const ByteSource& src, uint64_t offset, uint64_t size) : vf_{&src, offset, size} {
    SF_VIRTUAL_IO io{VfLength, VfSeek, VfRead, VfWrite, VfTell};
    std::memset(&info_, 0, sizeof info_);
    file_ = sf_open_virtual(&io, SFM_READ, &info_, &vf_);
}

SndFile::~SndFile() {
    if (file_) sf_close(file_);
}

}  // namespace talmeru
