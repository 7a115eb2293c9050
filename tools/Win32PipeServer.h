#ifndef SKELLAN_TOOLS_WIN32PIPESERVER_H
#define SKELLAN_TOOLS_WIN32PIPESERVER_H

#include "ServerLog.h"
#include "ServerOptions.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Serves a named pipe with the Win32 calls: each pipe instance has a thread
// of its own that waits for a client (ConnectNamedPipe), serves it with
// overlapped reads and writes, lets it go (DisconnectNamedPipe) and waits for
// the next. The main thread adds an instance whenever none is free, up to the
// limit, and stops everything on Ctrl-C, Ctrl-Break or --max-connections.
class Win32PipeServer {
public:
  explicit Win32PipeServer(ServerOptions options);
  ~Win32PipeServer();
  Win32PipeServer(const Win32PipeServer &) = delete;
  Win32PipeServer &operator=(const Win32PipeServer &) = delete;

  // "\\.\pipe\" + name.
  static std::string PipePathFor(const std::string &name);

  // Serves until stopped; returns the process exit status.
  int Run();

private:
  // Whether some server already serves the name; sets ERROR_ACCESS_DENIED,
  // as creating the first instance then does.
  bool NameTaken() const;
  HANDLE CreateInstance(bool first);
  void StartInstance(HANDLE pipe);
  void ReapFinished();
  void Stop();

  void RunInstance(std::uint64_t thread, HANDLE pipe);
  bool WaitForClient(HANDLE pipe, OVERLAPPED &overlapped);
  void Serve(HANDLE pipe, HANDLE readEvent, HANDLE writeEvent, std::uint64_t id);
  // Called by an instance thread when its wait ends; false when it should
  // give its instance up rather than wait again.
  bool KeepListening();

  static void Report(const std::string &what);

  const ServerOptions options_;
  const std::string path_;
  // Manual-reset: once set, every wait of every thread ends.
  HANDLE stop_ = nullptr;
  // Auto-reset: an instance thread tells the main thread that the counts
  // below changed.
  HANDLE wake_ = nullptr;

  std::mutex stateMutex_;
  std::map<std::uint64_t, std::thread> threads_;
  std::vector<std::uint64_t> finished_;
  std::uint64_t nextThread_ = 1;
  std::uint64_t nextId_ = 1;
  std::size_t instances_ = 0;
  std::size_t listening_ = 0;
  std::size_t ended_ = 0;

  ServerLog log_;
};

#endif
