// The server as the attacker: a server of the harness's own, on a thread
// that lives for the whole run, plays the events an input describes (see
// ServerScript) to the client over real Unix sockets, through the POSIX
// layer, while the receiver shows them on the plain console, on the
// harness's thread. What it shows must be exactly what ServerScript works
// out: every byte in order, split at NULs, nothing twice or invented, and
// the receiver must end when the server goes. When bit 2 of the input's
// first byte is set, they are shown as on a terminal instead, through a mask
// (TerminalTarget): bit 3 set for a single-byte code page rather than UTF-8,
// bit 4 set for a console without colours, bit 5 set for the line editor's
// drawing (with colours) rather than plain output.
#include "Capture.h"
#include "MaskModel.h"
#include "NamedPipe.h"
#include "PipeRxThread.h"
#include "PlainConsole.h"
#include "ServerScript.h"
#include "TerminalTarget.h"
#include "VisibleText.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <ostream>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
constexpr int wantedSendBuffer = 8 * 1024 * 1024;

void Fail(const char *what, const std::string &detail = "") {
  std::fprintf(stderr, "%s %s\n", what, detail.c_str());
  std::abort();
}

int Listen(const std::string &path, int type) {
  int fd = socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  unlink(path.c_str());
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
      listen(fd, 4) != 0)
    Fail("cannot listen on", path);
  return fd;
}

// The server: takes one connection per input and plays the script to it.
class Server {
public:
  Server() {
    const std::string base = "/tmp/skellan-rxfuzz-" + std::to_string(getpid());
    messagePath = base + "-m";
    bytePath = base + "-b";
    messageListener = Listen(messagePath, SOCK_SEQPACKET);
    byteListener = Listen(bytePath, SOCK_STREAM);
    std::thread(&Server::Loop, this).detach();
  }
  std::string PathFor(bool byteType) const { return byteType ? bytePath : messagePath; }

  // Hands the script over; the connection must already be in the backlog.
  void Play(const ServerScript &next) {
    std::lock_guard<std::mutex> lock(mutex);
    script = &next;
    done = false;
    changed.notify_all();
  }
  // Which messages the kernel took, once the server has closed.
  const std::vector<bool> &WaitDone() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return done; });
    return sent;
  }

private:
  void Loop() {
    for (;;) {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [this] { return script != nullptr; });
      const ServerScript &playing = *script;
      lock.unlock();
      Serve(playing);
      lock.lock();
      script = nullptr;
      done = true;
      changed.notify_all();
    }
  }

  // Runs on the server's thread; `sent` is the harness's again once done.
  void Serve(const ServerScript &playing) {
    int fd = accept4(playing.IsByteType() ? byteListener : messageListener, nullptr, nullptr,
                     SOCK_CLOEXEC);
    if (fd < 0)
      Fail("accept failed");
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &wantedSendBuffer, sizeof wantedSendBuffer);
    if (playing.EndsInReset()) {
      // The client's message must be queued here, unread, when we close.
      char byte;
      if (recv(fd, &byte, 1, MSG_PEEK) < 0)
        Fail("no message from the client");
    }
    sent.assign(playing.Messages(), false);
    for (std::size_t i = 0; i < playing.Messages(); ++i) {
      playing.Fill(i, message);
      std::size_t offset = 0;
      bool whole = true;
      do {
        ssize_t n = send(fd, message.data() + offset, message.size() - offset, MSG_NOSIGNAL);
        if (n < 0) {
          // Longer than the kernel carries: the message is not sent.
          whole = false;
          break;
        }
        offset += static_cast<std::size_t>(n);
      } while (offset < message.size());
      sent[i] = whole;
    }
    close(fd);
  }

  std::string messagePath, bytePath;
  int messageListener, byteListener;
  std::mutex mutex;
  std::condition_variable changed;
  const ServerScript *script = nullptr;
  std::string message;
  std::vector<bool> sent;
  bool done = false;
};

// The platform's own calls, noting the count of every read that succeeds:
// a stream's reads cut it where they happen to, and the model needs that.
std::vector<std::size_t> readSizes;
OVERLAPPED *pendingRead = nullptr;

BOOL WINAPI RecordingReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD count,
                              LPOVERLAPPED overlapped) {
  BOOL ok = ::ReadFile(file, buffer, size, count, overlapped);
  if (ok)
    readSizes.push_back(*count);
  else if (::GetLastError() == ERROR_IO_PENDING)
    pendingRead = overlapped;
  return ok;
}

BOOL WINAPI RecordingGetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD count,
                                         BOOL wait) {
  BOOL ok = ::GetOverlappedResult(file, overlapped, count, wait);
  if (overlapped == pendingRead) {
    pendingRead = nullptr;
    if (ok)
      readSizes.push_back(*count);
  }
  return ok;
}

const PipeApi &RecordingApi() {
  static PipeApi api = [] {
    PipeApi copy = PipeApi::System();
    copy.ReadFile = RecordingReadFile;
    copy.GetOverlappedResult = RecordingGetOverlappedResult;
    return copy;
  }();
  return api;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  // Never destroyed: its thread waits for the next input until the end.
  static Server &server = *new Server;
  static Capture &shown = *new Capture;
  static std::ostream &stream = *new std::ostream(&shown);
  static PlainConsole &console = *new PlainConsole(stream, "$ ");
  // Each keeps its mask from input to input, as a session does from one
  // connection to the next.
  static TerminalTarget *const terminals[] = {
      new TerminalTarget(nullptr, true),
      new TerminalTarget(MaskModel::Windows1252, true),
      new TerminalTarget(nullptr, false),
      new TerminalTarget(MaskModel::Windows1252, false),
      new TerminalTarget(nullptr, true, TerminalTarget::Editor),
      new TerminalTarget(MaskModel::Windows1252, true, TerminalTarget::Editor),
  };
  static std::string expected, problem;

  const ServerScript script(data, size);
  TerminalTarget *terminal = nullptr;
  if (size > 0 && (data[0] & 4))
    terminal = terminals[data[0] & 32 ? 4 + ((data[0] >> 3) & 1) : (data[0] >> 3) & 3];
  ReceivedOutput &output = terminal != nullptr ? static_cast<ReceivedOutput &>(*terminal) : console;
  if (terminal != nullptr)
    terminal->Start();
  shown.text.clear();
  readSizes.clear();
  pendingRead = nullptr;

  NamedPipe pipe(RecordingApi());
  if (!pipe.Open(server.PathFor(script.IsByteType()).c_str(), 3))
    Fail("cannot connect");
  if (pipe.IsMessageMode() == script.IsByteType())
    Fail("wrong read mode");
  if (script.EndsInReset() && !pipe.Write("x\n", 2))
    Fail("cannot write");
  server.Play(script);
  {
    PipeRxThread receiver(pipe, output);
    receiver.StartShowing();
    // Runs the receiver here, until the server's end stops it.
    receiver.WaitForTermination();
    if (!pipe.IsOpen())
      Fail("the receiver closed the pipe");
  }
  const std::vector<bool> &sent = server.WaitDone();
  if (!script.Expected(sent, readSizes, expected))
    Fail("the reads do not add up to the stream");
  if (terminal != nullptr) {
    if (!terminal->Check(script, sent, problem))
      Fail("on a terminal:", problem);
  } else if (shown.text != expected) {
    Fail("output differs", "\n  actual:   \"" + VisibleText(shown.text) + "\"\n  expected: \"" +
                               VisibleText(expected) + "\" (" + std::to_string(shown.text.size()) +
                               " against " + std::to_string(expected.size()) + " bytes)");
  }
  return 0;
}
