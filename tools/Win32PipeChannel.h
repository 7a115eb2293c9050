#ifndef SKELLAN_TOOLS_WIN32PIPECHANNEL_H
#define SKELLAN_TOOLS_WIN32PIPECHANNEL_H

#include "Conversation.h"

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <string>

// The server's side of one connection on a Win32 pipe instance, opened
// for overlapped I/O. A read that a time-out leaves unfinished stays
// pending and is taken up by the next Receive, so no byte is lost; sends
// use an OVERLAPPED of their own meanwhile. Every wait also ends when the
// server's stop event is set.
class Win32PipeChannel : public Conversation::Channel {
public:
  // The events must be manual-reset and stay open as long as the channel.
  Win32PipeChannel(HANDLE pipe, HANDLE stop, bool byteType, HANDLE readEvent, HANDLE writeEvent);
  ~Win32PipeChannel() override;
  Win32PipeChannel(const Win32PipeChannel &) = delete;
  Win32PipeChannel &operator=(const Win32PipeChannel &) = delete;

  Event Receive(std::string &message, std::chrono::milliseconds timeout) override;
  bool Pause(std::chrono::milliseconds timeout) override;
  bool Send(const std::string &message) override;
  // Ends a read still pending, before the instance is disconnected.
  void CancelRead();

  // Finishes a call on `overlapped` that returned `started`: waits for it,
  // or cancels it once `stop` is set. GetLastError tells why it failed.
  static bool Complete(HANDLE pipe, HANDLE stop, OVERLAPPED &overlapped, BOOL started,
                       DWORD &transferred);

private:
  static DWORD Milliseconds(std::chrono::milliseconds timeout);

  const HANDLE pipe_;
  const HANDLE stop_;
  const bool byteType_;
  OVERLAPPED read_{};
  OVERLAPPED write_{};
  // The message being read; a pending read fills it from partStart_ on.
  std::string incoming_;
  std::size_t partStart_ = 0;
  bool reading_ = false;
};

#endif
