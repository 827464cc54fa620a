#include "platform/Memory.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace talmeru {

void PreferLargePages([[maybe_unused]] void* data, [[maybe_unused]] size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kPage = 4096, kLarge = uintptr_t{2} << 20;
    auto first = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    auto end = reinterpret_cast<uintptr_t>(data) + size;
    if (end < first + 2 * kLarge) return;
    madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
}

}  // namespace talmeru
