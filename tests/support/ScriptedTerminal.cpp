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

std::vector<Key> ScriptedTerminal::Keys(const std::string &bytes) {
  KeyDecoder keys(true, TestWidth);
  keys.Feed(bytes.data(), bytes.size());
  keys.Flush();
  std::vector<Key> decoded;
  for (Key key; keys.Next(key);)
    decoded.push_back(key);
  return decoded;
}

void ScriptedTerminal::Type(const std::string &bytes) {
  for (const Key &key : Keys(bytes)) {
    script.push_back([key](std::deque<Event> &events) {
      events.emplace_back();
      events.back().type = Event::KeyPressed;
      events.back().key = key;
      return true;
    });
  }
}

void ScriptedTerminal::Paste(const std::string &bytes) {
  script.push_back([keys = Keys(bytes)](std::deque<Event> &events) {
    for (const Key &key : keys) {
      events.emplace_back();
      events.back().type = Event::KeyPressed;
      events.back().key = key;
    }
    return true;
  });
}

void ScriptedTerminal::Receive(const std::string &bytes, bool continues, bool more) {
  script.push_back([this, bytes, continues, more](std::deque<Event> &) {
    compositor->ShowReceived(bytes.data(), bytes.size(), continues, more);
    return false;
  });
}

void ScriptedTerminal::During(std::function<void()> action) {
  script.push_back([action](std::deque<Event> &) {
    action();
    return false;
  });
}

void ScriptedTerminal::ResizeTo(int columns, int rows) {
  script.push_back([this, columns, rows](std::deque<Event> &events) {
    size = {columns, rows};
    screen.Resize(columns, rows);
    events.emplace_back();
    events.back().type = Event::Resized;
    return true;
  });
}

void ScriptedTerminal::Meanwhile(const std::string &bytes) {
  script.push_back([this, bytes](std::deque<Event> &) {
    screen.Feed(bytes);
    return false;
  });
}

void ScriptedTerminal::Then(Event::Type type) {
  script.push_back([type](std::deque<Event> &events) {
    events.emplace_back();
    events.back().type = type;
    return true;
  });
}

void ScriptedTerminal::FailOutput() {
  script.push_back([this](std::deque<Event> &) {
    failing = true;
    return false;
  });
}

bool ScriptedTerminal::EnterRaw() {
  raw = true;
  return true;
}

void ScriptedTerminal::LeaveRaw() { raw = false; }

void ScriptedTerminal::ReadEvents(std::deque<Event> &events, int milliseconds) {
  while (!script.empty()) {
    Step step = script.front();
    script.pop_front();
    if (step(events))
      return;
  }
  // A script that ran out ends the input, so that no test can wait
  // forever; a wait with a limit just finds nothing.
  if (milliseconds < 0) {
    events.emplace_back();
    events.back().type = Event::EndOfInput;
  }
}

bool ScriptedTerminal::Write(const std::string &bytes) {
  if (failing)
    return false;
  writes.push_back(bytes);
  screen.Feed(bytes);
  return true;
}
