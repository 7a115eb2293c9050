#ifndef SKELLAN_BENCH_SAMPLESET_H
#define SKELLAN_BENCH_SAMPLESET_H

#include <cstddef>
#include <vector>

// Measured values of one figure, and the order statistics reported on them.
class SampleSet {
public:
  void Add(double value) { values.push_back(value); }
  void Add(const SampleSet &other);
  std::size_t Size() const { return values.size(); }
  bool Empty() const { return values.empty(); }

  // The nearest-rank percentile, 0 < percent <= 100: the smallest value that
  // at least `percent` per cent of the values do not exceed. NaN when empty.
  double Percentile(double percent) const;
  // The middle value; the mean of the two middle values for an even count.
  double Median() const;
  double Min() const;
  double Max() const;

private:
  std::vector<double> values;
};

#endif
