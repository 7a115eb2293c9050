#ifndef SKELLAN_BENCH_RESULTTABLE_H
#define SKELLAN_BENCH_RESULTTABLE_H

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

// The figures of one benchmark run, one row each, with a column per client
// and the ratios of skellan to each other client.
class ResultTable {
public:
  explicit ResultTable(std::vector<std::string> clients);

  // `values` by client name; a client left out shows as empty.
  void Add(const std::string &figure, const std::string &unit, bool lowerIsBetter,
           const std::map<std::string, double> &values);
  void Print(std::ostream &out) const;
  void WriteCsv(std::ostream &out) const;

private:
  struct Row {
    std::string figure;
    std::string unit;
    bool lowerIsBetter;
    std::map<std::string, double> values;
  };
  // The clients skellan is compared with, in column order.
  std::vector<std::string> Others() const;
  // skellan's value over the other's; NaN when either is missing.
  static double Ratio(const Row &row, const std::string &other);

  std::vector<std::string> clients;
  std::vector<Row> rows;
};

#endif
