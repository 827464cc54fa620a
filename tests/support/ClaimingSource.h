#pragma once
// A file as big as it claims to be without the memory: an image followed by zeros up to the
// claimed size, counting what a reader takes from it.
#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "platform/Riff.h"

namespace talmeru::test {

class ClaimingSource : public ByteSource {
  public:
    ClaimingSource(std::span<const uint8_t> image, uint64_t size) : image_(image), size_(size) {}
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, void* dst, size_t n) const override {
        if (offset >= size_ || n == 0) return 0;
        n = size_t(std::min<uint64_t>(n, size_ - offset));
        auto* out = static_cast<uint8_t*>(dst);
        const size_t fromImage =
            offset < image_.size() ? std::min<size_t>(n, image_.size() - size_t(offset)) : 0;
        if (fromImage) std::memcpy(out, image_.data() + offset, fromImage);
        std::memset(out + fromImage, 0, n - fromImage);
        total += n;
        largest = std::max(largest, n);
        return n;
    }

    mutable uint64_t total = 0;  // bytes read in all
    mutable size_t largest = 0;  // the largest single read

  private:
    std::span<const uint8_t> image_;
    uint64_t size_;
};

}  // namespace talmeru::test
