#include "PipeNames.h"

#include <windows.h>

#include <algorithm>

std::vector<std::string> PipeNames::List() {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA("\\\\.\\pipe\\*", &entry);
  if (search == INVALID_HANDLE_VALUE)
    return names;
  do
    names.emplace_back(entry.cFileName);
  while (FindNextFileA(search, &entry));
  FindClose(search);
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}
