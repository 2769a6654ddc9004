#include <sys/mman.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <unistd.h>

#include <cstdint>

#include "platform/memory.h"

namespace kerro {

void AdviseLargeBuffer(void* data, size_t size) {
#ifdef MADV_HUGEPAGE
  // Below a few large pages the advice gains nothing.
  constexpr size_t kWorthwhile = size_t{8} << 20;
  if (data == nullptr || size < kWorthwhile) {
    return;
  }
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<uintptr_t>(data);
  const uintptr_t begin = (start + page - 1) & ~(page - 1);
  const uintptr_t end = (start + size) & ~(page - 1);
  if (end > begin) {
    // Only a hint: a system without large pages refuses it, and nothing else changes.
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  }
#else
  (void)data;
  (void)size;
#endif
}

void PreferLargePagesForTheHeap() {
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE)
  // The heap is grown once, by this much, before anything large is allocated; glibc's
  // large-page setting is read only when a program starts, so the advice is given here,
  // to that one range. Untouched room costs address space only.
  constexpr size_t kHeapRoom = size_t{256} << 20;
  // Blocks up to this size come from the heap instead of mappings of their own, and freed
  // memory is kept: a table freed by one step is reused by the next without new pages.
  constexpr int kLargestHeapBlock = 32 << 20;
  ::mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
  ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(kHeapRoom));
  ::mallopt(M_TOP_PAD, static_cast<int>(kHeapRoom));
  // A block larger than the room left at the heap's top makes the heap grow, by the
  // block and kHeapRoom, at once.
  void* const first = ::malloc(size_t{1} << 20);
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = (reinterpret_cast<uintptr_t>(first) + page - 1) & ~(page - 1);
  const auto end = reinterpret_cast<uintptr_t>(::sbrk(0)) & ~(page - 1);
  if (first != nullptr && end > begin) {
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  }
  ::free(first);
#endif
}

}  // namespace kerro
