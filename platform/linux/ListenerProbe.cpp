#include "ListenerProbe.h"

#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {
// TCP_LISTEN in the kernel's socket states, which Unix sockets share.
constexpr int listenState = 10;

class Descriptor {
public:
  explicit Descriptor(int fd) : fd(fd) {}
  ~Descriptor() {
    if (fd >= 0)
      close(fd);
  }
  Descriptor(const Descriptor &) = delete;
  Descriptor &operator=(const Descriptor &) = delete;
  int fd;
};

// NLMSG_OK, spelled out: the macro compares the unsigned length with the
// signed byte count, which clang rejects under -Werror. The count stays
// signed so that stepping past the end makes it negative, not huge.
bool MessageFits(const nlmsghdr *message, int left) {
  return left >= static_cast<int>(sizeof(nlmsghdr)) && message->nlmsg_len >= sizeof(nlmsghdr) &&
         message->nlmsg_len <= static_cast<unsigned>(left);
}

// The kernel reports a socket file's device in its internal encoding.
bool SameDevice(std::uint32_t kernelDev, dev_t dev) {
  return (kernelDev >> 20) == major(dev) && (kernelDev & 0xfffff) == minor(dev);
}
} // namespace

ListenerProbe::Result ListenerProbe::Check(const std::string &socketPath) {
  struct stat file;
  if (stat(socketPath.c_str(), &file) != 0 || !S_ISSOCK(file.st_mode))
    return NoListener;

  Descriptor diag(socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (diag.fd < 0)
    return Unknown;

  struct {
    nlmsghdr header;
    unix_diag_req body;
  } request;
  std::memset(&request, 0, sizeof request);
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.body.sdiag_family = AF_UNIX;
  request.body.udiag_states = 1u << listenState;
  request.body.udiag_show = UDIAG_SHOW_VFS | UDIAG_SHOW_RQLEN;
  if (send(diag.fd, &request, sizeof request, 0) != static_cast<ssize_t>(sizeof request))
    return Unknown;

  Result result = NoListener;
  alignas(nlmsghdr) char buffer[16384];
  for (;;) {
    ssize_t got = recv(diag.fd, buffer, sizeof buffer, 0);
    if (got <= 0)
      return Unknown;
    int left = static_cast<int>(got);
    for (nlmsghdr *message = reinterpret_cast<nlmsghdr *>(buffer); MessageFits(message, left);
         message = NLMSG_NEXT(message, left)) {
      if (message->nlmsg_type == NLMSG_DONE)
        return result;
      if (message->nlmsg_type == NLMSG_ERROR)
        return Unknown;
      unix_diag_msg *entry = static_cast<unix_diag_msg *>(NLMSG_DATA(message));
      int attributesLeft = static_cast<int>(message->nlmsg_len - NLMSG_LENGTH(sizeof *entry));
      bool matches = false;
      bool full = false;
      for (rtattr *attribute = reinterpret_cast<rtattr *>(entry + 1);
           RTA_OK(attribute, attributesLeft); attribute = RTA_NEXT(attribute, attributesLeft)) {
        if (attribute->rta_type == UNIX_DIAG_VFS) {
          const unix_diag_vfs *vfs = static_cast<const unix_diag_vfs *>(RTA_DATA(attribute));
          matches =
              vfs->udiag_vfs_ino == file.st_ino && SameDevice(vfs->udiag_vfs_dev, file.st_dev);
        } else if (attribute->rta_type == UNIX_DIAG_RQLEN) {
          const unix_diag_rqlen *queue = static_cast<const unix_diag_rqlen *>(RTA_DATA(attribute));
          // For a listener: connections waiting to be accepted, and the
          // backlog. The kernel refuses a connection once waiting > backlog.
          full = queue->udiag_rqueue > queue->udiag_wqueue;
        }
      }
      // Keep reading to the end of the dump so the reply is consumed whole.
      if (matches)
        result = full ? Full : HasRoom;
    }
  }
}
