#ifndef SKELLAN_TOOLS_SOCKETPIPESERVER_H
#define SKELLAN_TOOLS_SOCKETPIPESERVER_H

#include "ServerLog.h"
#include "ServerOptions.h"
#include "linux/PipeName.h"

#include <sys/un.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// Serves a named pipe as a Unix-domain socket: SOCK_SEQPACKET for a
// message-type pipe, SOCK_STREAM for a byte-type one. Each client is served
// by a thread of its own with plain blocking calls; the main thread accepts
// clients, keeps the instance limit and stops on SIGINT or SIGTERM.
class SocketPipeServer {
public:
  // Serves the socket that `pipe` names; its GetError() must be ERROR_SUCCESS.
  SocketPipeServer(ServerOptions options, const PipeName &pipe);
  ~SocketPipeServer();
  SocketPipeServer(const SocketPipeServer &) = delete;
  SocketPipeServer &operator=(const SocketPipeServer &) = delete;

  // Serves until stopped; returns the process exit status.
  int Run();

private:
  bool Listen();
  bool RemoveStaleSocket();
  int SocketType() const;
  void Accept();
  void FillQueue();
  void DropPlaceholder();
  void Reap(std::uint64_t id);
  void Stop();

  void Serve(std::uint64_t id, int fd);
  static void CloseConnection(int fd);

  static void Report(const std::string &what);

  const ServerOptions options_;
  const std::string path_;
  const sockaddr_un address_;
  int listener_ = -1;
  bool bound_ = false;
  // Our own connection that fills the listener's one queue slot while
  // every instance is in use, so that further clients find the pipe busy.
  int placeholder_ = -1;
  int signals_ = -1;
  // Workers write their id here when done, waking the main thread.
  int doneRead_ = -1;
  int doneWrite_ = -1;
  std::uint64_t nextId_ = 1;
  std::size_t ended_ = 0;
  std::map<std::uint64_t, std::thread> workers_;

  std::mutex openMutex_;
  std::map<std::uint64_t, int> openSockets_;
  ServerLog log_;
};

#endif
