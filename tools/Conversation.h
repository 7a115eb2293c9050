#ifndef SKELLAN_TOOLS_CONVERSATION_H
#define SKELLAN_TOOLS_CONVERSATION_H

#include "ServerLog.h"
#include "ServerOptions.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// What the server says to one client, whatever carries the messages: the
// scripted messages on connect or in reply to the first message, the
// echoes, each reply when its delay has passed, the ticks, and the end of
// the connection that the options ask for. Every message received is
// logged as it comes.
class Conversation {
public:
  // The server's side of one connection.
  class Channel {
  public:
    enum class Event { Message, Quiet, Ended };
    // A wait with no end but the next event.
    static constexpr std::chrono::milliseconds kForever{-1};

    virtual ~Channel() = default;
    // Waits at most `timeout` for the next message: Quiet when the time
    // passed first, Ended once the connection has ended.
    virtual Event Receive(std::string &message, std::chrono::milliseconds timeout) = 0;
    // Waits `timeout` without taking messages; false once the connection
    // has ended.
    virtual bool Pause(std::chrono::milliseconds timeout) = 0;
    virtual bool Send(const std::string &message) = 0;
  };

  Conversation(const ServerOptions &options, ServerLog &log) : options_(options), log_(log) {}

  // Returns when the client has gone or the options end the connection.
  void Run(std::uint64_t id, Channel &channel) const;

private:
  // Sends the scripted messages; whether the connection stays open.
  bool SendScript(Channel &channel) const;
  // Sends `size` bytes of the --send-size pattern: one message, or a stream
  // a part at a time.
  bool SendPattern(Channel &channel, std::size_t size) const;

  const ServerOptions &options_;
  ServerLog &log_;
};

#endif
