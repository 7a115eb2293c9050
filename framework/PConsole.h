#ifndef SKELLAN_FRAMEWORK_PCONSOLE_H
#define SKELLAN_FRAMEWORK_PCONSOLE_H

#include <cstddef>
#include <iosfwd>

// Output that threads share. A stream object is no thread-safe object even
// for unformatted output: libstdc++ writes its state on every call once an
// output has failed. So every write takes one process-wide turn.
class PConsole {
public:
  // Writes the bytes in one call and flushes them, in the caller's turn.
  // Returns whether the stream took them: false once its reader is gone.
  static bool Write(std::ostream &stream, const char *bytes, std::size_t length);

  // Writes a few bytes (a prompt) as Write does when the console is free.
  // While another thread writes, leaves them for that thread to write as
  // soon as it is done and returns at once, so that the caller can go on
  // meanwhile; only one such write may be left at a time. Returns false when
  // the stream refused these bytes or the ones left before them.
  static bool Post(std::ostream &stream, const char *bytes, std::size_t length);

  // How a run of received bytes stands in what the other end sent.
  enum ReceivedFlags : unsigned {
    OpensPiece = 1,  // the first bytes of a piece: a carriage return goes before them
    ClosesPiece = 2, // the last bytes of a piece: a fresh "$ " prompt goes behind them
    FromStream = 4,  // a byte-type pipe's text, which reads cut anywhere
    MoreFollows = 8, // another piece of the same read comes at once: no flush yet
  };
  // Shows received bytes, framed as the flags say, in one write; a prompt
  // left meanwhile goes out in the same flush.
  static bool ShowReceived(std::ostream &stream, const char *bytes, std::size_t length,
                           unsigned flags);

  // What takes the screen over while it runs: the line editor. While one
  // is set, Write and ShowReceived hand their bytes to it instead of the
  // stream, still in the writer's turn, so that it can take its own line off the
  // screen and put it back around them.
  class Overlay {
  public:
    virtual bool Write(const char *bytes, std::size_t length) = 0;
    virtual bool ShowReceived(const char *bytes, std::size_t length, unsigned flags) = 0;

  protected:
    ~Overlay() = default;
  };
  // Sets the overlay, or with nullptr goes back to the streams.
  static void SetOverlay(Overlay *overlay);

  // Keeps every other thread's writes out for its lifetime; the holder's own
  // writes still go through.
  class Hold {
  public:
    Hold();
    ~Hold();
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;
  };
};

#endif
