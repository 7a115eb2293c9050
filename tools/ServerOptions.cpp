#include "ServerOptions.h"

#include <cctype>

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  const int lower = std::tolower(static_cast<unsigned char>(c));
  if (lower >= 'a' && lower <= 'f') {
    return lower - 'a' + 10;
  }
  return -1;
}

} // namespace

ServerOptions::Action ServerOptions::Parse(const std::vector<std::string> &args) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-') {
      if (!name_.empty()) {
        Fail("more than one pipe name given: '" + arg + "'");
        return Action::Fail;
      }
      if (arg.empty()) {
        Fail("the pipe name must not be empty");
        return Action::Fail;
      }
      name_ = arg;
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      return Action::ShowUsage;
    }
    if (arg == "--byte") {
      byteType_ = true;
      continue;
    }
    if (arg == "--no-echo") {
      echo_ = false;
      continue;
    }
    if (arg == "--no-read") {
      noRead_ = true;
      continue;
    }
    if (arg == "--log-data") {
      logData_ = true;
      continue;
    }
    if (arg == "--on-message") {
      scriptOnMessage_ = true;
      continue;
    }
    if (arg == "--close") {
      closeAfterScript_ = true;
      continue;
    }
    const bool takesValue = arg == "--send" || arg == "--send-size" || arg == "--instances" ||
                            arg == "--close-after" || arg == "--max-connections" ||
                            arg == "--delay" || arg == "--tick";
    if (!takesValue) {
      Fail("unknown option '" + arg + "'");
      return Action::Fail;
    }
    if (i + 1 >= args.size()) {
      Fail("option '" + arg + "' needs a value");
      return Action::Fail;
    }
    const std::string &value = args[++i];
    bool ok = true;
    if (arg == "--send") {
      ScriptMessage message;
      ok = DecodeEscapes(value, message.text);
      script_.push_back(std::move(message));
    } else if (arg == "--send-size") {
      ScriptMessage message;
      message.isPattern = true;
      ok = ParseCount(arg, value, 0, kMaxMessageSize, message.patternSize);
      script_.push_back(std::move(message));
    } else if (arg == "--instances") {
      ok = ParseCount(arg, value, 1, kMaxCount, instances_);
    } else if (arg == "--close-after") {
      ok = ParseCount(arg, value, 1, kMaxCount, closeAfter_);
    } else if (arg == "--delay") {
      ok = ParseCount(arg, value, 0, kMaxCount, delayMs_);
    } else if (arg == "--tick") {
      ok = ParseCount(arg, value, 1, kMaxCount, tickMs_);
    } else {
      ok = ParseCount(arg, value, 1, kMaxCount, maxConnections_);
    }
    if (!ok) {
      return Action::Fail;
    }
  }
  if (name_.empty()) {
    Fail("the pipe name must be specified");
    return Action::Fail;
  }
  return Action::Serve;
}

std::string ServerOptions::Usage() {
  return "Usage: skellan-server [OPTIONS] NAME\n"
#ifdef _WIN32
         "Serves the named pipe \\\\.\\pipe\\NAME. Each event is logged on stdout as\n"
         "one line:\n"
#else
         "Serves the named pipe NAME: the socket CoreFxPipe_NAME in $TMPDIR, or in /tmp\n"
         "when TMPDIR is unset or empty; or NAME itself when it starts with '/'.\n"
         "Each event is logged on stdout as one line:\n"
#endif
         "'listening PATH', 'connect ID', 'recv ID LEN' and 'close ID'.\n"
         "\n"
         "Options:\n"
         "  --byte               byte-type pipe (a stream); default: message-type\n"
         "  --no-echo            do not send received messages back\n"
         "  --no-read            never read what a client sends; the connection stays\n"
         "                       until the client closes it\n"
         "  --log-data           log each received message's bytes too: 'data ID TEXT',\n"
         "                       TEXT with the escapes of --send\n"
         "  --instances N        serve at most N clients at once; while N are\n"
         "                       connected the pipe is busy (default: unlimited)\n"
         "  --send TEXT          send TEXT as one message; escapes: \\0 \\n \\r \\t \\\\ \\xHH\n"
         "  --send-size N        send one message of N bytes: 'a' to 'z' repeating\n"
         "                       (--send and --send-size are sent in the given order)\n"
         "  --on-message         send those messages as the reply to a client's first\n"
         "                       message (which is not echoed) instead of on connect\n"
         "  --close              close each connection once those messages are sent\n"
         "  --close-after N      close a connection after receiving N messages\n"
         "                       (once their replies are sent)\n"
         "  --delay MS           send each reply (the echo, or the --on-message\n"
         "                       messages) MS milliseconds after the message it\n"
         "                       answers came; messages go on being received meanwhile\n"
         "  --tick MS            while a client is connected, also send it 'tick N\\n'\n"
         "                       every MS milliseconds, N counting from 1\n"
         "  --max-connections N  exit after N connections have ended\n"
         "  --help               print this help and exit\n";
}

std::string ServerOptions::Pattern(std::size_t offset, std::size_t length) {
  // A fixed printable pattern lets a test rebuild the expected bytes.
  std::string bytes(length, '\0');
  for (std::size_t k = 0; k < length; ++k) {
    bytes[k] = static_cast<char>('a' + (offset + k) % 26);
  }
  return bytes;
}

bool ServerOptions::Fail(const std::string &message) {
  error_ = message;
  return false;
}

bool ServerOptions::ParseCount(const std::string &option, const std::string &text,
                               std::size_t minimum, std::size_t maximum, std::size_t &value) {
  std::size_t result = 0;
  bool valid = !text.empty();
  for (char c : text) {
    // Stopping above the maximum also keeps the sum from overflowing.
    if (!std::isdigit(static_cast<unsigned char>(c)) || result > maximum) {
      valid = false;
      break;
    }
    result = result * 10 + static_cast<std::size_t>(c - '0');
  }
  if (!valid || result < minimum || result > maximum) {
    return Fail("option '" + option + "' needs a whole number from " + std::to_string(minimum) +
                " to " + std::to_string(maximum) + ", not '" + text + "'");
  }
  value = result;
  return true;
}

bool ServerOptions::DecodeEscapes(const std::string &text, std::string &decoded) {
  decoded.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      decoded += text[i];
      continue;
    }
    if (++i == text.size()) {
      return Fail("--send text ends in a lone backslash: '" + text + "'");
    }
    switch (text[i]) {
    case '0':
      decoded += '\0';
      break;
    case 'n':
      decoded += '\n';
      break;
    case 'r':
      decoded += '\r';
      break;
    case 't':
      decoded += '\t';
      break;
    case '\\':
      decoded += '\\';
      break;
    case 'x': {
      const int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
      const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
      if (high < 0 || low < 0) {
        return Fail("\\x needs two hex digits in --send text '" + text + "'");
      }
      decoded += static_cast<char>(high * 16 + low);
      i += 2;
      break;
    }
    default:
      return Fail(std::string("unknown escape '\\") + text[i] + "' in --send text '" + text + "'");
    }
  }
  return true;
}
