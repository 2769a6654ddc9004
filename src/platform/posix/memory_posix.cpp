#include <sys/mman.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <system_error>
#include <thread>

#include "platform/memory.h"

namespace kerro {

namespace {

// Requests for pages still running on threads of their own.
std::atomic<int> faultingIn{0};

#if defined(__linux__)
#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23;  // Linux 5.14 and later; older kernels refuse it
#endif

// Has the system provide the pages of [begin, end) as the buffer's first writes would,
// one large page at a time from the end down, without writing anything: the owner
// fills the buffer from its start meanwhile, and where the two meet the rest is there
// already. Stops at the first refusal: a kernel without the request, or a buffer that
// is gone.
void FaultInFromTheEnd(uintptr_t begin, uintptr_t end) {
  constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
  for (uintptr_t top = end; top > begin;) {
    const uintptr_t from = std::max(begin, (top - 1) & ~(kLargePage - 1));
    if (::madvise(reinterpret_cast<void*>(from), top - from, kPopulateWrite) != 0) {
      break;
    }
    top = from;
  }
}

// On a virtual machine that gives free memory back to its host, the first touch of a
// page costs far more than zeroing it, and most of a large board's run can go to it;
// a second core takes half of that off the run.
void StartFaultingIn(uintptr_t begin, uintptr_t end) {
  faultingIn.fetch_add(1);
  try {
    std::thread([begin, end] {
      FaultInFromTheEnd(begin, end);
      faultingIn.fetch_sub(1);
    }).detach();
  } catch (const std::system_error&) {
    faultingIn.fetch_sub(1);  // no thread to spare: the owner's writes fault the pages in
  }
}
#else
void StartFaultingIn(uintptr_t, uintptr_t) {}
#endif

}  // namespace

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
    StartFaultingIn(begin, end);
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

void ReleaseFreedMemory() {
#if defined(__GLIBC__)
  ::malloc_trim(0);
#endif
}

void WaitUntilLargeBuffersAreFaultedIn() {
  while (faultingIn.load() > 0) {
    std::this_thread::yield();
  }
}

}  // namespace kerro
