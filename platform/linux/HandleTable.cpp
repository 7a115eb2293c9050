#include "HandleTable.h"

#include <algorithm>

HandleTable &HandleTable::Instance() {
  static HandleTable table;
  return table;
}

HANDLE HandleTable::Insert(std::shared_ptr<KernelObject> object) {
  std::lock_guard<std::mutex> lock(mutex);
  std::uintptr_t value = nextValue;
  nextValue += 4;
  entries.push_back(Entry{value, std::move(object)});
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> HandleTable::Find(HANDLE handle) {
  const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(handle);
  std::lock_guard<std::mutex> lock(mutex);
  for (const Entry &entry : entries) {
    if (entry.value == value)
      return entry.object;
  }
  return nullptr;
}

std::shared_ptr<KernelObject> HandleTable::Remove(HANDLE handle) {
  const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(handle);
  std::lock_guard<std::mutex> lock(mutex);
  auto it = std::find_if(entries.begin(), entries.end(),
                         [value](const Entry &entry) { return entry.value == value; });
  if (it == entries.end())
    return nullptr;
  std::shared_ptr<KernelObject> object = std::move(it->object);
  entries.erase(it);
  return object;
}
