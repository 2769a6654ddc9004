// What any renumbering that holds the whole board in memory must do at least, for the
// whole-process benchmark to set beside the copy: read the file into fresh memory (with
// the large-page advice kerro-cli gives), change a byte in every 61, write it to a new
// file and flush it. With TABLE_MB, as many megabytes of fresh tables are also written
// once, as a numbering's tables sized by the board are; the difference between two runs
// is what each megabyte of them costs on this machine.
//
// Usage: io_floor SOURCE DESTINATION [TABLE_MB]

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/memory.h"

namespace {

bool ReadAll(int fd, std::vector<unsigned char>& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, const std::vector<unsigned char>& bytes) {
  constexpr size_t kPiece = size_t{1} << 20;  // as kerro-cli writes
  for (size_t done = 0; done < bytes.size();) {
    const size_t wanted = std::min(kPiece, bytes.size() - done);
    const ssize_t n = ::write(fd, bytes.data() + done, wanted);
    if (n <= 0) {
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: io_floor SOURCE DESTINATION [TABLE_MB]\n");
    return 2;
  }
  kerro::PreferLargePagesForTheHeap();
  const size_t tableBytes = argc == 4 ? std::stoul(argv[3]) << 20 : 0;
  std::vector<unsigned char> table;  // kept to the end, so the image cannot reuse it
  if (tableBytes > 0) {
    kerro::ReserveLarge(table, tableBytes);
    table.resize(tableBytes, 1);
    if (table[tableBytes / 2] != 1) {
      return 1;
    }
  }
  const int in = ::open(argv[1], O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (in < 0 || ::fstat(in, &info) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  std::vector<unsigned char> image;
  kerro::ReserveLarge(image, static_cast<size_t>(info.st_size));
  image.resize(static_cast<size_t>(info.st_size));
  if (!ReadAll(in, image)) {
    std::perror(argv[1]);
    return 1;
  }
  ::close(in);
  for (size_t i = 0; i < image.size(); i += 61) {
    image[i] ^= 1;
  }
  const int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0 || !WriteAll(out, image) || ::fsync(out) != 0 || ::close(out) != 0) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
