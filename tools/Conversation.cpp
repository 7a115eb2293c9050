#include "Conversation.h"

#include <algorithm>
#include <cstdio>
#include <deque>

namespace {
// How much of a --send-size stream goes out in one send.
constexpr std::size_t kStreamPart = 64 * 1024;

// The bytes on one log line, written back in the escapes --send takes.
std::string Escaped(const std::string &bytes) {
  std::string text;
  for (const char c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      text += "\\\\";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else if (c == '\t') {
      text += "\\t";
    } else if (c == '\0') {
      text += "\\0";
    } else if (byte < 0x20 || byte >= 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      text += hex;
    } else {
      text += c;
    }
  }
  return text;
}
} // namespace

void Conversation::Run(std::uint64_t id, Channel &channel) const {
  using Clock = std::chrono::steady_clock;
  // A reply waiting for its time: the echo of `message`, or the script.
  struct Reply {
    Clock::time_point due;
    bool script;
    std::string message;
  };
  const std::string idText = std::to_string(id);
  const Clock::duration delay = std::chrono::milliseconds(options_.DelayMs());
  const Clock::duration tick = std::chrono::milliseconds(options_.TickMs());
  Clock::time_point nextTick = Clock::now() + tick;
  std::size_t ticks = 0;
  bool open = options_.ScriptOnMessage() || SendScript(channel);
  // Once --close-after is reached no more is taken; the replies owed still
  // go. With --no-read nothing ever is, and the client decides the end.
  bool receiving = !options_.NoRead();
  std::size_t received = 0;
  std::deque<Reply> replies;
  while (open) {
    const Clock::time_point now = Clock::now();
    if (!replies.empty() && replies.front().due <= now) {
      const Reply &reply = replies.front();
      open = reply.script ? SendScript(channel) : channel.Send(reply.message);
      replies.pop_front();
      continue;
    }
    if (tick != Clock::duration::zero() && nextTick <= now) {
      open = channel.Send("tick " + std::to_string(++ticks) + "\n");
      nextTick += tick;
      // Behind after a send that had to wait: no burst of ticks to catch up.
      if (nextTick <= now) {
        nextTick = now + tick;
      }
      continue;
    }
    if (!receiving && replies.empty() && !options_.NoRead()) {
      break;
    }
    Clock::time_point wake = Clock::time_point::max();
    if (!replies.empty()) {
      wake = replies.front().due;
    }
    if (tick != Clock::duration::zero()) {
      wake = std::min(wake, nextTick);
    }
    const std::chrono::milliseconds timeout =
        wake == Clock::time_point::max() ? Channel::kForever
                                         : std::chrono::ceil<std::chrono::milliseconds>(wake - now);
    if (!receiving) {
      open = channel.Pause(timeout);
      continue;
    }
    std::string message;
    const Channel::Event event = channel.Receive(message, timeout);
    if (event != Channel::Event::Message) {
      open = event == Channel::Event::Quiet;
      continue;
    }
    const Clock::time_point due = Clock::now() + delay;
    ++received;
    log_.Write("recv " + idText + " " + std::to_string(message.size()));
    if (options_.LogData()) {
      log_.Write("data " + idText + " " + Escaped(message));
    }
    if (options_.ScriptOnMessage() && received == 1) {
      replies.push_back({due, true, std::string()});
    } else if (options_.Echo()) {
      replies.push_back({due, false, std::move(message)});
    }
    receiving = options_.CloseAfter() == 0 || received < options_.CloseAfter();
  }
}

bool Conversation::SendScript(Channel &channel) const {
  for (const ServerOptions::ScriptMessage &message : options_.Script()) {
    const bool sent =
        message.isPattern ? SendPattern(channel, message.patternSize) : channel.Send(message.text);
    if (!sent) {
      return false;
    }
  }
  return !options_.CloseAfterScript();
}

bool Conversation::SendPattern(Channel &channel, std::size_t size) const {
  // One send is one message on a message-type pipe, so the message is made
  // whole. A stream goes out in parts, in as many sends as it takes, so
  // only one part at a time is in memory, however long the stream.
  if (!options_.ByteType()) {
    return channel.Send(ServerOptions::Pattern(0, size));
  }
  std::size_t sent = 0;
  do {
    const std::size_t part = std::min(size - sent, kStreamPart);
    if (!channel.Send(ServerOptions::Pattern(sent, part))) {
      return false;
    }
    sent += part;
  } while (sent < size);
  return true;
}
