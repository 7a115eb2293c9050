#include "StraceSummary.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace {
bool IsCount(const std::string &field) {
  return !field.empty() && field.find_first_not_of("0123456789") == std::string::npos;
}
} // namespace

StraceSummary::StraceSummary(const std::string &path) {
  std::ifstream file(path);
  if (!file)
    throw std::runtime_error("strace wrote no summary to " + path);
  // A header, a rule, a row per call, a rule and the total. A row is
  // "% time, seconds, usecs/call, calls, [errors,] syscall": the errors
  // column is blank for a call that never failed.
  int rules = 0;
  for (std::string line; std::getline(file, line) && rules < 2;) {
    if (line.rfind("------", 0) == 0) {
      ++rules;
      continue;
    }
    if (rules != 1)
      continue;
    std::istringstream row(line);
    std::vector<std::string> fields;
    for (std::string field; row >> field;)
      fields.push_back(field);
    const bool failed = fields.size() == 6;
    if ((fields.size() != 5 && !failed) || !IsCount(fields[3]) || (failed && !IsCount(fields[4])))
      throw std::runtime_error("unexpected row in " + path + ": " + line);
    calls[fields.back()] += std::stoull(fields[3]);
    if (failed)
      failures[fields.back()] += std::stoull(fields[4]);
  }
  if (rules < 2)
    throw std::runtime_error("no table of system calls in " + path);
}
