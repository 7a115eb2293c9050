#ifndef SKELLAN_PIPE_PIPERXTHREAD_H
#define SKELLAN_PIPE_PIPERXTHREAD_H

#include "NamedPipe.h"
#include "PThread.h"
#include "ReceivedOutput.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

// Reads every message that arrives on the pipe and hands it to an output
// in pieces: the runs between NUL bytes, each marked with where it stands
// (ReceivedOutput's flags). It knows nothing of streams, prompts or
// terminals; the application's output frames and draws the pieces.
class PipeRxThread : public PThread {
public:
  // Starts receiving at once; `output` must outlive the thread.
  PipeRxThread(NamedPipe &pipe, ReceivedOutput &output);
  // Closes the pipe, which ends a pending read, then waits for the thread.
  ~PipeRxThread() override;

  using Clock = std::chrono::steady_clock;
  // Waits until the server has sent nothing for `quiet` (counted from the
  // call at the earliest), or the receiver has ended (the server closed
  // its end), or `deadline` has come. What arrives meanwhile is shown.
  void WaitForQuiet(Clock::duration quiet, Clock::time_point deadline);

  // Receive buffer: in message read mode one message of up to this many
  // bytes per read, so that ordinary messages, long lines included, take
  // one call each.
  static constexpr DWORD BufferSize = 64 * 1024;
  // In byte read mode each read is shown as a piece: reads of at most this
  // many bytes, as the output has always had them.
  static constexpr DWORD StreamReadSize = 1024;
  // The thread's stack: room for that buffer and for what showing it calls.
  static constexpr PINDEX StackSize = BufferSize + 64 * 1024;
  // The most of one piece held back until its end. A longer piece goes out
  // in parts of this size, in order, and only the shell's output can come
  // between them.
  static constexpr std::size_t HeldPieceSize = 64 * 1024;

protected:
  void Main() override;

private:
  // Notes that a read came in (`busy`) or that what it brought is shown.
  void Heard(bool busy);
  void Receive();

  // Hands on `length` bytes of a message; `last` says whether they end it.
  void Show(const char *bytes, DWORD length, bool last);
  // Adds bytes to the held piece, showing it in parts when it fills up.
  void Hold(const char *bytes, std::size_t length);
  // Shows a part of the piece: the held bytes, or ones that could not be held.
  void ShowHeld(unsigned flags, const char *bytes, std::size_t length);

  NamedPipe *pipe;
  ReceivedOutput &output;
  unsigned streamFlag = 0;
  // Part of the piece being put together; held while its end is still to
  // come. Made for the first piece that spans reads, kept until the end.
  std::unique_ptr<char[]> held;
  std::size_t heldLength = 0;
  // Whether the piece is still to come (its bytes are held or already out),
  // and whether its first part is out.
  bool pieceOpen = false;
  bool pieceShown = false;

  // When the server was last heard from, for WaitForQuiet.
  std::mutex activityMutex;
  std::condition_variable activityChanged;
  Clock::time_point lastHeard;
  bool showing = false;
  bool ended = false;
};

#endif
