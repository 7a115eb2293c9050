#ifndef SKELLAN_PIPE_PIPERXTHREAD_H
#define SKELLAN_PIPE_PIPERXTHREAD_H

#include "NamedPipe.h"
#include "PThread.h"
#include "ReceivedOutput.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

// Reads every message that arrives on the pipe and hands the pieces of
// each read to an output (ReceivedOutput): the runs between NUL bytes,
// each with where it stands. It knows nothing of streams, prompts or
// terminals; the application's output frames and draws the pieces.
class PipeRxThread : public PThread {
public:
  // Starts receiving at once, but shows nothing before StartShowing;
  // `output` must outlive the thread.
  PipeRxThread(NamedPipe &pipe, ReceivedOutput &output);
  // Closes the pipe, which ends a pending read, then waits for the thread;
  // what it held back unshown is dropped.
  ~PipeRxThread() override;

  // From here on what arrives is shown; what came before waits until now,
  // so that the shell's reply to connect comes before a server's greeting.
  void StartShowing();

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
  enum class Gate { Closed, Open, Shut };

  void Receive();
  // Waits for StartShowing; false when the receiver is being deleted.
  bool PassGate();
  // Notes that a read came in and is being shown (`showing`), or that it
  // is shown, for WaitForQuiet.
  void NoteRead(bool showing);
  // Wakes a WaitForQuiet, if one waits, after its facts changed.
  void WakeWaiter();

  // Splits `length` bytes of a message into pieces; `last` says whether
  // they end it.
  void Split(const char *bytes, DWORD length, bool last);
  // Adds bytes to the held piece, showing it in parts when it fills up.
  void Hold(const char *bytes, std::size_t length);
  void Add(const char *bytes, std::size_t length, bool ends);
  // Hands the pieces gathered so far to the output.
  void ShowPieces();

  NamedPipe *pipe;
  ReceivedOutput &output;
  bool stream = false;
  std::vector<ReceivedOutput::Piece> pieces;
  // Part of the piece being put together; held while its end is still to
  // come. Made for the first piece that spans reads, kept until the end.
  std::unique_ptr<char[]> held;
  std::size_t heldLength = 0;
  // Whether a piece gathered points into `held`, which must not change
  // before it is shown.
  bool piecesHoldHeld = false;
  // Whether the piece is still to come (its bytes are held or already out),
  // and whether its first part is out.
  bool pieceOpen = false;
  bool pieceShown = false;

  // The receiver notes its reads without a lock; only a waiter, for
  // WaitForQuiet or for the gate, takes one.
  std::mutex waitMutex;
  std::condition_variable changed;
  std::atomic<Gate> gate{Gate::Closed};
  std::atomic<int> waiters{0};
  std::atomic<Clock::rep> lastHeard{0};
  std::atomic<bool> showing{false};
  std::atomic<bool> ended{false};
};

#endif
