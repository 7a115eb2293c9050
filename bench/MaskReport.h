#ifndef SKELLAN_BENCH_MASKREPORT_H
#define SKELLAN_BENCH_MASKREPORT_H

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

// The figures of the mask's cost (README.md, "What the mask costs"): per
// workload and round, the CPU and wall times of Skellan and of the bare
// client, each with its output to a pipe and to a terminal; and from each
// round the mask's share. Skellan masks on the terminal only, the bare
// client never, and both write the same pieces; the mask is work in user
// space. So the mask's CPU is the user time the terminal adds to Skellan's
// less the user time it adds to the bare client's, and the ratio is
// Skellan's CPU time on the terminal over the same less the mask's. The
// same difference of the whole CPU times is shown as a check: it holds the
// system time a terminal's writes cost, which varies from run to run. The
// first workload is the one the closing line of the printed figures
// speaks of.
class MaskReport {
public:
  enum Run { SkellanPipe, SkellanTerminal, BarePipe, BareTerminal, Runs };
  static const char *Name(Run run);

  struct Times {
    double userMs = 0;
    double systemMs = 0;
    double wallMs = 0;
    double CpuMs() const { return userMs + systemMs; }
  };

  // A workload, and the factor from a run's figures to its unit's (per GiB,
  // per million messages); returns its index.
  std::size_t AddWorkload(const std::string &label, const std::string &unit, double scale);
  // One run's times, in the order of the rounds.
  void Add(std::size_t workload, Run run, const Times &times);
  // Notes the 1-minute load average, where the runs start or end.
  void NoteLoad(const std::string &load) { loads.push_back(load); }

  void Print(std::ostream &out) const;
  void WriteCsv(std::ostream &out) const;

private:
  struct Workload {
    std::string label;
    std::string unit;
    double scale;
    std::vector<Times> rounds[Runs];
  };
  // What one round says of the mask, in the unit of its workload.
  struct Share {
    double userMs;
    // The same from the whole CPU times.
    double cpuMs;
    // Skellan's CPU on the terminal over what it would have been without.
    double ratio;
  };
  static std::vector<Share> Shares(const Workload &workload);
  // The median over the rounds of `pick`, in the workload's unit.
  template <typename Pick> static double Median(const Workload &workload, Run run, Pick pick);

  std::vector<Workload> workloads;
  std::vector<std::string> loads;
};

#endif
