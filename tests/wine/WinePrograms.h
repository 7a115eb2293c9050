#pragma once

#include "ClientSession.h"
#include "TestServer.h"

#include <string>
#include <vector>

// The Windows build's skellan.exe and skellan-server.exe, each run by Wine's
// 64-bit loader in the prefix that the test run set up for itself.
class WinePrograms {
public:
  // What a Windows program's text-mode standard output shows for a line feed.
  static const std::string kLineEnd;

  // The commands that start them; options follow.
  static std::vector<std::string> Client();
  static std::vector<std::string> Server();

  // A client waiting at its first prompt.
  static ClientSession StartClient();
  // A server listening with these options on a pipe name of its own.
  static TestServer StartServer(const std::vector<std::string> &options = {});

private:
  static std::vector<std::string> Launch(const std::string &program);
};
