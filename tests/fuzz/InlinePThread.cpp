// PThread for the fuzz targets, linked in place of the framework's: no
// thread of the operating system. The sanitizers keep a record of every
// thread ever made, which over millions of inputs would grow without end
// and slow each run; here Main runs once, on the thread that waits for it.
#include "PThread.h"

#include <algorithm>

PThread::PThread(PINDEX requestedStack, AutoDeleteFlag deletion, Priority priorityLevel,
                 const PString &threadName)
    : stackSize(std::max(requestedStack, MinimumStackSize)),
      autoDelete(deletion == AutoDeleteThread), priority(priorityLevel), name(threadName),
      thread() {
  created = true;
}

PThread::~PThread() = default;

void PThread::Resume() { resumed = true; }

void PThread::WaitForTermination() {
  if (!resumed || joined)
    return;
  joined = true;
  Main();
}
