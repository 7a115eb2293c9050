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
  {
    // Never opened: what the receiver holds back is not to be shown.
    std::lock_guard<std::mutex> lock(waitMutex);
    if (gate == Gate::Closed)
      gate = Gate::Shut;
  }
  changed.notify_all();
  WaitForTermination();
}

void PipeRxThread::StartShowing() {
  {
    std::lock_guard<std::mutex> lock(waitMutex);
    gate = Gate::Open;
  }
  changed.notify_all();
}

bool PipeRxThread::PassGate() {
  // Closed only until the shell has replied to connect: once open, no lock.
  if (gate == Gate::Open)
    return true;
  std::unique_lock<std::mutex> lock(waitMutex);
  changed.wait(lock, [this] { return gate != Gate::Closed; });
  return gate == Gate::Open;
}

void PipeRxThread::WaitForQuiet(Clock::duration quiet, Clock::time_point deadline) {
  const Clock::time_point since = Clock::now();
  std::unique_lock<std::mutex> lock(waitMutex);
  ++waiters;
  for (;;) {
    // While a read is being shown the server is not quiet: more may wait
    // behind it.
    const Clock::time_point heard{Clock::duration(lastHeard.load())};
    const Clock::time_point until =
        showing ? deadline : std::min(std::max(since, heard) + quiet, deadline);
    if (ended || Clock::now() >= until)
      break;
    changed.wait_until(lock, until);
  }
  --waiters;
}

void PipeRxThread::WakeWaiter() {
  // A waiter counts itself in before it looks, under the lock: taking the
  // lock here means it either saw the change or waits for this call.
  if (waiters == 0)
    return;
  { std::lock_guard<std::mutex> lock(waitMutex); }
  changed.notify_all();
}

void PipeRxThread::Main() {
  Receive();
  if (PassGate())
    output.Ended();
  ended = true;
  WakeWaiter();
}

void PipeRxThread::Receive() {
  if (!pipe->IsOpen())
    return;
  stream = !pipe->IsMessageMode();
  const DWORD capacity = stream ? StreamReadSize : BufferSize;
  char buffer[BufferSize];
  do {
    if (!pipe->Read(buffer, capacity))
      return;
    NoteRead(true);
    if (!PassGate())
      return;
    Split(buffer, pipe->GetLastReadCount(), !pipe->HasMoreData());
    ShowPieces();
    NoteRead(false);
  } while (pipe->IsOpen());
}

void PipeRxThread::NoteRead(bool busy) {
  lastHeard = Clock::now().time_since_epoch().count();
  showing = busy;
  WakeWaiter();
}

void PipeRxThread::Split(const char *bytes, DWORD length, bool last) {
  // Each piece goes to the output whole, so that the shell's own output can
  // only come between pieces, never inside one; a piece that goes on in the
  // next read is held back until its end, up to HeldPieceSize.
  DWORD offset = 0;
  while (offset < length) {
    const char *nul = static_cast<const char *>(std::memchr(bytes + offset, '\0', length - offset));
    const DWORD end = nul != nullptr ? static_cast<DWORD>(nul - bytes) : length;
    const bool closes = nul != nullptr || last;
    if (!pieceOpen && closes) {
      Add(bytes + offset, end - offset, true);
    } else {
      Hold(bytes + offset, end - offset);
      if (closes) {
        Add(held != nullptr ? held.get() : "", heldLength, true);
        piecesHoldHeld = true;
        heldLength = 0;
      }
    }
    pieceOpen = !closes;
    offset = end + 1;
  }
}

void PipeRxThread::Hold(const char *bytes, std::size_t length) {
  // What was gathered may point into the held bytes, which change now.
  if (piecesHoldHeld)
    ShowPieces();
  if (held == nullptr && length > 0)
    held.reset(new (std::nothrow) char[HeldPieceSize]);
  if (held == nullptr) {
    // Without the room to hold it the piece still goes out whole and in
    // order, only in the parts the reads cut.
    if (length > 0) {
      Add(bytes, length, false);
      ShowPieces();
    }
    return;
  }
  while (length > 0) {
    if (heldLength == HeldPieceSize) {
      Add(held.get(), heldLength, false);
      ShowPieces();
      heldLength = 0;
    }
    const std::size_t room = std::min(length, HeldPieceSize - heldLength);
    std::memcpy(held.get() + heldLength, bytes, room);
    heldLength += room;
    bytes += room;
    length -= room;
  }
}

void PipeRxThread::Add(const char *bytes, std::size_t length, bool ends) {
  pieces.push_back({bytes, length, !pieceShown, ends, stream});
  pieceShown = !ends;
}

void PipeRxThread::ShowPieces() {
  if (!pieces.empty())
    output.Show(pieces.data(), pieces.size());
  pieces.clear();
  piecesHoldHeld = false;
}
