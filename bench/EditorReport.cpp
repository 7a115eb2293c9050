#include "EditorReport.h"

#include "SampleSet.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <ostream>
#include <sstream>

namespace {
constexpr int labelWidth = 40;
constexpr int valueWidth = 11;

std::string Fixed(double value, int precision) {
  if (std::isnan(value))
    return "-";
  std::ostringstream text;
  text << std::fixed << std::setprecision(precision) << value;
  return text.str();
}

template <typename Pick> SampleSet Samples(const std::vector<EditorReport::Times> &all, Pick pick) {
  SampleSet values;
  for (const EditorReport::Times &times : all)
    values.Add(pick(times));
  return values;
}

double Wall(const EditorReport::Times &times) { return times.wallMs; }
double Cpu(const EditorReport::Times &times) { return times.cpuMs; }
} // namespace

const char *EditorReport::Name(Step step) {
  static const char *const names[] = {"line as keys", "line bracketed", "recall drawn",
                                      "recall sent",  "lines as keys",  "lines bracketed",
                                      "plain line",   "plain lines"};
  return names[step];
}

EditorReport::EditorReport(const std::string &lineText, const std::string &linesText)
    : line(lineText), lines(linesText) {}

void EditorReport::AddPeakRss(bool editor, long kib) {
  long &peak = editor ? editorRssKiB : plainRssKiB;
  peak = std::max(peak, kib);
}

EditorReport::Step EditorReport::Against(Step step) {
  switch (step) {
  case LineAsKeys:
  case LineBracketed:
  case RecallSent:
    return PlainLine;
  case LinesAsKeys:
  case LinesBracketed:
    return PlainLines;
  default:
    return Steps;
  }
}

std::string EditorReport::Label(Step step) const {
  switch (step) {
  case LineAsKeys:
    return line + " as keys";
  case LineBracketed:
    return line + ", bracketed paste";
  case RecallDrawn:
    return "Up recalls it: the row drawn";
  case RecallSent:
    return "Up and Enter: it is sent again";
  case LinesAsKeys:
    return lines + " as keys";
  case LinesBracketed:
    return lines + ", bracketed paste";
  default:
    return Name(step);
  }
}

void EditorReport::Print(std::ostream &out) const {
  out << "The line editor on a terminal against the plain road (input a pipe), wall and CPU\n"
      << "time of the client in ms, median of " << rounds[LineAsKeys].size() << " round(s)";
  for (std::size_t i = 0; i < loads.size(); ++i)
    out << (i == 0 ? "; load average " : " then ") << loads[i];
  out << "\n"
      << std::left << std::setw(labelWidth) << "step" << std::right << std::setw(valueWidth)
      << "editor" << std::setw(valueWidth) << "plain" << std::setw(valueWidth) << "ratio"
      << std::setw(valueWidth) << "editor CPU" << std::setw(valueWidth) << "plain CPU"
      << std::setw(valueWidth) << "ratio"
      << "\n";
  for (int s = 0; s < PlainLine; ++s) {
    const Step step = static_cast<Step>(s);
    const Step plain = Against(step);
    const double wall = Samples(rounds[step], Wall).Median();
    const double cpu = Samples(rounds[step], Cpu).Median();
    const double nan = std::nan("");
    const double plainWall = plain == Steps ? nan : Samples(rounds[plain], Wall).Median();
    const double plainCpu = plain == Steps ? nan : Samples(rounds[plain], Cpu).Median();
    out << std::left << std::setw(labelWidth) << Label(step) << std::right << std::setw(valueWidth)
        << Fixed(wall, 1) << std::setw(valueWidth) << Fixed(plainWall, 1) << std::setw(valueWidth)
        << Fixed(wall / plainWall, 2) << std::setw(valueWidth) << Fixed(cpu, 1)
        << std::setw(valueWidth) << Fixed(plainCpu, 1) << std::setw(valueWidth)
        << Fixed(cpu / plainCpu, 2) << "\n";
  }
  out << std::left << std::setw(labelWidth) << "peak resident memory, long line (KiB)" << std::right
      << std::setw(valueWidth) << editorRssKiB << std::setw(valueWidth) << plainRssKiB
      << std::setw(valueWidth) << Fixed(double(editorRssKiB) / double(plainRssKiB), 2) << "\n"
      << "Targets: the editor within 2x of the plain road; the long line drawn in under 200 ms.\n";
}

void EditorReport::WriteCsv(std::ostream &out) const {
  out << "step,figure,unit,median,lowest,highest\n";
  for (int s = 0; s < Steps; ++s) {
    const Step step = static_cast<Step>(s);
    const SampleSet wall = Samples(rounds[step], Wall);
    const SampleSet cpu = Samples(rounds[step], Cpu);
    out << Name(step) << ",wall,ms," << std::setprecision(6) << wall.Median() << "," << wall.Min()
        << "," << wall.Max() << "\n"
        << Name(step) << ",CPU,ms," << cpu.Median() << "," << cpu.Min() << "," << cpu.Max() << "\n";
  }
  out << "editor,peak resident memory,KiB," << editorRssKiB << "," << editorRssKiB << ","
      << editorRssKiB << "\n"
      << "plain,peak resident memory,KiB," << plainRssKiB << "," << plainRssKiB << ","
      << plainRssKiB << "\n";
}
