#include <windows.h>

#include <vector>

#include "platform/process_paths.h"

namespace kerro {

std::string ExecutablePath() {
  // The path may be longer than MAX_PATH; grow the buffer until it fits.
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    std::vector<char> buffer(size);
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(), size);
    if (n == 0) {
      return {};
    }
    if (n < size) {
      return std::string(buffer.data(), n);
    }
  }
  return {};
}

unsigned long CurrentProcessId() {
  return ::GetCurrentProcessId();
}

std::string CurrentDirectory() {
  const DWORD needed = ::GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) {
    return {};
  }
  std::vector<char> buffer(needed);
  const DWORD n = ::GetCurrentDirectoryA(needed, buffer.data());
  if (n == 0 || n >= needed) {
    return {};
  }
  return std::string(buffer.data(), n);
}

}  // namespace kerro
