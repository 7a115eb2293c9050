#ifndef SKELLAN_BENCH_PSEUDOTERMINAL_H
#define SKELLAN_BENCH_PSEUDOTERMINAL_H

// A terminal for a client's standard output, and for its input where the
// benchmark types into it, with nobody looking at it: the client writes to
// the slave side, the benchmark reads the master side (non-blocking) and
// drops what it reads, or looks at it, and writes the keys typed there.
// The slave's output processing is off (no OPOST, so no ONLCR): the bytes
// arrive as the client wrote them, and the kernel does no work per byte
// that would be the same with the mask or without it. It is 80 columns by
// 24 rows.
class PseudoTerminal {
public:
  // Throws std::runtime_error when no terminal can be had.
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal &) = delete;
  PseudoTerminal &operator=(const PseudoTerminal &) = delete;

  int Master() const { return master; }
  // -1 once closed.
  int Slave() const { return slave; }
  // Once the client has it: the master then reads the end of output when
  // the client has closed it.
  void CloseSlave();

private:
  int master = -1;
  int slave = -1;
};

#endif
