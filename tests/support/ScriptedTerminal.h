#ifndef SKELLAN_TESTS_SUPPORT_SCRIPTEDTERMINAL_H
#define SKELLAN_TESTS_SUPPORT_SCRIPTEDTERMINAL_H

#include "KeyDecoder.h"
#include "ScreenCompositor.h"
#include "ScreenModel.h"
#include "Terminal.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

// A terminal that plays a script: keys typed as a VT terminal sends them,
// received output arriving between two keys, resizes, the end of input.
// What the editor writes goes to a screen model; each write is kept.
class ScriptedTerminal : public Terminal {
public:
  ScriptedTerminal(int columns, int rows);

  // Keys, as the bytes a terminal sends for them, one read each.
  void Type(const std::string &bytes);
  // Keys that come in one read, as a paste does.
  void Paste(const std::string &bytes);
  // Between the keys before and after: received output, shown on
  // `compositor` as the receiver thread would show it (see
  // ScreenCompositor::ShowReceived).
  void Receive(const std::string &bytes, bool continues = false, bool more = false);
  // Between the keys before and after: anything another thread would do.
  void During(std::function<void()> action);
  void ResizeTo(int columns, int rows);
  // Another program's output on the same terminal, while this one waits.
  void Meanwhile(const std::string &bytes);
  void Then(Event::Type type);
  // From here on, every write fails.
  void FailOutput();

  bool EnterRaw() override;
  void LeaveRaw() override;
  void ReadEvents(std::deque<Event> &events, int milliseconds) override;
  Size GetSize() override { return size; }
  bool Write(const std::string &bytes) override;
  void Suspend() override { ++suspensions; }
  std::vector<Char> Characters(const std::string &bytes) override {
    return decoder.Characters(bytes);
  }

  ScreenModel screen;
  ScreenCompositor *compositor = nullptr;
  std::vector<std::string> writes;
  bool raw = false;
  int suspensions = 0;

private:
  // A step that yields events, or false for one that only acts.
  using Step = std::function<bool(std::deque<Event> &)>;
  std::vector<Key> Keys(const std::string &bytes);

  KeyDecoder decoder;
  std::deque<Step> script;
  Size size;
  bool failing = false;
};

#endif
