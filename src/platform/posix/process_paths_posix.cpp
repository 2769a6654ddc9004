#include <unistd.h>

#include <climits>
#include <vector>

#include "platform/process_paths.h"

namespace kerro {

std::string ExecutablePath() {
  std::vector<char> buffer(PATH_MAX + 1);
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) {
    return {};
  }
  return std::string(buffer.data(), static_cast<size_t>(n));
}

unsigned long CurrentProcessId() {
  return static_cast<unsigned long>(::getpid());
}

std::string CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    return {};
  }
  return std::string(buffer.data());
}

}  // namespace kerro
