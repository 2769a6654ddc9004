#pragma once
// Owns a Windows file handle and closes it once.

#include <windows.h>

namespace kerro {

class Win32Handle {
 public:
  explicit Win32Handle(HANDLE handle) : handle_(handle) {}
  Win32Handle(const Win32Handle&) = delete;
  Win32Handle& operator=(const Win32Handle&) = delete;
  ~Win32Handle() {
    if (valid()) {
      ::CloseHandle(handle_);
    }
  }

  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

  // Closes now and reports whether the close succeeded.
  bool close() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return ::CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

}  // namespace kerro
