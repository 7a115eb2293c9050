#include "PipeRxThread.h"

#include "PConsole.h"

#include <cstring>
#include <iostream>

namespace {
constexpr std::size_t keptPieceCapacity = 64 * 1024;
} // namespace

PipeRxThread::PipeRxThread(NamedPipe &channel)
    : PThread(1000, NoAutoDeleteThread, NormalPriority, "PipeRxThread"), pipe(&channel) {
  Resume();
}

PipeRxThread::~PipeRxThread() {
  pipe->Close();
  WaitForTermination();
}

void PipeRxThread::Main() {
  if (!pipe->IsOpen())
    return;
  char buffer[BufferSize];
  do {
    if (!pipe->Read(buffer, BufferSize))
      return;
    Show(buffer, pipe->GetLastReadCount(), !pipe->HasMoreData());
  } while (pipe->IsOpen());
}

void PipeRxThread::Show(const char *bytes, DWORD length, bool last) {
  // Each piece goes out in one write, so that the shell's own output can
  // only come between pieces, never inside one; a piece that goes on in the
  // next read is held back until its end.
  DWORD offset = 0;
  while (offset < length) {
    const char *nul = static_cast<const char *>(std::memchr(bytes + offset, '\0', length - offset));
    DWORD end = nul != nullptr ? static_cast<DWORD>(nul - bytes) : length;
    if (!pieceOpen)
      piece.assign(1, '\r');
    piece.append(bytes + offset, end - offset);
    pieceOpen = nul == nullptr && !last;
    if (!pieceOpen) {
      piece += "$ ";
      PConsole::Write(std::cout, piece.data(), piece.size());
      // Keep a buffer for ordinary pieces, not for the largest ever seen.
      if (piece.capacity() > keptPieceCapacity)
        std::string().swap(piece);
    }
    offset = end + 1;
  }
}
