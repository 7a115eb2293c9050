#include "MaskReport.h"

#include "SampleSet.h"

#include <algorithm>
#include <iomanip>
#include <ostream>
#include <sstream>

namespace {
constexpr int labelWidth = 24;
constexpr int runWidth = 18;
constexpr int valueWidth = 11;

std::string Fixed(double value, int precision) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(precision) << value;
  return text.str();
}
} // namespace

const char *MaskReport::Name(Run run) {
  static const char *const names[] = {"skellan pipe", "skellan terminal", "bare pipe",
                                      "bare terminal"};
  return names[run];
}

std::size_t MaskReport::AddWorkload(const std::string &label, const std::string &unit,
                                    double scale) {
  workloads.push_back(Workload{label, unit, scale, {}});
  return workloads.size() - 1;
}

void MaskReport::Add(std::size_t workload, Run run, const Times &times) {
  workloads[workload].rounds[run].push_back(times);
}

std::vector<MaskReport::Share> MaskReport::Shares(const Workload &workload) {
  std::vector<Share> shares;
  const std::size_t rounds =
      std::min({workload.rounds[SkellanPipe].size(), workload.rounds[SkellanTerminal].size(),
                workload.rounds[BarePipe].size(), workload.rounds[BareTerminal].size()});
  for (std::size_t r = 0; r < rounds; ++r) {
    const Times &skellanPipe = workload.rounds[SkellanPipe][r];
    const Times &skellanTerminal = workload.rounds[SkellanTerminal][r];
    const Times &barePipe = workload.rounds[BarePipe][r];
    const Times &bareTerminal = workload.rounds[BareTerminal][r];
    // What the terminal costs by itself, from the client that never masks.
    const double terminalCpu = bareTerminal.CpuMs() - barePipe.CpuMs();
    const double terminalUser = bareTerminal.userMs - barePipe.userMs;
    const double maskUser = skellanTerminal.userMs - skellanPipe.userMs - terminalUser;
    Share share;
    share.userMs = maskUser * workload.scale;
    share.cpuMs = (skellanTerminal.CpuMs() - skellanPipe.CpuMs() - terminalCpu) * workload.scale;
    share.ratio = skellanTerminal.CpuMs() / (skellanTerminal.CpuMs() - maskUser);
    shares.push_back(share);
  }
  return shares;
}

template <typename Pick> double MaskReport::Median(const Workload &workload, Run run, Pick pick) {
  SampleSet values;
  for (const Times &times : workload.rounds[run])
    values.Add(pick(times) * workload.scale);
  return values.Median();
}

void MaskReport::Print(std::ostream &out) const {
  const std::size_t rounds = workloads.empty() ? 0 : Shares(workloads.front()).size();
  out << "The mask's cost: each client's CPU time (from wait4) and wall time, median of " << rounds
      << " round(s)";
  for (std::size_t i = 0; i < loads.size(); ++i)
    out << (i == 0 ? "; load average " : " then ") << loads[i];
  out << "\n"
      << std::left << std::setw(labelWidth) << "workload" << std::setw(runWidth) << "run"
      << std::right << std::setw(valueWidth) << "user" << std::setw(valueWidth) << "system"
      << std::setw(valueWidth) << "CPU" << std::setw(valueWidth) << "wall"
      << "  unit\n";
  for (const Workload &workload : workloads) {
    for (int run = 0; run < Runs; ++run) {
      const Run which = static_cast<Run>(run);
      out << std::left << std::setw(labelWidth) << (run == 0 ? workload.label : "")
          << std::setw(runWidth) << Name(which) << std::right;
      out << std::setw(valueWidth)
          << Fixed(Median(workload, which, [](const Times &t) { return t.userMs; }), 1)
          << std::setw(valueWidth)
          << Fixed(Median(workload, which, [](const Times &t) { return t.systemMs; }), 1)
          << std::setw(valueWidth)
          << Fixed(Median(workload, which, [](const Times &t) { return t.CpuMs(); }), 1)
          << std::setw(valueWidth)
          << Fixed(Median(workload, which, [](const Times &t) { return t.wallMs; }), 1) << "  "
          << workload.unit << "\n";
    }
  }
  out << "\n"
      << std::left << std::setw(labelWidth) << "workload" << std::right << std::setw(valueWidth)
      << "mask" << std::setw(valueWidth) << "check"
      << "  unit     skellan's CPU on the terminal, with the mask / without\n";
  for (const Workload &workload : workloads) {
    SampleSet user, cpu, ratio;
    for (const Share &share : Shares(workload)) {
      user.Add(share.userMs);
      cpu.Add(share.cpuMs);
      ratio.Add(share.ratio);
    }
    out << std::left << std::setw(labelWidth) << workload.label << std::right
        << std::setw(valueWidth) << Fixed(user.Median(), 1) << std::setw(valueWidth)
        << Fixed(cpu.Median(), 1) << "  " << std::left << std::setw(9) << workload.unit
        << std::right << Fixed(ratio.Median(), 3) << "  (rounds " << Fixed(ratio.Min(), 3) << " to "
        << Fixed(ratio.Max(), 3) << ")\n";
  }
  if (workloads.empty())
    return;
  SampleSet ratio;
  for (const Share &share : Shares(workloads.front()))
    ratio.Add(share.ratio);
  out << "mask: the user time the terminal adds to skellan's less what it adds to bare's;\n"
      << "check: the same of the whole CPU times, the terminal's system time in it\n"
      << "\nWith the mask, " << workloads.front().label << " on a terminal costs Skellan "
      << Fixed((ratio.Median() - 1) * 100, 1)
      << " % more CPU time than it would without (target: under 5 %).\n";
}

void MaskReport::WriteCsv(std::ostream &out) const {
  out << "workload,figure,unit,median,lowest,highest\n";
  auto row = [&out](const Workload &workload, const std::string &figure, const std::string &unit,
                    const SampleSet &values) {
    out << workload.label << "," << figure << "," << unit << "," << std::setprecision(6)
        << values.Median() << "," << values.Min() << "," << values.Max() << "\n";
  };
  for (const Workload &workload : workloads) {
    for (int run = 0; run < Runs; ++run) {
      SampleSet user, system, cpu, wall;
      for (const Times &times : workload.rounds[run]) {
        user.Add(times.userMs * workload.scale);
        system.Add(times.systemMs * workload.scale);
        cpu.Add(times.CpuMs() * workload.scale);
        wall.Add(times.wallMs * workload.scale);
      }
      const std::string name = Name(static_cast<Run>(run));
      row(workload, name + " user", workload.unit, user);
      row(workload, name + " system", workload.unit, system);
      row(workload, name + " CPU", workload.unit, cpu);
      row(workload, name + " wall", workload.unit, wall);
    }
    SampleSet user, cpu, ratio;
    for (const Share &share : Shares(workload)) {
      user.Add(share.userMs);
      cpu.Add(share.cpuMs);
      ratio.Add(share.ratio);
    }
    row(workload, "mask", workload.unit, user);
    row(workload, "mask check from CPU", workload.unit, cpu);
    row(workload, "with mask / without", "x", ratio);
  }
}
