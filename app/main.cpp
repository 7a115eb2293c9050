#include "ShellProcess.h"

#include <iostream>
#if defined(__GLIBC__)
#include <ext/stdio_filebuf.h>
#include <malloc.h>
#endif

int main(int argc, char **argv, char **envp) {
  // Streams of their own, not C stdio's: a line is then read from a buffer
  // instead of one locked getc per character. The shell and the receiver
  // write std::cout one at a time (PlainConsole); untied, reading std::cin
  // does not flush std::cout behind that lock's back.
  std::ios_base::sync_with_stdio(false);
  std::cin.tie(nullptr);
#if defined(__GLIBC__)
  // A long line in one read of standard input rather than one per 8 KiB.
  static __gnu_cxx::stdio_filebuf<char> input(0, std::ios_base::in, 64 * 1024);
  std::cin.rdbuf(&input);
  // Each long line is read, copied and freed again. By default glibc hands
  // the freed heap top back to the kernel every time (a page-table flush)
  // and faults it in again for the next line, which cost more than all the
  // rest of sending it. Keep what lines of up to about 512 KiB need.
  mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 4 * 1024 * 1024);
#endif
  PProcess::PreInitialise(argc, argv, envp);
  static ShellProcess process;
  return process.InternalMain();
}
