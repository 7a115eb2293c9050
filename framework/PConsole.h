#ifndef SKELLAN_FRAMEWORK_PCONSOLE_H
#define SKELLAN_FRAMEWORK_PCONSOLE_H

#include <cstddef>
#include <iosfwd>
#include <mutex>

// Output that threads share. A stream object is no thread-safe object even
// for unformatted output: libstdc++ writes its state on every call once an
// output has failed. So every writer takes one process-wide turn, which
// the thread that holds it may take again.
class PConsole {
public:
  // Writes the bytes in one call and flushes them, in the caller's turn.
  // Returns whether the stream took them: false once its reader is gone.
  static bool Write(std::ostream &stream, const char *bytes, std::size_t length);

  // The turn, for as long as the object lives.
  class Hold {
  public:
    // Waits until the turn is free or already this thread's.
    Hold();
    // Takes the turn only if it can at once; Owns says whether it did.
    explicit Hold(std::try_to_lock_t);
    ~Hold();
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;

    bool Owns() const { return owns; }

  private:
    bool owns;
  };
};

#endif
