#ifndef SKELLAN_BENCH_EDITORREPORT_H
#define SKELLAN_BENCH_EDITORREPORT_H

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

// The figures of the line editor on a terminal (README.md, "The line
// editor"): for each step measured, its wall time and the client's CPU time
// in every round, through the editor and through the plain road, which the
// editor's steps are set against; and the peak resident memory of the
// runs with the long line.
class EditorReport {
public:
  enum Step {
    LineAsKeys,     // the long line typed as keys, until the server has it
    LineBracketed,  // the same in a bracketed paste
    RecallDrawn,    // Up on the empty line, until the long line shows
    RecallSent,     // Up and Enter, until the server has the line again
    LinesAsKeys,    // the short lines typed as keys, until the last is in
    LinesBracketed, // the same in one bracketed paste
    PlainLine,      // the long line through the plain road
    PlainLines,     // the short lines through the plain road
    Steps
  };
  static const char *Name(Step step);

  struct Times {
    double wallMs = 0;
    double cpuMs = 0;
  };

  // Describes the two inputs in the labels: `line` the long line, `lines`
  // the short ones.
  EditorReport(const std::string &line, const std::string &lines);
  void Add(Step step, const Times &times) { rounds[step].push_back(times); }
  // The peak resident memory of a run that had the long line, in KiB.
  void AddPeakRss(bool editor, long kib);
  // Notes the 1-minute load average, where the runs start or end.
  void NoteLoad(const std::string &load) { loads.push_back(load); }

  void Print(std::ostream &out) const;
  void WriteCsv(std::ostream &out) const;

private:
  // The plain road's step that one of the editor's is set against; Steps
  // for none.
  static Step Against(Step step);
  std::string Label(Step step) const;

  std::string line;
  std::string lines;
  std::vector<Times> rounds[Steps];
  long editorRssKiB = 0;
  long plainRssKiB = 0;
  std::vector<std::string> loads;
};

#endif
