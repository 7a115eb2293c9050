#include "ShellProcess.h"

#include <iostream>

int main(int argc, char **argv, char **envp) {
  // Streams of their own, not C stdio's: a line is then read from a buffer
  // instead of one locked getc per character. The shell and the receiver
  // write std::cout one at a time (PlainConsole); untied, reading std::cin
  // does not flush std::cout behind that lock's back.
  std::ios_base::sync_with_stdio(false);
  std::cin.tie(nullptr);
  PProcess::PreInitialise(argc, argv, envp);
  static ShellProcess process;
  return process.InternalMain();
}
