// Feeds arbitrary bytes to the shell as its standard input, over a scripted
// platform, and checks what it prints and sends against ShellModel. The
// first byte chooses the platform's faults; the rest is the input.
#include "FakePipeApi.h"
#include "ShellModel.h"
#include "ShellProcess.h"
#include "VisibleText.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {
// Bits 0-1: pipe opens that fail; bits 2-3: writes that fail; bit 4: no
// event can be made. A space (0x20) is a run without faults.
ShellModel::Faults DecodeFaults(std::uint8_t script) {
  ShellModel::Faults faults;
  faults.failedConnects = script & 3;
  faults.failedWrites = (script >> 2) & 3;
  faults.noEvents = (script & 0x10) != 0;
  return faults;
}

void Script(FakePipeApi &fake, const ShellModel::Faults &faults) {
  for (int i = 0; i < faults.failedConnects; ++i)
    fake.QueueCreateFile({false, ERROR_FILE_NOT_FOUND});
  for (int i = 0; i < faults.failedWrites; ++i)
    fake.QueueWrite({false, ERROR_NO_DATA});
  if (faults.noEvents)
    fake.FailCreateEvent();
}

// Ends the run as a crash, so that libFuzzer keeps the input.
void Fail(const char *what, const std::string &actual, const std::string &expected) {
  std::fprintf(stderr, "%s\n  actual:   \"%s\"\n  expected: \"%s\"\n", what,
               VisibleText(actual, 0, actual.size()).c_str(),
               VisibleText(expected, 0, expected.size()).c_str());
  std::abort();
}

std::string Joined(const std::vector<std::string> &lines) {
  std::string joined;
  for (const std::string &line : lines)
    joined += "[" + line + "]";
  return joined;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const ShellModel::Faults faults = DecodeFaults(size > 0 ? data[0] : ' ');
  const std::string input =
      size > 0 ? std::string(reinterpret_cast<const char *>(data) + 1, size - 1) : std::string();

  ShellModel model(faults);
  model.Run(input);

  FakePipeApi fake;
  Script(fake, faults);
  std::istringstream in(input);
  std::ostringstream out;
  {
    ShellProcess shell(fake.Api());
    // The fuzzer must not sleep: a script's end leaves at once.
    shell.SetExitWait(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
    shell.Run(in, out);
    // `exit`, typed or at the end of input, closes the connection at once,
    // not only when the shell goes.
    if (fake.OpenHandles() != 0)
      Fail("handles left open after exit", std::to_string(fake.OpenHandles()), "0");
  }

  if (out.str() != model.Output())
    Fail("output differs", out.str(), model.Output());
  if (fake.Written() != model.Sent())
    Fail("lines sent differ", Joined(fake.Written()), Joined(model.Sent()));
  if (fake.UsedReleasedHandle())
    Fail("a released handle was used", "used", "not used");
  return 0;
}
