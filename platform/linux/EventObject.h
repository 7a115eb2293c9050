#ifndef SKELLAN_PLATFORM_LINUX_EVENTOBJECT_H
#define SKELLAN_PLATFORM_LINUX_EVENTOBJECT_H

#include "KernelObject.h"

#include <atomic>

// A manual-reset event. Overlapped operations reset it when they go pending
// and set it when they end, as Win32 does; nothing in this layer waits on it.
class EventObject : public KernelObject {
public:
  explicit EventObject(bool initialState) : signalled(initialState) {}
  void Set() { signalled = true; }
  void Reset() { signalled = false; }
  bool IsSet() const { return signalled; }

private:
  std::atomic<bool> signalled;
};

#endif
