#ifndef SKELLAN_FRAMEWORK_PWAITANDSIGNAL_H
#define SKELLAN_FRAMEWORK_PWAITANDSIGNAL_H

#include "PMutex.h"

// Holds a PMutex for the lifetime of the object, so every way out of a
// scope releases it.
class PWaitAndSignal {
public:
  explicit PWaitAndSignal(PMutex &mutex) : mutex(mutex) { mutex.Wait(); }
  ~PWaitAndSignal() { mutex.Signal(); }
  PWaitAndSignal(const PWaitAndSignal &) = delete;
  PWaitAndSignal &operator=(const PWaitAndSignal &) = delete;

private:
  PMutex &mutex;
};

#endif
