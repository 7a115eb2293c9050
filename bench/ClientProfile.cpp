#include "ClientProfile.h"

namespace {
constexpr std::uint64_t promptBytes = 3;       // "\r$ "
constexpr std::uint64_t connectedBytes = 13;   // "OK Connected\n"
constexpr std::uint64_t messageFrameBytes = 3; // "\r" before a message, "$ " after it
} // namespace

ClientProfile ClientProfile::For(const std::string &name, const std::string &program,
                                 const std::string &path) {
  if (name == "skellan")
    return Skellan(program, path);
  if (name == "socat")
    return Socat(program, path);
  return Bare(program, path);
}

ClientProfile ClientProfile::Skellan(const std::string &program, const std::string &pipeName) {
  ClientProfile profile;
  profile.name = "skellan";
  profile.command = {program};
  profile.connect = "connect " + pipeName + "\n";
  // The prompt for the connect command, the reply, the prompt for line one.
  profile.connectOutput = promptBytes + connectedBytes + promptBytes;
  // The message's frame and the prompt for the next line.
  profile.lineOverhead = messageFrameBytes + promptBytes;
  profile.echoFrame = messageFrameBytes;
  return profile;
}

ClientProfile ClientProfile::Socat(const std::string &program, const std::string &socketPath) {
  ClientProfile profile;
  profile.name = "socat";
  // type=5: SOCK_SEQPACKET, a message pipe.
  profile.command = {program, "-", "UNIX-CONNECT:" + socketPath + ",type=5"};
  return profile;
}

ClientProfile ClientProfile::Bare(const std::string &program, const std::string &socketPath) {
  ClientProfile profile;
  profile.name = "bare";
  profile.command = {program, socketPath};
  return profile;
}
