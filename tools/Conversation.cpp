#include "Conversation.h"

void Conversation::Run(std::uint64_t id, Channel &channel) const {
  const std::string idText = std::to_string(id);
  bool open = options_.ScriptOnMessage() || SendScript(channel);
  std::size_t received = 0;
  std::string message;
  while (open && channel.Receive(message)) {
    ++received;
    log_.Write("recv " + idText + " " + std::to_string(message.size()));
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
