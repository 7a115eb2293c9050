#ifndef SKELLAN_PLATFORM_LINUX_PIPENAME_H
#define SKELLAN_PLATFORM_LINUX_PIPENAME_H

#include "Win32Api.h"

#include <string>
#include <sys/un.h>

// Maps a Win32 pipe path to the Unix socket that stands for it, as .NET
// does on Unix: "\\.\pipe\NAME" is CoreFxPipe_NAME in the temporary
// directory (Directory()), and a NAME that starts with '/' is that socket
// path itself.
class PipeName {
public:
  explicit PipeName(const char *win32Path);

  // Where the sockets of plain names live, ending in '/': $TMPDIR when it is
  // set and not empty, otherwise /tmp/, as .NET's Path.GetTempPath() has it.
  static std::string Directory();
  // What a plain name's socket file is called before the name.
  static constexpr const char *SocketPrefix = "CoreFxPipe_";

  // ERROR_SUCCESS, or why the path names no socket.
  DWORD GetError() const { return error; }
  const std::string &GetSocketPath() const { return socketPath; }
  // Valid only when GetError() is ERROR_SUCCESS.
  sockaddr_un GetAddress() const;

private:
  DWORD error = ERROR_SUCCESS;
  std::string socketPath;
};

#endif
