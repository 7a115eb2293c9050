#include "TmuxTerminal.h"

#include "ScreenModel.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

const char kSession[] = "fault";
// A tmux command answers at once; this only guards against a hang.
constexpr ChildProcess::Duration kCommandTimeout{10000};
constexpr std::chrono::milliseconds kScreenPoll{20};

std::string UniqueSocketName() {
  static std::atomic<unsigned> counter{0};
  return "skellan-fault-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

} // namespace

std::string TmuxTerminal::Program() {
  const char *path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/tmux";
    if (access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return "";
}

TmuxTerminal::TmuxTerminal(const std::vector<std::string> &command, int columns, int rows)
    : program_(Program()), socketName_(UniqueSocketName()), columns_(columns), rows_(rows) {
  if (program_.empty()) {
    throw std::runtime_error("tmux is not on PATH");
  }
  // -f /dev/null: no user configuration can change what the screen shows.
  std::vector<std::string> arguments{
      "new-session",       "-d", "-s", kSession, "-x", std::to_string(columns), "-y",
      std::to_string(rows)};
  arguments.insert(arguments.end(), command.begin(), command.end());
  Tmux(arguments);
  socketPath_ = Tmux({"display-message", "-p", "#{socket_path}"});
  if (!socketPath_.empty() && socketPath_.back() == '\n') {
    socketPath_.pop_back();
  }
}

TmuxTerminal::~TmuxTerminal() {
  try {
    Tmux({"kill-server"});
  } catch (const std::exception &) {
    // A server that is already gone has nothing left to kill.
  }
  if (!socketPath_.empty()) {
    unlink(socketPath_.c_str());
  }
}

void TmuxTerminal::TypeLine(const std::string &text) {
  // -l: the text as it is, not key names.
  Tmux({"send-keys", "-t", kSession, "-l", text});
  Tmux({"send-keys", "-t", kSession, "Enter"});
}

void TmuxTerminal::Type(const std::string &text) {
  Tmux({"send-keys", "-t", kSession, "-l", text});
}

void TmuxTerminal::Press(const std::vector<std::string> &keys) {
  std::vector<std::string> arguments{"send-keys", "-t", kSession};
  arguments.insert(arguments.end(), keys.begin(), keys.end());
  Tmux(arguments);
}

void TmuxTerminal::Paste(const std::string &text) {
  // Through standard input: a command line argument holds at most 128 KiB.
  Tmux({"load-buffer", "-b", "paste", "-"}, text);
  // -p: bracketed, -d: the buffer goes afterwards.
  Tmux({"paste-buffer", "-p", "-d", "-b", "paste", "-t", kSession});
}

void TmuxTerminal::PasteAsKeys(const std::string &text) {
  // Through standard input: a command line argument holds at most 128 KiB.
  Tmux({"load-buffer", "-b", "keys", "-"}, text);
  // No -p: the keys come unbracketed, as any other keys do.
  Tmux({"paste-buffer", "-d", "-b", "keys", "-t", kSession});
}

void TmuxTerminal::Resize(int columns, int rows) {
  columns_ = columns;
  rows_ = rows;
  Tmux(
      {"resize-window", "-t", kSession, "-x", std::to_string(columns), "-y", std::to_string(rows)});
}

int TmuxTerminal::PanePid() {
  return std::stoi(Tmux({"display-message", "-p", "-t", kSession, "#{pane_pid}"}));
}

std::vector<std::string> TmuxTerminal::Screen() {
  // -N keeps the blanks at the end of a row, such as the prompt's.
  std::istringstream text(Tmux({"capture-pane", "-p", "-N", "-t", kSession}));
  std::vector<std::string> rows;
  for (std::string row; std::getline(text, row);) {
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> TmuxTerminal::PaintedRows() {
  // A row more than the pane: the line feed behind the last row must not
  // scroll the first away.
  ScreenModel screen(columns_, rows_ + 1, ScreenModel::Sequences::Sgr);
  screen.Feed(Tmux({"capture-pane", "-p", "-e", "-t", kSession}));
  return screen.PaintedRows();
}

TmuxTerminal::Cursor TmuxTerminal::CursorPosition() {
  std::istringstream text(
      Tmux({"display-message", "-p", "-t", kSession, "#{cursor_x} #{cursor_y}"}));
  Cursor cursor{-1, -1};
  text >> cursor.column >> cursor.row;
  return cursor;
}

std::string TmuxTerminal::Picture() {
  const std::vector<std::string> screen = Screen();
  const Cursor cursor = CursorPosition();
  std::string picture;
  for (std::size_t row = 0; row < screen.size(); ++row) {
    picture += std::to_string(row) + "|" + Trimmed(screen[row]) + "|";
    if (static_cast<int>(row) == cursor.row)
      picture += " <- cursor at column " + std::to_string(cursor.column);
    picture += "\n";
  }
  return picture;
}

testing::AssertionResult
TmuxTerminal::WaitFor(const std::function<bool(const std::vector<std::string> &, Cursor)> &test,
                      const std::string &what, ChildProcess::Duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const std::vector<std::string> screen = Screen();
    if (test(screen, CursorPosition()))
      return testing::AssertionSuccess();
    if (std::chrono::steady_clock::now() >= deadline)
      return testing::AssertionFailure() << "the screen never showed " << what << ":\n"
                                         << Picture();
    std::this_thread::sleep_for(kScreenPoll);
  }
}

testing::AssertionResult TmuxTerminal::Connect(const std::string &name) {
  testing::AssertionResult prompt = WaitForInput("$", 2);
  if (!prompt)
    return prompt;
  TypeLine("connect " + name);
  return WaitForScreen({"$ connect " + name, "OK Connected", "$"}, 2);
}

testing::AssertionResult TmuxTerminal::WaitForInput(const std::string &row, int column) {
  return WaitFor(
      [&](const std::vector<std::string> &screen, Cursor cursor) {
        return cursor.row >= 0 && static_cast<std::size_t>(cursor.row) < screen.size() &&
               Trimmed(screen[cursor.row]) == row && cursor.column == column;
      },
      "\"" + row + "\" with the cursor at column " + std::to_string(column));
}

testing::AssertionResult TmuxTerminal::WaitForRow(const std::string &row) {
  return WaitFor(
      [&](const std::vector<std::string> &screen, Cursor) {
        for (const std::string &shown : screen) {
          if (Trimmed(shown) == row)
            return true;
        }
        return false;
      },
      "a row \"" + row + "\"");
}

testing::AssertionResult TmuxTerminal::WaitForScreen(const std::vector<std::string> &rows,
                                                     int column) {
  std::string what = "these rows, cursor at column " + std::to_string(column) + ":\n";
  for (const std::string &row : rows)
    what += "|" + row + "|\n";
  return WaitFor(
      [&](const std::vector<std::string> &screen, Cursor cursor) {
        if (screen.size() < rows.size() || cursor.row != static_cast<int>(rows.size()) - 1 ||
            cursor.column != column)
          return false;
        for (std::size_t i = 0; i < screen.size(); ++i) {
          const std::string shown = Trimmed(screen[i]);
          if (i < rows.size() ? shown != rows[i] : !shown.empty())
            return false;
        }
        return true;
      },
      what);
}

std::string TmuxTerminal::Format(const std::string &format) {
  std::string value = Tmux({"display-message", "-p", "-t", kSession, format});
  if (!value.empty() && value.back() == '\n') {
    value.pop_back();
  }
  return value;
}

void TmuxTerminal::SetOption(const std::string &option, const std::string &value) {
  Tmux({"set-option", "-g", option, value});
}

void TmuxTerminal::RenameWindow(const std::string &name) {
  Tmux({"rename-window", "-t", kSession, name});
}

std::string TmuxTerminal::Buffers() { return Tmux({"list-buffers"}); }

void TmuxTerminal::CopyOutputTo(const std::string &path) {
  Tmux({"pipe-pane", "-O", "-t", kSession, "exec cat >>" + path});
}

std::string TmuxTerminal::Trimmed(const std::string &row) {
  const std::size_t end = row.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : row.substr(0, end + 1);
}

std::string TmuxTerminal::Tmux(const std::vector<std::string> &arguments,
                               const std::string &input) {
  std::vector<std::string> argv{program_, "-L", socketName_, "-f", "/dev/null"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  ChildProcess tmux(argv);
  if (!input.empty() && !tmux.Send(input, kCommandTimeout))
    throw std::runtime_error("tmux " + arguments.front() + " took not all of its input");
  tmux.CloseInput();
  const std::optional<int> status = tmux.WaitForExit(kCommandTimeout);
  if (status != 0) {
    throw std::runtime_error("tmux " + arguments.front() + " failed (" +
                             (status ? "status " + std::to_string(*status) : "time-out") +
                             "): " + tmux.ErrorOutput());
  }
  return tmux.Output();
}
