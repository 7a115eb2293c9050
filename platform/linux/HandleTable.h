#ifndef SKELLAN_PLATFORM_LINUX_HANDLETABLE_H
#define SKELLAN_PLATFORM_LINUX_HANDLETABLE_H

#include "KernelObject.h"
#include "Win32Api.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

// The process's handles. A handle value is never given out twice, so a
// stale handle finds nothing instead of somebody else's object, and a call
// keeps the object it found alive until it returns, so closing a handle
// never releases a descriptor that another thread is still waiting on.
class HandleTable {
public:
  static HandleTable &Instance();

  HANDLE Insert(std::shared_ptr<KernelObject> object);
  std::shared_ptr<KernelObject> Find(HANDLE handle);
  template <class T> std::shared_ptr<T> FindAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(Find(handle));
  }
  // Takes the handle out of the table; the object goes when its last user does.
  std::shared_ptr<KernelObject> Remove(HANDLE handle);

private:
  std::mutex mutex;
  std::uintptr_t nextValue = 0x100;
  std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
};

#endif
