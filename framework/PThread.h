#ifndef SKELLAN_FRAMEWORK_PTHREAD_H
#define SKELLAN_FRAMEWORK_PTHREAD_H

#include "PString.h"

#include <condition_variable>
#include <mutex>
#include <pthread.h>

// A thread of execution that runs the virtual Main. It is created
// suspended: Main starts only after Resume.
class PThread {
public:
  enum AutoDeleteFlag { AutoDeleteThread, NoAutoDeleteThread };
  enum Priority { LowestPriority, LowPriority, NormalPriority, HighPriority, HighestPriority };

  // Stacks smaller than this are raised to it: the platform refuses tiny
  // stacks, and the runtime's own frames need room beside the thread's.
  static constexpr PINDEX MinimumStackSize = 128 * 1024;

  PThread(PINDEX stackSize, AutoDeleteFlag deletion = AutoDeleteThread,
          Priority priority = NormalPriority, const PString &name = PString());
  virtual ~PThread();
  PThread(const PThread &) = delete;
  PThread &operator=(const PThread &) = delete;

  // False when the operating system could not create the thread; Main then
  // never runs.
  bool IsCreated() const { return created; }
  void Resume();
  // Blocks until Main has returned; returns at once when it never ran.
  void WaitForTermination();

  PINDEX GetStackSize() const { return stackSize; }
  Priority GetPriority() const { return priority; }
  const PString &GetThreadName() const { return name; }

protected:
  virtual void Main() = 0;

private:
  static void *Start(void *arg);

  const PINDEX stackSize;
  const bool autoDelete;
  const Priority priority;
  const PString name;
  pthread_t thread;
  bool created = false;
  bool joined = false;
  std::mutex stateMutex;
  std::condition_variable stateChanged;
  bool resumed = false;
  bool abandoned = false;
};

#endif
