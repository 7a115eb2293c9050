#include "Conversation.h"

#include <algorithm>
#include <cstdio>

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
  const std::string idText = std::to_string(id);
  bool open = options_.ScriptOnMessage() || SendScript(channel);
  std::size_t received = 0;
  std::string message;
  while (open && channel.Receive(message)) {
    ++received;
    log_.Write("recv " + idText + " " + std::to_string(message.size()));
    if (options_.LogData()) {
      log_.Write("data " + idText + " " + Escaped(message));
    }
    if (options_.ScriptOnMessage() && received == 1) {
      open = SendScript(channel);
    } else if (options_.Echo()) {
      open = channel.Send(message);
    }
    if (options_.CloseAfter() != 0 && received >= options_.CloseAfter()) {
      open = false;
    }
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
