#include <sys/mman.h>
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

}  // namespace kerro
