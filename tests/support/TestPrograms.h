#ifndef SKELLAN_TESTS_SUPPORT_TESTPROGRAMS_H
#define SKELLAN_TESTS_SUPPORT_TESTPROGRAMS_H

#include <string>
#include <vector>

// The programs the end-to-end tests run. Every test executable links one
// definition of these: NativePrograms.cpp for this build's programs, or
// tests/wine/WinePrograms.cpp for the Windows build's, run by Wine; the
// same test cases then run against either.
namespace testprograms {

// The command that starts the client.
std::vector<std::string> Client();
// The command that starts the client on a terminal of its own: as Client()
// does, or, given a script, `sh -c script` with the client's command as
// "$@".
std::vector<std::string> TerminalClient(const std::string &script = "");
// The command that starts the server with these arguments.
std::vector<std::string> Server(const std::vector<std::string> &arguments = {});
// What the client's output shows for a line feed.
std::string LineEnd();
// How many short lines, of about 25 bytes, more than fill the pipe of a
// server that reads nothing, of either type.
int LinesThatFillAPipe();

} // namespace testprograms

#endif
