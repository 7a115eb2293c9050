#pragma once

#include <string>
#include <vector>

// The programs the end-to-end tests run. Every test executable links one
// definition of these: NativePrograms.cpp for this build's programs, or
// tests/wine/WinePrograms.cpp for the Windows build's, run by Wine; the
// same test cases then run against either.
namespace testprograms {

// The command that starts the client.
std::vector<std::string> Client();
// The command that starts the server with these arguments.
std::vector<std::string> Server(const std::vector<std::string> &arguments = {});
// What the client's output shows for a line feed.
std::string LineEnd();

} // namespace testprograms
