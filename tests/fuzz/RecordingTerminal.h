#ifndef SKELLAN_TESTS_FUZZ_RECORDINGTERMINAL_H
#define SKELLAN_TESTS_FUZZ_RECORDINGTERMINAL_H

#include "Terminal.h"

#include <string>
#include <vector>

// A terminal that only keeps what is written to it, for the line editor's
// compositor to draw on: no keys, no size changes.
class RecordingTerminal : public Terminal {
public:
  std::string written;

  bool EnterRaw() override { return true; }
  void LeaveRaw() override {}
  void ReadEvents(std::deque<Event> &, int) override {}
  Size GetSize() override { return Size{80, 24}; }
  bool Write(const std::string &bytes) override;
  void Suspend() override {}
  std::vector<Char> Characters(const std::string &bytes) override;
};

#endif
