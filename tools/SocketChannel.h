#ifndef SKELLAN_TOOLS_SOCKETCHANNEL_H
#define SKELLAN_TOOLS_SOCKETCHANNEL_H

#include "Conversation.h"

#include <chrono>
#include <cstddef>
#include <string>

// The server's side of one connection on a Unix-domain socket: a
// SOCK_SEQPACKET socket carries messages, a SOCK_STREAM socket the reads
// of a byte-type pipe. The calls block; a shutdown of the socket ends
// every wait.
class SocketChannel : public Conversation::Channel {
public:
  SocketChannel(int fd, bool byteType) : fd_(fd), byteType_(byteType) {}

  Event Receive(std::string &message, std::chrono::milliseconds timeout) override;
  bool Pause(std::chrono::milliseconds timeout) override;
  bool Send(const std::string &message) override;

private:
  // Waits for `events` at most `timeout`: the poll result, 0 on time-out.
  int Wait(short events, std::chrono::milliseconds timeout) const;
  bool Take(std::string &message);
  void ReserveSendBuffer(std::size_t size);

  const int fd_;
  const bool byteType_;
};

#endif
