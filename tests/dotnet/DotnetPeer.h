#ifndef SKELLAN_TESTS_DOTNET_DOTNETPEER_H
#define SKELLAN_TESTS_DOTNET_DOTNETPEER_H

#include "ChildProcess.h"

#include <string>
#include <vector>

// PipePeer.exe run by Mono for one test: a real .NET NamedPipeServerStream
// on a pipe name of its own. It is stopped when the object goes, and the
// socket file it leaves behind removed.
class DotnetPeer {
public:
  // Starts the peer with these options on `name` and waits until its pipe
  // exists; throws if it does not.
  explicit DotnetPeer(const std::vector<std::string> &options, const std::string &name);
  ~DotnetPeer();
  DotnetPeer(const DotnetPeer &) = delete;
  DotnetPeer &operator=(const DotnetPeer &) = delete;

  const std::string &Name() const { return name_; }
  // Path.GetTempPath() as the peer reported it.
  const std::string &TempPath() const { return tempPath_; }
  // Where .NET keeps the pipe: CoreFxPipe_NAME in TempPath().
  std::string SocketPath() const { return tempPath_ + "CoreFxPipe_" + name_; }

  // Waits until the peer has logged this whole line.
  bool WaitForLog(const std::string &line);

private:
  std::string name_;
  ChildProcess process_;
  std::string tempPath_;
};

#endif
