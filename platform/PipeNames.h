#ifndef SKELLAN_PLATFORM_PIPENAMES_H
#define SKELLAN_PLATFORM_PIPENAMES_H

#include <string>
#include <vector>

// The names of the pipes that exist right now, as `connect` takes them:
// on Windows the entries of \\.\pipe\, on Unix the sockets CoreFxPipe_NAME
// in PipeName::Directory(). Sorted, without duplicates.
class PipeNames {
public:
  static std::vector<std::string> List();
};

#endif
