#ifndef SKELLAN_PLATFORM_LINUX_KERNELOBJECT_H
#define SKELLAN_PLATFORM_LINUX_KERNELOBJECT_H

// Anything a HANDLE can stand for. An object lives while its handle is open
// or while a call is still using it, whichever is longer.
class KernelObject {
public:
  virtual ~KernelObject() = default;
  // The handle has been closed: end whatever waits on the object.
  virtual void HandleClosed() {}
};

#endif
