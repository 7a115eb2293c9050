#include "PConsole.h"

#include <condition_variable>
#include <ostream>
#include <thread>

namespace {
struct Turn {
  std::mutex mutex;
  std::condition_variable ended;
  std::thread::id owner;
  unsigned depth = 0;
};

Turn &TheTurn() {
  // Never destroyed: the process object, which ends the threads that
  // write, is torn down after the statics made later than it, this one
  // among them.
  static Turn *turn = new Turn;
  return *turn;
}
} // namespace

PConsole::Hold::Hold() : owns(true) {
  Turn &turn = TheTurn();
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> lock(turn.mutex);
  turn.ended.wait(lock, [&] { return turn.depth == 0 || turn.owner == me; });
  turn.owner = me;
  ++turn.depth;
}

PConsole::Hold::Hold(std::try_to_lock_t) : owns(false) {
  Turn &turn = TheTurn();
  const std::thread::id me = std::this_thread::get_id();
  std::lock_guard<std::mutex> lock(turn.mutex);
  if (turn.depth == 0 || turn.owner == me) {
    turn.owner = me;
    ++turn.depth;
    owns = true;
  }
}

PConsole::Hold::~Hold() {
  if (!owns)
    return;
  Turn &turn = TheTurn();
  std::unique_lock<std::mutex> lock(turn.mutex);
  if (--turn.depth == 0) {
    lock.unlock();
    turn.ended.notify_one();
  }
}

bool PConsole::Write(std::ostream &stream, const char *bytes, std::size_t length) {
  Hold turn;
  stream.write(bytes, static_cast<std::streamsize>(length));
  stream.flush();
  return stream.good();
}
