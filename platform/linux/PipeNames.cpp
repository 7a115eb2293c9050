#include "PipeNames.h"

#include "ListenerProbe.h"
#include "PipeName.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>

std::vector<std::string> PipeNames::List() {
  const std::string directory = PipeName::Directory();
  const std::size_t prefixLength = std::strlen(PipeName::SocketPrefix);
  std::vector<std::string> names;
  DIR *folder = opendir(directory.c_str());
  if (folder == nullptr)
    return names;
  while (const dirent *entry = readdir(folder)) {
    const char *file = entry->d_name;
    if (std::strncmp(file, PipeName::SocketPrefix, prefixLength) != 0 || file[prefixLength] == 0)
      continue;
    // A socket file outlives a server that did not remove it: only one
    // that something listens on is a pipe.
    if (ListenerProbe::Check(directory + file) == ListenerProbe::NoListener)
      continue;
    names.emplace_back(file + prefixLength);
  }
  closedir(folder);
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}
