#include "PConsole.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <ostream>
#include <thread>

namespace {
// Whose turn it is to write. The writer writes outside this small lock, so
// that others can still leave bytes for it while its write takes long.
struct Turn {
  std::mutex mutex;
  std::condition_variable ended;
  std::thread::id owner;
  unsigned depth = 0;
  // The bytes a thread left for the writer, and where they go.
  char left[16];
  std::size_t leftLength = 0;
  std::ostream *leftStream = nullptr;
  // The stream that refused left bytes, until their poster hears of it.
  std::ostream *refused = nullptr;
};

Turn &TheTurn() {
  // Never destroyed: the process object, which ends the receiver, is torn
  // down after the statics made later than it, this one among them.
  static Turn *turn = new Turn;
  return *turn;
}

// Read and changed only by the thread whose turn it is.
PConsole::Overlay *overlay = nullptr;

void Take(std::unique_lock<std::mutex> &lock, Turn &turn) {
  const std::thread::id me = std::this_thread::get_id();
  turn.ended.wait(lock, [&] { return turn.depth == 0 || turn.owner == me; });
  turn.owner = me;
  ++turn.depth;
}

// Writes bytes in the holder's turn, leaving them in the stream's buffer.
bool Put(std::ostream &stream, const char *bytes, std::size_t length) {
  if (overlay != nullptr)
    return overlay->Write(bytes, length);
  stream.write(bytes, static_cast<std::streamsize>(length));
  return stream.good();
}

bool Flush(std::ostream &stream) {
  if (overlay == nullptr)
    stream.flush();
  return stream.good();
}

// Ends a turn taken with Take. The last end first writes what others left,
// in the same flush as what the holder left unflushed in `written`, so that
// a prompt left behind a message goes out with it. Returns whether
// `written` took everything.
bool Give(std::unique_lock<std::mutex> &lock, Turn &turn, std::ostream *written = nullptr) {
  bool good = true;
  for (;;) {
    bool leftInWritten = false;
    while (turn.depth == 1 && turn.leftLength > 0) {
      char bytes[sizeof turn.left];
      const std::size_t length = turn.leftLength;
      std::memcpy(bytes, turn.left, length);
      std::ostream *stream = turn.leftStream;
      turn.leftLength = 0;
      lock.unlock();
      bool taken = Put(*stream, bytes, length);
      if (stream == written)
        leftInWritten = true;
      else
        taken = Flush(*stream) && taken;
      lock.lock();
      if (!taken)
        turn.refused = stream;
    }
    if (written == nullptr)
      break;
    // Bytes left while this flush goes on are written in the next round,
    // not lost behind it.
    lock.unlock();
    good = Flush(*written);
    lock.lock();
    if (!good && leftInWritten)
      turn.refused = written;
    written = nullptr;
  }
  if (--turn.depth == 0) {
    lock.unlock();
    turn.ended.notify_one();
  }
  return good;
}
} // namespace

void PConsole::SetOverlay(Overlay *newOverlay) {
  Turn &turn = TheTurn();
  std::unique_lock<std::mutex> lock(turn.mutex);
  Take(lock, turn);
  overlay = newOverlay;
  Give(lock, turn);
}

PConsole::Hold::Hold() {
  Turn &turn = TheTurn();
  std::unique_lock<std::mutex> lock(turn.mutex);
  Take(lock, turn);
}

PConsole::Hold::~Hold() {
  Turn &turn = TheTurn();
  std::unique_lock<std::mutex> lock(turn.mutex);
  Give(lock, turn);
}

bool PConsole::Write(std::ostream &stream, const char *bytes, std::size_t length) {
  Turn &turn = TheTurn();
  std::unique_lock<std::mutex> lock(turn.mutex);
  Take(lock, turn);
  lock.unlock();
  const bool written = Put(stream, bytes, length) && Flush(stream);
  lock.lock();
  Give(lock, turn);
  return written;
}

bool PConsole::Post(std::ostream &stream, const char *bytes, std::size_t length) {
  {
    Turn &turn = TheTurn();
    std::lock_guard<std::mutex> lock(turn.mutex);
    if (turn.refused == &stream) {
      turn.refused = nullptr;
      return false;
    }
    const bool othersTurn = turn.depth > 0 && turn.owner != std::this_thread::get_id();
    if (othersTurn && turn.leftLength == 0 && length <= sizeof turn.left) {
      std::memcpy(turn.left, bytes, length);
      turn.leftLength = length;
      turn.leftStream = &stream;
      return true;
    }
  }
  return Write(stream, bytes, length);
}

bool PConsole::ShowReceived(std::ostream &stream, const char *bytes, std::size_t length,
                            unsigned flags) {
  Turn &turn = TheTurn();
  std::unique_lock<std::mutex> lock(turn.mutex);
  Take(lock, turn);
  lock.unlock();
  if (overlay != nullptr) {
    const bool shown = overlay->ShowReceived(bytes, length, flags);
    lock.lock();
    Give(lock, turn);
    return shown;
  }
  if (flags & OpensPiece)
    stream.put('\r');
  stream.write(bytes, static_cast<std::streamsize>(length));
  if (flags & ClosesPiece)
    stream.write("$ ", 2);
  lock.lock();
  if (flags & MoreFollows) {
    Give(lock, turn);
    return stream.good();
  }
  return Give(lock, turn, &stream);
}
