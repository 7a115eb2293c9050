#ifndef SKELLAN_BENCH_CLIENTPROFILE_H
#define SKELLAN_BENCH_CLIENTPROFILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One of the clients compared: how to start it, what to type to connect it
// to the pipe, and how many bytes it writes in answer, so that the driver
// knows when a step is over by counting output alone.
struct ClientProfile {
  std::string name;
  std::vector<std::string> command;
  // Typed first; empty for a client that connects by itself.
  std::string connect;
  // What the client writes from its start until it is connected and ready
  // for the first line.
  std::uint64_t connectOutput = 0;
  // What it writes per line sent, on top of the echoed line itself.
  std::uint64_t lineOverhead = 0;
  // The part of that which frames the echo.
  std::uint64_t echoFrame = 0;

  std::uint64_t OutputPerLine(std::size_t lineBytes) const { return lineBytes + lineOverhead; }
  // What it writes for the echo of a line alone.
  std::uint64_t EchoOutput(std::size_t lineBytes) const { return lineBytes + echoFrame; }

  // The client `name` (skellan, socat or bare), started as `program`, for
  // the pipe at the socket path `path`.
  static ClientProfile For(const std::string &name, const std::string &program,
                           const std::string &path);

  // Skellan writes "\r$ " before each line it reads, "OK Connected\n" for
  // the connect command and "\r" + message + "$ " for each message it gets.
  static ClientProfile Skellan(const std::string &program, const std::string &pipeName);
  // socat between its standard streams and the message socket.
  static ClientProfile Socat(const std::string &program, const std::string &socketPath);
  static ClientProfile Bare(const std::string &program, const std::string &socketPath);
};

#endif
