#include "PipeRxThread.h"

#include <algorithm>
#include <cstring>
#include <new>

PipeRxThread::PipeRxThread(NamedPipe &channel, ReceivedOutput &output)
    : PThread(StackSize, NoAutoDeleteThread, NormalPriority, "PipeRxThread"), pipe(&channel),
      output(output) {
  Resume();
}

PipeRxThread::~PipeRxThread() {
  pipe->Close();
  WaitForTermination();
}

void PipeRxThread::WaitForQuiet(Clock::duration quiet, Clock::time_point deadline) {
  const Clock::time_point since = Clock::now();
  std::unique_lock<std::mutex> lock(activityMutex);
  for (;;) {
    // While a read is being shown the server is not quiet: more may wait
    // behind it.
    const Clock::time_point until =
        showing ? deadline : std::min(std::max(since, lastHeard) + quiet, deadline);
    if (ended || Clock::now() >= until)
      return;
    activityChanged.wait_until(lock, until);
  }
}

void PipeRxThread::Main() {
  Receive();
  output.Ended();
  std::lock_guard<std::mutex> lock(activityMutex);
  ended = true;
  activityChanged.notify_all();
}

void PipeRxThread::Receive() {
  if (!pipe->IsOpen())
    return;
  streamFlag = pipe->IsMessageMode() ? 0u : unsigned(ReceivedOutput::FromStream);
  const DWORD capacity = pipe->IsMessageMode() ? BufferSize : StreamReadSize;
  char buffer[BufferSize];
  do {
    if (!pipe->Read(buffer, capacity))
      return;
    Heard(true);
    Show(buffer, pipe->GetLastReadCount(), !pipe->HasMoreData());
    Heard(false);
  } while (pipe->IsOpen());
}

void PipeRxThread::Heard(bool busy) {
  std::lock_guard<std::mutex> lock(activityMutex);
  showing = busy;
  lastHeard = Clock::now();
  activityChanged.notify_all();
}

void PipeRxThread::Show(const char *bytes, DWORD length, bool last) {
  // Each piece goes to the output in one call, so that the shell's own
  // output can only come between pieces, never inside one; a piece that goes on in the
  // next read is held back until its end, up to HeldPieceSize. The pieces
  // of one read share a flush: a server that sends NULs alone must not cost
  // a system call each.
  DWORD offset = 0;
  const char *nul = static_cast<const char *>(std::memchr(bytes, '\0', length));
  while (offset < length) {
    const DWORD end = nul != nullptr ? static_cast<DWORD>(nul - bytes) : length;
    const bool closes = nul != nullptr || last;
    const DWORD next = end + 1;
    nul = next < length ? static_cast<const char *>(std::memchr(bytes + next, '\0', length - next))
                        : nullptr;
    const unsigned more =
        next < length && (nul != nullptr || last) ? unsigned(ReceivedOutput::MoreFollows) : 0u;
    if (!pieceOpen && closes) {
      output.Show(bytes + offset, end - offset,
                  ReceivedOutput::OpensPiece | ReceivedOutput::ClosesPiece | streamFlag | more);
    } else {
      Hold(bytes + offset, end - offset);
      if (closes)
        ShowHeld(ReceivedOutput::ClosesPiece | more, held != nullptr ? held.get() : "", heldLength);
    }
    pieceOpen = !closes;
    if (closes)
      pieceShown = false;
    offset = next;
  }
}

void PipeRxThread::Hold(const char *bytes, std::size_t length) {
  if (held == nullptr && length > 0)
    held.reset(new (std::nothrow) char[HeldPieceSize]);
  if (held == nullptr) {
    // Without the room to hold it the piece still goes out whole and in
    // order, only in the parts the reads cut.
    if (length > 0)
      ShowHeld(0, bytes, length);
    return;
  }
  while (length > 0) {
    if (heldLength == HeldPieceSize)
      ShowHeld(0, held.get(), heldLength);
    const std::size_t room = std::min(length, HeldPieceSize - heldLength);
    std::memcpy(held.get() + heldLength, bytes, room);
    heldLength += room;
    bytes += room;
    length -= room;
  }
}

void PipeRxThread::ShowHeld(unsigned flags, const char *bytes, std::size_t length) {
  if (!pieceShown)
    flags |= ReceivedOutput::OpensPiece;
  output.Show(bytes, length, flags | streamFlag);
  heldLength = 0;
  pieceShown = true;
}
