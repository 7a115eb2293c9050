#include "ScriptedTerminal.h"

namespace {
int TestWidth(const std::string &utf8) {
  const unsigned char first = static_cast<unsigned char>(utf8[0]);
  unsigned codePoint = first & (0x3f >> (utf8.size() - 1));
  for (std::size_t i = 1; i < utf8.size(); ++i)
    codePoint = (codePoint << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3f);
  return ScreenModel::WidthOf(codePoint);
}
} // namespace

ScriptedTerminal::ScriptedTerminal(int columns, int rows)
    : screen(columns, rows), decoder(true, TestWidth), size{columns, rows} {}

void ScriptedTerminal::Type(const std::string &bytes) {
  KeyDecoder keys(true, TestWidth);
  keys.Feed(bytes.data(), bytes.size());
  keys.Flush();
  for (Key key; keys.Next(key);) {
    script.push_back([key](Event &event) {
      event.type = Event::KeyPressed;
      event.key = key;
      return true;
    });
  }
}

void ScriptedTerminal::Receive(const std::string &bytes, bool continues, bool more) {
  script.push_back([this, bytes, continues, more](Event &) {
    compositor->ShowReceived(bytes.data(), bytes.size(), continues, more);
    return false;
  });
}

void ScriptedTerminal::During(std::function<void()> action) {
  script.push_back([action](Event &) {
    action();
    return false;
  });
}

void ScriptedTerminal::ResizeTo(int columns, int rows) {
  script.push_back([this, columns, rows](Event &event) {
    size = {columns, rows};
    screen.Resize(columns, rows);
    event.type = Event::Resized;
    return true;
  });
}

void ScriptedTerminal::Meanwhile(const std::string &bytes) {
  script.push_back([this, bytes](Event &) {
    screen.Feed(bytes);
    return false;
  });
}

void ScriptedTerminal::Then(Event::Type type) {
  script.push_back([type](Event &event) {
    event.type = type;
    return true;
  });
}

void ScriptedTerminal::FailOutput() {
  script.push_back([this](Event &) {
    failing = true;
    return false;
  });
}

bool ScriptedTerminal::EnterRaw() {
  raw = true;
  return true;
}

void ScriptedTerminal::LeaveRaw() { raw = false; }

Terminal::Event ScriptedTerminal::ReadEvent() {
  Event event;
  while (!script.empty()) {
    Step step = script.front();
    script.pop_front();
    if (step(event))
      return event;
  }
  // A script that ran out ends the input, so that no test can wait forever.
  event.type = Event::EndOfInput;
  return event;
}

bool ScriptedTerminal::Write(const std::string &bytes) {
  if (failing)
    return false;
  writes.push_back(bytes);
  screen.Feed(bytes);
  return true;
}
