#ifndef SKELLAN_TESTS_FUZZ_SHELLMODEL_H
#define SKELLAN_TESTS_FUZZ_SHELLMODEL_H

#include <string>
#include <vector>

// What the shell must print and send for a given input, worked out from its
// documented behaviour with plain string handling rather than with the
// shell's own classes, so that the fuzzer can compare the two.
class ShellModel {
public:
  // Faults the fake platform is scripted with: the first `failedConnects`
  // pipe opens find no pipe, the first `failedWrites` writes fail, and with
  // `noEvents` no connect gets as far as opening the pipe.
  struct Faults {
    int failedConnects = 0;
    int failedWrites = 0;
    bool noEvents = false;
  };

  explicit ShellModel(const Faults &faults) : faults(faults) {}

  // Runs the command loop over the input until `exit` or its end.
  void Run(const std::string &input);

  const std::string &Output() const { return output; }
  const std::vector<std::string> &Sent() const { return sent; }

private:
  // Acts on one line (without its line feed); false once the shell stops.
  bool Execute(const std::string &line);
  void Connect(const std::string &name);
  void Reply(const std::string &text);

  Faults faults;
  bool connected = false;
  std::string output;
  std::vector<std::string> sent;
};

#endif
