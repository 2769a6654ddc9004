#include "platform/memory.h"

namespace kerro {

// Large pages on Windows need a privilege that a desktop program does not hold.
void AdviseLargeBuffer(void* data, size_t size) {
  (void)data;
  (void)size;
}

void PreferLargePagesForTheHeap() {}

void WaitUntilLargeBuffersAreFaultedIn() {}

void ReleaseFreedMemory() {}

}  // namespace kerro
