#pragma once
#include <cstddef>
#include <cstdint>

namespace talmeru {

// Asks the system to back a large buffer that is about to be filled with large pages, which
// takes a few hundred times fewer page faults than filling it page by page, and to map it
// at once. Only a hint: does nothing for buffers of a few MB or less, or where the system
// has no such thing.
void PreferLargePages(void* data, size_t size);

// The machine's physical memory in bytes; 0 when the system does not tell.
uint64_t PhysicalMemoryBytes();

}  // namespace talmeru
