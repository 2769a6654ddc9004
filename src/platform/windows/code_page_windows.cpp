#include <windows.h>

#include "platform/code_page.h"

namespace kerro {

bool IsSystemLeadByte(unsigned char byte) {
  return ::IsDBCSLeadByte(byte) != FALSE;
}

}  // namespace kerro
