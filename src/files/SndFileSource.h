#pragma once
// libsndfile reading a stretch of a file through its virtual I/O, so that audio stored inside
// another file (a RIFF WAVE image in a bank, an Ogg Vorbis stream in a SoundFont) is decoded
// where it lies.
#include <sndfile.h>

#include <cstdint>

namespace talmeru {

class ByteSource;

// The bytes [base, base + size) of a source, seen by libsndfile as a whole file.
struct VirtualFile {
    const ByteSource* src;
    uint64_t base;
    uint64_t size;
    uint64_t pos = 0;
};

class SndFile {
  public:
    // Opens the stretch for reading; File() is null when libsndfile cannot read it.
    SndFile(const ByteSource& src, uint64_t offset, uint64_t size);
    ~SndFile();
    SndFile(const SndFile&) = delete;
    SndFile& operator=(const SndFile&) = delete;
    SNDFILE* File() const { return file_; }
    const SF_INFO& Info() const { return info_; }

  private:
    VirtualFile vf_;
    SF_INFO info_;
    SNDFILE* file_ = nullptr;
};

}  // namespace talmeru
