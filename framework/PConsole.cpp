#include "PConsole.h"

#include "PMutex.h"
#include "PWaitAndSignal.h"

#include <ostream>

namespace {
PMutex &Lock() {
  static PMutex mutex;
  return mutex;
}
} // namespace

PConsole::Hold::Hold() { Lock().Wait(); }

PConsole::Hold::~Hold() { Lock().Signal(); }

bool PConsole::Write(std::ostream &stream, const char *bytes, std::size_t length) {
  PWaitAndSignal lock(Lock());
  stream.write(bytes, static_cast<std::streamsize>(length));
  stream.flush();
  return stream.good();
}
