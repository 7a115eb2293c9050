#ifndef SKELLAN_PLATFORM_LINUX_KERNELOBJECT_H
#define SKELLAN_PLATFORM_LINUX_KERNELOBJECT_H

// Anything a HANDLE can stand for. An object lives while its handle is open
// or while a call is still using it, whichever is longer.
class KernelObject {
public:
  // What an object is, so that a call finds out with one comparison whether
  // the handle it was given is of the right kind.
  enum class Kind { Event, Pipe };

  explicit KernelObject(Kind objectKind) : kind(objectKind) {}
  virtual ~KernelObject() = default;
  // The handle has been closed: end whatever waits on the object.
  virtual void HandleClosed() {}

  const Kind kind;
};

#endif
