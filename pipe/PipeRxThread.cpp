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
  const unsigned whole = PConsole::OpensPiece | PConsole::ClosesPiece |
                         (pipe->IsMessageMode() ? 0u : unsigned(PConsole::FromStream));
  DWORD offset = 0;
  while (offset < length) {
    const char *nul = static_cast<const char *>(std::memchr(bytes + offset, '\0', length - offset));
    DWORD end = nul != nullptr ? static_cast<DWORD>(nul - bytes) : length;
    const bool closes = nul != nullptr || last;
    if (!pieceOpen && closes) {
      PConsole::ShowReceived(std::cout, bytes + offset, end - offset, whole);
    } else {
      piece.append(bytes + offset, end - offset);
      if (closes) {
        PConsole::ShowReceived(std::cout, piece.data(), piece.size(), whole);
        // Keep a buffer for ordinary pieces, not for the largest ever seen.
        if (piece.capacity() > keptPieceCapacity)
          std::string().swap(piece);
        piece.clear();
      }
    }
    pieceOpen = !closes;
    offset = end + 1;
  }
}
