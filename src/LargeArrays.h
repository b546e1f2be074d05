// Large arrays: the yearly series of a long run and the populations of a patch hold millions of
// values, written once right after they are reserved.
#pragma once

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

#include <cstddef>
#include <cstdint>

namespace varrowin {

// Asks the kernel to back the whole 2 MiB pages inside [data, data + bytes) with huge pages, so
// that filling a large array takes one page fault per 2 MiB rather than one per 4 KiB. Only a
// hint: where the kernel declines it, or for small arrays, nothing changes.
inline void AdviseHugePages(const void* data, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kHugePage = std::uintptr_t{1} << 21U;
  if (data == nullptr || bytes < 4 * kHugePage) {
    return;
  }
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (start + bytes) & ~(kHugePage - 1);
  if (last > first) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the address of memory this process owns
    static_cast<void>(madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE));
  }
#else
  static_cast<void>(data);
  static_cast<void>(bytes);
#endif
}

}  // namespace varrowin
