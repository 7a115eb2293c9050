#include "ShellProcess.h"

int main(int argc, char **argv, char **envp) {
  PProcess::PreInitialise(argc, argv, envp);
  static ShellProcess process;
  return process.InternalMain();
}
