#pragma once
// Hints to the system about large buffers, such as the image of a board of a million
// components and the numbering tables sized by it.

#include <cstddef>
#include <vector>

namespace kerro {

// Asks that the whole pages inside [data, data + size) be backed by large pages where the
// system offers them on request, which makes the first touch of a buffer of many
// megabytes several times cheaper. Where the system can provide pages without writing
// them, a thread of its own also has them provided from the buffer's end down while the
// caller fills it from its start, so that two cores share the first touch. Does nothing
// for small buffers or where the system has no such request; never changes the bytes,
// not even those the caller writes meanwhile.
void AdviseLargeBuffer(void* data, size_t size);

// Returns once every thread started by AdviseLargeBuffer has ended. A program never needs
// to wait: the threads write nothing and end with the process.
void WaitUntilLargeBuffersAreFaultedIn();

// Called once at the start of a program, before it allocates much: asks that the heap's
// memory come in large pages too, and that memory freed by one step stay for the next,
// so that the many tables of a large board are not first-touched page by page. Only a
// hint, like the advice above; where the system offers nothing of the kind, it does
// nothing.
void PreferLargePagesForTheHeap();

// Gives back to the system the memory that the program has freed and keeps for reuse
// (above): for a step that needs much fresh memory of its own, such as a large document,
// after steps whose tables are not needed again. Only a hint, like the others.
void ReleaseFreedMemory();

// Reserves room for `count` elements of a vector or a string and advises it as above,
// before anything touches it.
template <typename Buffer>
void ReserveLarge(Buffer& buffer, size_t count) {
  buffer.reserve(count);
  AdviseLargeBuffer(buffer.data(), buffer.capacity() * sizeof(*buffer.data()));
}

// Starts fetching the cache line at `address`, to be read soon: a large board's random
// lookups overlap their cache misses so. Only a hint.
inline void PrefetchForRead(const void* address) {
#if defined(__GNUC__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

// How many look-ups a loop over a large table starts before it needs the first one, in a
// batch or as far ahead: about as many cache misses as a core keeps in flight.
inline constexpr size_t kLookupsInFlight = 16;

}  // namespace kerro
