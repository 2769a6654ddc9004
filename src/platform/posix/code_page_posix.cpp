#include "platform/code_page.h"

namespace kerro {

bool IsSystemLeadByte(unsigned char) {
  return false;
}

}  // namespace kerro
