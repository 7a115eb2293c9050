#ifndef SKELLAN_FRAMEWORK_PMUTEX_H
#define SKELLAN_FRAMEWORK_PMUTEX_H

#include <mutex>

// A mutual exclusion lock: Wait takes it, Signal releases it. The thread
// that holds it may take it again, as long as it releases it as often.
class PMutex {
public:
  PMutex() = default;
  PMutex(const PMutex &) = delete;
  PMutex &operator=(const PMutex &) = delete;

  void Wait() { mutex.lock(); }
  void Signal() { mutex.unlock(); }

private:
  std::recursive_mutex mutex;
};

#endif
