#include "PipeName.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>

namespace {
const char prefix[] = "\\\\.\\pipe\\";
const std::size_t prefixLength = sizeof(prefix) - 1;

bool HasPipePrefix(const char *path) {
  for (std::size_t i = 0; i < prefixLength; ++i) {
    if (std::tolower(static_cast<unsigned char>(path[i])) != prefix[i])
      return false;
  }
  return true;
}
} // namespace

std::string PipeName::Directory() {
  const char *tmpdir = std::getenv("TMPDIR");
  if (tmpdir == nullptr || *tmpdir == '\0')
    return "/tmp/";
  std::string directory(tmpdir);
  if (directory.back() != '/')
    directory += '/';
  return directory;
}

PipeName::PipeName(const char *win32Path) {
  if (win32Path == nullptr || !HasPipePrefix(win32Path)) {
    error = ERROR_PATH_NOT_FOUND;
    return;
  }
  const char *name = win32Path + prefixLength;
  if (*name == '\0') {
    error = ERROR_INVALID_NAME;
    return;
  }
  socketPath = name[0] == '/' ? std::string(name) : Directory() + SocketPrefix + name;
  // sun_path needs room for the terminating NUL; a longer path would be cut
  // and name some other socket.
  if (socketPath.size() >= sizeof(sockaddr_un::sun_path))
    error = ERROR_FILENAME_EXCED_RANGE;
}

sockaddr_un PipeName::GetAddress() const {
  sockaddr_un address;
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  return address;
}
