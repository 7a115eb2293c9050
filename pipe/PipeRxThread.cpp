#include "PipeRxThread.h"

#include <cstring>
#include <iostream>

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
  // only come between pieces, never inside one.
  DWORD offset = 0;
  while (offset < length) {
    const char *nul = static_cast<const char *>(std::memchr(bytes + offset, '\0', length - offset));
    DWORD end = nul != nullptr ? static_cast<DWORD>(nul - bytes) : length;
    output.clear();
    if (!pieceOpen)
      output += '\r';
    output.append(bytes + offset, end - offset);
    pieceOpen = nul == nullptr;
    if (!pieceOpen || last) {
      output += "$ ";
      pieceOpen = false;
    }
    std::cout.write(output.data(), static_cast<std::streamsize>(output.size()));
    std::cout.flush();
    offset = end + 1;
  }
}
