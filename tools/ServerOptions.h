#ifndef SKELLAN_TOOLS_SERVEROPTIONS_H
#define SKELLAN_TOOLS_SERVEROPTIONS_H

#include <cstddef>
#include <string>
#include <vector>

// The command line of skellan-server. It holds no socket code so that the
// server of every platform can share it.
class ServerOptions {
public:
  // What main should do once the command line has been read.
  enum class Action { Serve, ShowUsage, Fail };

  // Largest --send-size accepted, so that a typo cannot ask for more.
  static constexpr std::size_t kMaxMessageSize = 1024u * 1024u * 1024u;
  // Largest value of the other counting options.
  static constexpr std::size_t kMaxCount = 1000000000u;

  // One message of the script: the text of --send, or only the size of
  // --send-size, whose bytes are made as they go out (see Pattern), so
  // that none is kept between clients and a stream is made a part at a time.
  struct ScriptMessage {
    std::string text;
    std::size_t patternSize = 0;
    bool isPattern = false;
  };

  Action Parse(const std::vector<std::string> &args);

  static std::string Usage();
  // `length` bytes of the --send-size pattern, 'a' to 'z' repeating, from
  // byte `offset` of a message on.
  static std::string Pattern(std::size_t offset, std::size_t length);

  // Why Parse returned Action::Fail.
  const std::string &ErrorMessage() const { return error_; }

  const std::string &Name() const { return name_; }
  bool ByteType() const { return byteType_; }
  bool Echo() const { return echo_; }
  // Whether clients' messages are never read: the server stays connected
  // while a client's writes fill the pipe, as a stuck program would.
  bool NoRead() const { return noRead_; }
  // Whether each received message's bytes are logged too.
  bool LogData() const { return logData_; }
  // 0 means unlimited.
  std::size_t Instances() const { return instances_; }
  // The messages of --send and --send-size, in command-line order.
  const std::vector<ScriptMessage> &Script() const { return script_; }
  bool ScriptOnMessage() const { return scriptOnMessage_; }
  bool CloseAfterScript() const { return closeAfterScript_; }
  // 0 means never.
  std::size_t CloseAfter() const { return closeAfter_; }
  // 0 means run until killed.
  std::size_t MaxConnections() const { return maxConnections_; }
  // How long after a message its reply goes out, in milliseconds.
  std::size_t DelayMs() const { return delayMs_; }
  // The period of the tick messages, in milliseconds; 0 means none.
  std::size_t TickMs() const { return tickMs_; }

private:
  bool Fail(const std::string &message);
  bool ParseCount(const std::string &option, const std::string &text, std::size_t minimum,
                  std::size_t maximum, std::size_t &value);
  bool DecodeEscapes(const std::string &text, std::string &decoded);

  std::string error_;
  std::string name_;
  bool byteType_ = false;
  bool echo_ = true;
  bool noRead_ = false;
  bool logData_ = false;
  std::size_t instances_ = 0;
  std::vector<ScriptMessage> script_;
  bool scriptOnMessage_ = false;
  bool closeAfterScript_ = false;
  std::size_t closeAfter_ = 0;
  std::size_t maxConnections_ = 0;
  std::size_t delayMs_ = 0;
  std::size_t tickMs_ = 0;
};

#endif
