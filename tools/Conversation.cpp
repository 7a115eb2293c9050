#include "Conversation.h"

#include <cstdio>

namespace {
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
  for (const std::string &message : options_.Script()) {
    if (!channel.Send(message)) {
      return false;
    }
  }
  return !options_.CloseAfterScript();
}
