#include "PThread.h"

#include <algorithm>
#include <climits>

namespace {
// The platform's own floor for a stack. glibc's PTHREAD_STACK_MIN is a signed
// sysconf call, not a constant; winpthreads has none.
PINDEX PlatformMinimumStack() {
#ifdef PTHREAD_STACK_MIN
  return static_cast<PINDEX>(PTHREAD_STACK_MIN);
#else
  return 0;
#endif
}
} // namespace

PThread::PThread(PINDEX requestedStack, AutoDeleteFlag deletion, Priority priorityLevel,
                 const PString &threadName)
    : stackSize(std::max<PINDEX>({requestedStack, MinimumStackSize, PlatformMinimumStack()})),
      autoDelete(deletion == AutoDeleteThread), priority(priorityLevel), name(threadName),
      thread() {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0)
    return;
  if (pthread_attr_setstacksize(&attr, stackSize) == 0)
    created = pthread_create(&thread, &attr, &PThread::Start, this) == 0;
  pthread_attr_destroy(&attr);
#if defined(__linux__)
  // Named here rather than by the thread itself, so that the name is in
  // place once the constructor returns. The kernel keeps 15 characters.
  if (created) {
    std::string shortName(name.GetPointer(), std::min<PINDEX>(name.GetLength(), 15));
    pthread_setname_np(thread, shortName.c_str());
  }
#endif
  if (created && autoDelete)
    pthread_detach(thread);
}

PThread::~PThread() {
  // A thread that was never resumed still waits at its start; let it run
  // through without calling Main, so that it can be joined.
  if (created && !autoDelete && !joined) {
    {
      std::lock_guard<std::mutex> lock(stateMutex);
      if (!resumed)
        abandoned = true;
      resumed = true;
    }
    stateChanged.notify_all();
    pthread_join(thread, nullptr);
  }
}

void *PThread::Start(void *arg) {
  PThread *self = static_cast<PThread *>(arg);
  bool runMain;
  {
    std::unique_lock<std::mutex> lock(self->stateMutex);
    self->stateChanged.wait(lock, [self] { return self->resumed; });
    runMain = !self->abandoned;
  }
  if (runMain)
    self->Main();
  if (self->autoDelete)
    delete self;
  return nullptr;
}

void PThread::Resume() {
  {
    std::lock_guard<std::mutex> lock(stateMutex);
    resumed = true;
  }
  stateChanged.notify_all();
}

void PThread::WaitForTermination() {
  if (!created || autoDelete || joined)
    return;
  pthread_join(thread, nullptr);
  joined = true;
}
