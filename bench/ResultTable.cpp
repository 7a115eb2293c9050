#include "ResultTable.h"

#include <cmath>
#include <iomanip>
#include <limits>
#include <ostream>
#include <sstream>

namespace {
constexpr int figureWidth = 34;
constexpr int unitWidth = 6;
constexpr int valueWidth = 11;
constexpr int ratioWidth = 15;

std::string Format(double value, int precision) {
  if (std::isnan(value))
    return "-";
  std::ostringstream text;
  text << std::fixed << std::setprecision(precision) << value;
  return text.str();
}

// Enough digits to tell runs apart, whatever the size of the figure.
int PrecisionFor(double value) {
  return std::fabs(value) >= 1000 ? 0 : std::fabs(value) >= 10 ? 1 : 2;
}
} // namespace

ResultTable::ResultTable(std::vector<std::string> names) : clients(std::move(names)) {}

void ResultTable::Add(const std::string &figure, const std::string &unit, bool lowerIsBetter,
                      const std::map<std::string, double> &values) {
  rows.push_back(Row{figure, unit, lowerIsBetter, values});
}

std::vector<std::string> ResultTable::Others() const {
  std::vector<std::string> others;
  bool hasSkellan = false;
  for (const std::string &client : clients) {
    if (client == "skellan")
      hasSkellan = true;
    else
      others.push_back(client);
  }
  return hasSkellan ? others : std::vector<std::string>();
}

double ResultTable::Ratio(const Row &row, const std::string &other) {
  auto mine = row.values.find("skellan");
  auto theirs = row.values.find(other);
  if (mine == row.values.end() || theirs == row.values.end() || theirs->second == 0)
    return std::numeric_limits<double>::quiet_NaN();
  return mine->second / theirs->second;
}

void ResultTable::Print(std::ostream &out) const {
  out << std::left << std::setw(figureWidth) << "figure" << std::setw(unitWidth) << "unit"
      << std::right;
  for (const std::string &client : clients)
    out << std::setw(valueWidth) << client;
  for (const std::string &other : Others())
    out << std::setw(ratioWidth) << ("skellan/" + other);
  out << "  better\n";
  for (const Row &row : rows) {
    out << std::left << std::setw(figureWidth) << row.figure << std::setw(unitWidth) << row.unit
        << std::right;
    for (const std::string &client : clients) {
      auto value = row.values.find(client);
      double shown =
          value == row.values.end() ? std::numeric_limits<double>::quiet_NaN() : value->second;
      out << std::setw(valueWidth) << Format(shown, PrecisionFor(shown));
    }
    for (const std::string &other : Others())
      out << std::setw(ratioWidth) << Format(Ratio(row, other), 2);
    out << "  " << (row.lowerIsBetter ? "lower" : "higher") << "\n";
  }
}

void ResultTable::WriteCsv(std::ostream &out) const {
  out << "figure,unit,better";
  for (const std::string &client : clients)
    out << "," << client;
  for (const std::string &other : Others())
    out << ",skellan/" << other;
  out << "\n";
  for (const Row &row : rows) {
    out << row.figure << "," << row.unit << "," << (row.lowerIsBetter ? "lower" : "higher");
    for (const std::string &client : clients) {
      auto value = row.values.find(client);
      out << ",";
      if (value != row.values.end() && !std::isnan(value->second))
        out << std::setprecision(6) << value->second;
    }
    for (const std::string &other : Others()) {
      double ratio = Ratio(row, other);
      out << ",";
      if (!std::isnan(ratio))
        out << std::setprecision(4) << ratio;
    }
    out << "\n";
  }
}
