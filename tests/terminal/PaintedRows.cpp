#include "PaintedRows.h"

#include <cstdlib>
#include <set>

namespace {

struct Attributes {
  std::set<int> numbered; // bold, underline, reverse and the like
  std::string foreground; // "" for the default
  std::string background;
};

std::string Parameters(const Attributes &attributes) {
  std::string parameters;
  for (const int number : attributes.numbered)
    parameters += std::to_string(number) + ";";
  for (const std::string *colour : {&attributes.foreground, &attributes.background})
    if (!colour->empty())
      parameters += *colour + ";";
  if (!parameters.empty())
    parameters.pop_back();
  return parameters;
}

std::vector<std::string> Split(const std::string &parameters) {
  std::vector<std::string> fields(1);
  for (const char c : parameters) {
    if (c == ';')
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

// The colour that starts at fields[at] (38 or 48 and what follows it);
// `at` is left on its last field.
std::string ExtendedColour(const std::vector<std::string> &fields, std::size_t &at) {
  std::string colour = fields[at];
  if (colour.find(':') != std::string::npos || at + 1 >= fields.size())
    return colour;
  const std::size_t more = fields[at + 1] == "5" ? 2 : fields[at + 1] == "2" ? 4 : 1;
  for (std::size_t i = 0; i < more && at + 1 < fields.size(); ++i)
    colour += ";" + fields[++at];
  return colour;
}

void Apply(const std::string &parameters, Attributes &attributes) {
  const std::vector<std::string> fields = Split(parameters);
  for (std::size_t at = 0; at < fields.size(); ++at) {
    const int number = std::atoi(fields[at].c_str());
    if (number == 0) {
      attributes = Attributes();
    } else if (number < 10) {
      attributes.numbered.insert(number);
    } else if (number == 22) {
      attributes.numbered.erase(1);
      attributes.numbered.erase(2);
    } else if (number > 20 && number < 30) {
      attributes.numbered.erase(number - 20);
    } else if ((number >= 30 && number <= 37) || (number >= 90 && number <= 97)) {
      attributes.foreground = fields[at];
    } else if ((number >= 40 && number <= 47) || (number >= 100 && number <= 107)) {
      attributes.background = fields[at];
    } else if (number == 38) {
      attributes.foreground = ExtendedColour(fields, at);
    } else if (number == 48) {
      attributes.background = ExtendedColour(fields, at);
    } else if (number == 39) {
      attributes.foreground.clear();
    } else if (number == 49) {
      attributes.background.clear();
    }
  }
}

} // namespace

std::vector<std::string> PaintedRows(const std::string &capture) {
  std::vector<std::string> rows;
  // tmux writes only what changes from cell to cell, across rows too.
  Attributes attributes;
  std::string row;
  std::string run; // cells with the same attributes, not yet in `row`
  std::string runParameters;
  const auto endRun = [&] {
    if (!run.empty())
      row += runParameters.empty() ? run : "{" + runParameters + ":" + run + "}";
    run.clear();
  };
  for (std::size_t i = 0; i < capture.size(); ++i) {
    const char c = capture[i];
    if (c == '\x1b' && i + 1 < capture.size() && capture[i + 1] == '[') {
      std::size_t end = i + 2;
      while (end < capture.size() && !(capture[end] >= 0x40 && capture[end] <= 0x7e))
        ++end;
      if (end < capture.size() && capture[end] == 'm')
        Apply(capture.substr(i + 2, end - i - 2), attributes);
      i = end;
    } else if (c == '\n') {
      endRun();
      const std::size_t last = row.find_last_not_of(' ');
      rows.push_back(last == std::string::npos ? "" : row.substr(0, last + 1));
      row.clear();
    } else {
      const std::string parameters = Parameters(attributes);
      if (parameters != runParameters) {
        endRun();
        runParameters = parameters;
      }
      run += c;
    }
  }
  return rows;
}
