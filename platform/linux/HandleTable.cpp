#include "HandleTable.h"

HandleTable &HandleTable::Instance() {
  static HandleTable table;
  return table;
}

HANDLE HandleTable::Insert(std::shared_ptr<KernelObject> object) {
  std::lock_guard<std::mutex> lock(mutex);
  std::uintptr_t value = nextValue;
  nextValue += 4;
  objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> HandleTable::Find(HANDLE handle) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == objects.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> HandleTable::Remove(HANDLE handle) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == objects.end())
    return nullptr;
  std::shared_ptr<KernelObject> object = std::move(it->second);
  objects.erase(it);
  return object;
}
