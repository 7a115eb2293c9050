#ifndef SKELLAN_PLATFORM_LINUX_EVENTOBJECT_H
#define SKELLAN_PLATFORM_LINUX_EVENTOBJECT_H

#include "KernelObject.h"

// An unnamed manual-reset event, as the pipe channel makes one for each of
// its overlapped records. This layer offers no wait on an event and ends an
// overlapped operation by waiting on its socket: so nothing could see the
// event's state, and it keeps none.
class EventObject : public KernelObject {
public:
  static constexpr Kind kindOfClass = Kind::Event;

  EventObject() : KernelObject(kindOfClass) {}
};

#endif
