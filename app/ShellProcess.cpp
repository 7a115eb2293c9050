#include "ShellProcess.h"

#include "CommandTable.h"
#include "EditorConsole.h"
#include "LineEditor.h"
#include "LineTokenizer.h"
#include "PlainConsole.h"
#include "ScreenCompositor.h"
#include "ShellCompleter.h"
#include "SystemTerminal.h"

#include <cstring>
#include <iostream>
#include <new>
#include <string>

namespace {
// What stands before every line the shell reads.
const char shellPrompt[] = "$ ";
// What separates the words of a line.
const char delimiters[] = " \t\n";

// One write per reply, so that a message the receiver prints cannot land
// inside the line.
void Answer(ShellOutput &output, const char *prefix, const char *text, const char *name = "") {
  std::string line = std::string(prefix) + text + name + '\n';
  output.Reply(line.data(), line.size());
}

bool IsEmpty(const char *token) { return token == nullptr || *token == '\0'; }

// Whether the line's first word is longer than any command word, so that
// the line is a message: a long line then goes out without being copied
// and cut into tokens first.
bool StartsWithLongWord(const PString &line) {
  const char *cursor = line.GetPointer();
  while (*cursor != '\0' && std::strchr(delimiters, *cursor) != nullptr)
    ++cursor;
  std::size_t length = 0;
  while (cursor[length] != '\0' && std::strchr(delimiters, cursor[length]) == nullptr) {
    if (++length > CommandTable::LongestWord())
      return true;
  }
  return false;
}
} // namespace

ShellProcess::ShellProcess(const PipeApi &api)
    : PProcess("Zorvat", "Skellan", 0, 1, AlphaCode, 0), pipe(api) {}

ShellProcess::~ShellProcess() { DeleteReceiver(); }

void ShellProcess::SetExitWait(std::chrono::milliseconds quiet, std::chrono::milliseconds cap) {
  exitQuiet = quiet;
  exitCap = cap;
}

void ShellProcess::Main() {
  if (SystemTerminal::InputIsTerminal())
    SetExitWait(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
  // An operator at a terminal gets the line editor; anything else reads
  // plain lines, byte for byte as ever.
  std::unique_ptr<Terminal> terminal = SystemTerminal::Open();
  if (terminal != nullptr) {
    ShellCompleter completer;
    ScreenCompositor screen(*terminal);
    LineEditor editor(*terminal, screen, completer, shellPrompt);
    if (editor.Start()) {
      // What a server sends never drives the operator's terminal.
      const std::unique_ptr<TextMask> mask = SystemTerminal::OutputMask(true);
      editor.QuoteNamesWith(mask.get());
      EditorConsole output(screen, mask.get());
      Run(editor, output);
      editor.Stop();
      return;
    }
  }
  const std::unique_ptr<TextMask> mask = SystemTerminal::OutputMask(false);
  Run(std::cin, std::cout, mask.get());
}

void ShellProcess::Run(LineEditor &editor, EditorConsole &output) {
  // A server that stops reading must not hold the operator: while a line
  // waits to be written, the keys typed meanwhile are kept for the lines
  // behind it, and a Ctrl-C or a signal to end abandons the write.
  whileWriting = [&editor] { return editor.ReadAhead(0); };
  running = 1;
  while (running) {
    std::string text;
    switch (editor.ReadLine(text)) {
    case LineEditor::Editing:
    case LineEditor::GotLine:
      break;
    case LineEditor::EndOfInput:
      text = "exit";
      break;
    case LineEditor::OutputFailed:
      pipe.Close();
      SetTerminationValue(1);
      running = 0;
      continue;
    }
    PString line(text.c_str());
    line += '\n';
    Execute(line, output);
  }
  whileWriting = nullptr;
  // The receiver shows on the editor's output, which goes before long.
  DeleteReceiver();
}

void ShellProcess::Run(std::istream &input, std::ostream &output) { Run(input, output, nullptr); }

void ShellProcess::Run(std::istream &input, std::ostream &output, TextMask *mask) {
  PlainConsole console(output, shellPrompt, mask);
  running = 1;
  PString line;
  while (running) {
    // An output that takes nothing more has lost its reader, with SIGPIPE
    // ignored, or was closed: nobody is left to serve, so end as exit does,
    // with a failing status. The prompt is posted: while the receiver
    // prints a long message, the next line is read and sent meanwhile.
    if (!console.Prompt()) {
      pipe.Close();
      SetTerminationValue(1);
      break;
    }
    // A last line without a line feed is still a line; only a read that
    // finds nothing at all is the end of input.
    if (!line.ReadFrom(input))
      line = "exit";
    line += '\n';
    Execute(line, console);
  }
  // The receiver shows on this console, which ends here.
  DeleteReceiver();
}

void ShellProcess::Execute(const PString &line, ShellOutput &output) {
  if (StartsWithLongWord(line)) {
    Send(line, output);
    return;
  }
  LineTokenizer tokens(line, delimiters, 0);
  if (IsEmpty(tokens.Token()))
    return;
  switch (CommandTable::Lookup(tokens.Token())) {
  case CommandTable::Connect: {
    tokens.NextToken();
    if (tokens.Token() != nullptr && std::strcmp(tokens.Token(), "-c") == 0)
      tokens.NextToken();
    if (IsEmpty(tokens.Token()))
      Answer(output, "ERROR ", "The pipe name must be specified");
    else
      Connect(tokens.Token(), output);
    break;
  }
  case CommandTable::Close:
    if (pipe.IsOpen()) {
      pipe.Close();
      Answer(output, "OK ", "Connection closed");
    } else {
      Answer(output, "ERROR ", "Not connected");
    }
    break;
  case CommandTable::Exit:
    WaitForLastAnswers();
    pipe.Close();
    running = 0;
    break;
  case CommandTable::NotACommand:
    Send(line, output);
    break;
  }
}

void ShellProcess::Send(const PString &line, ShellOutput &output) {
  if (!pipe.IsOpen())
    Answer(output, "ERROR ", "Not connected");
  else if (!pipe.Write(line.GetPointer(), line.GetLength(), whileWriting))
    Answer(output, "ERROR ", "Cannot write to pipe");
}

void ShellProcess::Connect(const char *name, ShellOutput &output) {
  DeleteReceiver();
  if (pipe.Open(name, ConnectAttempts) && StartReceiver(output))
    return;
  Answer(output, "ERROR ", "Cannot connect to named pipe: ", output.Quoted(name).c_str());
}

void ShellProcess::WaitForLastAnswers() {
  if (exitCap.count() <= 0 || rxThread == nullptr || !pipe.IsOpen())
    return;
  rxThread->WaitForQuiet(exitQuiet, PipeRxThread::Clock::now() + exitCap);
}

bool ShellProcess::StartReceiver(ShellOutput &output) {
  rxThread = new (std::nothrow) PipeRxThread(pipe, output);
  if (rxThread != nullptr && rxThread->IsCreated()) {
    // A server may greet at once: the receiver holds what it reads back
    // until the reply is out.
    Answer(output, "OK ", "Connected");
    rxThread->StartShowing();
    return true;
  }
  // Without a receiver nothing the server sends would be shown.
  DeleteReceiver();
  pipe.Close();
  return false;
}

void ShellProcess::DeleteReceiver() {
  delete rxThread;
  rxThread = nullptr;
}
