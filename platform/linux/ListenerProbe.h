#ifndef SKELLAN_PLATFORM_LINUX_LISTENERPROBE_H
#define SKELLAN_PLATFORM_LINUX_LISTENERPROBE_H

#include <string>

// Asks the kernel (sock_diag) whether the socket listening at a path could
// take one more connection, without connecting: a probe connection would
// reach the server as a client that never speaks.
class ListenerProbe {
public:
  enum Result { NoListener, HasRoom, Full, Unknown };

  static Result Check(const std::string &socketPath);
};

#endif
