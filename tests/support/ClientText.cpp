#include "ClientText.h"

namespace clienttext {

const std::string kConnected = "OK Connected\n";
const std::string kClosed = "OK Connection closed\n";
const std::string kNotConnected = "ERROR Not connected\n";
const std::string kCannotWrite = "ERROR Cannot write to pipe\n";
const std::string kNoName = "ERROR The pipe name must be specified\n";

std::string CannotConnect(const std::string &name) {
  return "ERROR Cannot connect to named pipe: " + name + "\n";
}

std::string Pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    text[i] = static_cast<char>('a' + i % 26);
  }
  return text;
}

std::string Ticks(std::size_t count) {
  std::string text;
  for (std::size_t n = 1; n <= count; ++n) {
    text += "tick " + std::to_string(n) + "\n";
  }
  return text;
}

std::vector<std::string> Messages(std::size_t count, std::size_t size) {
  std::vector<std::string> options;
  for (std::size_t i = 0; i < count; ++i) {
    options.push_back("--send-size");
    options.push_back(std::to_string(size));
  }
  return options;
}

std::size_t PatternBreak(const std::string &stream, std::size_t size) {
  for (std::size_t i = 0; i < stream.size(); ++i) {
    if (stream[i] != static_cast<char>('a' + (i % size) % 26)) {
      return i;
    }
  }
  return stream.size();
}

} // namespace clienttext
