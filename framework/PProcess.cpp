#include "PProcess.h"

#include <string>

namespace {
std::vector<PString> &PendingArguments() {
  static std::vector<PString> arguments;
  return arguments;
}
} // namespace

PProcess::PProcess(const char *manufacturerName, const char *name, unsigned major, unsigned minor,
                   CodeStatus codeStatus, unsigned build)
    : manufacturer(manufacturerName), productName(name), majorVersion(major), minorVersion(minor),
      status(codeStatus), buildNumber(build), arguments(PendingArguments()) {}

void PProcess::PreInitialise(int argc, char **argv, char **) {
  std::vector<PString> &pending = PendingArguments();
  pending.clear();
  for (int i = 0; i < argc; ++i)
    pending.emplace_back(argv[i]);
}

int PProcess::InternalMain() {
  Main();
  return terminationValue;
}

PString PProcess::GetVersion() const {
  static const char *const statusNames[] = {"alpha", "beta", "."};
  std::string version = std::to_string(majorVersion) + "." + std::to_string(minorVersion) +
                        statusNames[status] + std::to_string(buildNumber);
  return PString(version.c_str());
}
