#ifndef SKELLAN_TESTS_SUPPORT_TESTSERVER_H
#define SKELLAN_TESTS_SUPPORT_TESTSERVER_H

#include "ChildProcess.h"
#include "TestPrograms.h"

#include <cstddef>
#include <string>
#include <vector>

// A pipe server run for one test on a pipe name of its own, so that tests
// can run in parallel: skellan-server, or another `program` that starts as
// it does, with a line "listening PATH" that names where its pipe is. The
// server is stopped when the object goes, and its socket file removed even
// if a test killed it.
class TestServer {
public:
  // Starts the program with these options on `name` and waits until it
  // listens; throws if it does not within `startTimeout`.
  explicit TestServer(const std::vector<std::string> &options = {},
                      const std::string &name = UniqueName(),
                      const std::vector<std::string> &program = testprograms::Server(),
                      ChildProcess::Duration startTimeout = ChildProcess::kDefaultTimeout);
  ~TestServer();
  TestServer(const TestServer &) = delete;
  TestServer &operator=(const TestServer &) = delete;

  // A pipe name that no other test process or test uses.
  static std::string UniqueName();
  // An absolute socket path that no other test process or test uses.
  static std::string UniquePath();
  // Where a plain name's socket is on Linux, the name to follow: the
  // programs' mapping under this process's TMPDIR, which CI may have set.
  static std::string SocketPrefix();

  // The options with --byte added for a byte-type pipe.
  static std::vector<std::string> OfType(std::vector<std::string> options, bool byteType);
  // "byte type" or "message type", for a test's trace.
  static const char *TypeName(bool byteType);

  // The name as given to the server (and so to the client).
  const std::string &Name() const { return name_; }
  // The socket path the server reported in its "listening" line.
  const std::string &SocketPath() const { return socketPath_; }
  ChildProcess &Process() { return process_; }

  // Waits until the server has logged this whole line.
  bool WaitForLog(const std::string &line,
                  ChildProcess::Duration timeout = ChildProcess::kDefaultTimeout);
  // How many lines logged so far begin with prefix.
  std::size_t CountLog(const std::string &prefix);
  // Waits until `count` lines that begin with prefix have been logged; the
  // server's threads log in no fixed order among themselves.
  bool WaitForLogCount(const std::string &prefix, std::size_t count,
                       ChildProcess::Duration timeout = ChildProcess::kDefaultTimeout);
  // The messages of the first connection, in order, as --log-data logs
  // them (with their escapes), once there are `count`.
  std::vector<std::string> Data(std::size_t count);

private:
  std::string name_;
  ChildProcess process_;
  std::string socketPath_;
};

#endif
