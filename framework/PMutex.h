#ifndef SKELLAN_FRAMEWORK_PMUTEX_H
#define SKELLAN_FRAMEWORK_PMUTEX_H

#include <mutex>

// A mutual exclusion lock: Wait takes it, Signal releases it.
class PMutex {
public:
  PMutex() = default;
  PMutex(const PMutex &) = delete;
  PMutex &operator=(const PMutex &) = delete;

  void Wait() { mutex.lock(); }
  void Signal() { mutex.unlock(); }

private:
  std::mutex mutex;
};

#endif
