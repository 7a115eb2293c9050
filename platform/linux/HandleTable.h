#ifndef SKELLAN_PLATFORM_LINUX_HANDLETABLE_H
#define SKELLAN_PLATFORM_LINUX_HANDLETABLE_H

#include "KernelObject.h"
#include "Win32Api.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// The process's handles. A handle value is never given out twice, so a
// stale handle finds nothing instead of somebody else's object, and a call
// keeps the object it found alive until it returns, so closing a handle
// never releases a descriptor that another thread is still waiting on.
class HandleTable {
public:
  static HandleTable &Instance();

  HANDLE Insert(std::shared_ptr<KernelObject> object);
  std::shared_ptr<KernelObject> Find(HANDLE handle);
  // The object if it is a T (one with T's kindOfClass), otherwise null.
  template <class T> std::shared_ptr<T> FindAs(HANDLE handle) {
    std::shared_ptr<KernelObject> object = Find(handle);
    if (object == nullptr || object->kind != T::kindOfClass)
      return nullptr;
    return std::static_pointer_cast<T>(std::move(object));
  }
  // Takes the handle out of the table; the object goes when its last user does.
  std::shared_ptr<KernelObject> Remove(HANDLE handle);

private:
  struct Entry {
    std::uintptr_t value;
    std::shared_ptr<KernelObject> object;
  };

  std::mutex mutex;
  std::uintptr_t nextValue = 0x100;
  // A client holds a handful of handles (a pipe and its two events): a look
  // along them costs less than hashing the value.
  std::vector<Entry> entries;
};

#endif
