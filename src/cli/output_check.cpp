#include "cli/output_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tintara {

void ensureWritten(std::ostream& out) {
  if (out.good()) {
    errno = 0;
    out.flush();
    if (out.good()) return;
  }
  // The stream keeps no reason; the failed write left it in errno (callers
  // check right after writing, so nothing has overwritten it).
  const int error = errno;
  throw WriteError(error != 0 ? std::strerror(error) : "the stream failed");
}

void guardClosedStandardOutput() {
  if (fcntl(STDOUT_FILENO, F_GETFD) != -1 || errno != EBADF) return;
  const int fd = open("/dev/null", O_RDONLY);
  if (fd >= 0 && fd != STDOUT_FILENO) {
    dup2(fd, STDOUT_FILENO);
    close(fd);
  }
}

}  // namespace tintara
