#include "SocketListener.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

int SocketListener::Listen(const std::string &path, int type, bool &bound, std::string &failed) {
  bound = false;
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    failed = path;
    return -1;
  }
  const int listener = socket(AF_UNIX, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listener < 0) {
    failed = "socket";
    return -1;
  }
  // A socket left behind by a server that was killed would make bind fail.
  struct stat status;
  if (lstat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode))
    unlink(path.c_str());
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
    failed = "cannot bind " + path;
  } else {
    bound = true;
    if (listen(listener, SOMAXCONN) == 0)
      return listener;
    failed = "listen";
  }
  const int kept = errno;
  close(listener);
  errno = kept;
  return -1;
}
