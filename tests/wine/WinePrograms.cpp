#include "WinePrograms.h"

const std::string WinePrograms::kLineEnd = "\r\n";

std::vector<std::string> WinePrograms::Client() { return Launch(SKELLAN_WINE_CLIENT); }

std::vector<std::string> WinePrograms::Server() { return Launch(SKELLAN_WINE_SERVER); }

ClientSession WinePrograms::StartClient() { return ClientSession(Client(), kLineEnd); }

TestServer WinePrograms::StartServer(const std::vector<std::string> &options) {
  return TestServer(Server(), options, TestServer::UniqueName());
}

std::vector<std::string> WinePrograms::Launch(const std::string &program) {
  // env sets the prefix for this one command and then execs the loader,
  // which becomes the Windows process: a signal to the child reaches it.
  return {"/usr/bin/env", "WINEPREFIX=" SKELLAN_WINE_PREFIX, "WINEDEBUG=-all", SKELLAN_WINE_LOADER,
          program};
}
