#include "platform/Memory.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(_WIN32)
#include <windows.h>
#elif defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace talmeru {

void PreferLargePages([[maybe_unused]] void* data, [[maybe_unused]] size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kPage = 4096, kLarge = uintptr_t{2} << 20;
    auto first = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    auto end = reinterpret_cast<uintptr_t>(data) + size;
    if (end < first + 2 * kLarge) return;
    madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#if defined(MADV_POPULATE_WRITE)
    // Mapped in one call: where there are no large pages, a fault per 4 KiB page still costs
    // more than filling it.
    madvise(reinterpret_cast<void*>(first), (end - first) & ~(kPage - 1), MADV_POPULATE_WRITE);
#endif
#endif
}

uint64_t PhysicalMemoryBytes() {
#if defined(_WIN32)
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
#elif defined(_SC_PHYS_PAGES) && defined(_SC_PAGESIZE)
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    return pages > 0 && page > 0 ? uint64_t(pages) * uint64_t(page) : 0;
#else
    return 0;
#endif
}

}  // namespace talmeru
