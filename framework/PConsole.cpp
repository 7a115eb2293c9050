#include "PConsole.h"

#include "PMutex.h"
#include "PWaitAndSignal.h"

#include <ostream>

namespace {
PMutex &Lock() {
  static PMutex mutex;
  return mutex;
}

PConsole::Overlay *overlay = nullptr;
} // namespace

void PConsole::SetOverlay(Overlay *newOverlay) {
  PWaitAndSignal lock(Lock());
  overlay = newOverlay;
}

PConsole::Hold::Hold() { Lock().Wait(); }

PConsole::Hold::~Hold() { Lock().Signal(); }

bool PConsole::Write(std::ostream &stream, const char *bytes, std::size_t length) {
  PWaitAndSignal lock(Lock());
  if (overlay != nullptr)
    return overlay->Write(bytes, length);
  stream.write(bytes, static_cast<std::streamsize>(length));
  stream.flush();
  return stream.good();
}

bool PConsole::ShowReceived(std::ostream &stream, const char *bytes, std::size_t length,
                            unsigned flags) {
  PWaitAndSignal lock(Lock());
  if (overlay != nullptr)
    return overlay->ShowReceived(bytes, length, flags);
  if (flags & OpensPiece)
    stream.put('\r');
  stream.write(bytes, static_cast<std::streamsize>(length));
  if (flags & ClosesPiece)
    stream.write("$ ", 2);
  stream.flush();
  return stream.good();
}
