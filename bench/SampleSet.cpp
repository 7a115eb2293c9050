#include "SampleSet.h"

#include <algorithm>
#include <cmath>
#include <limits>

void SampleSet::Add(const SampleSet &other) {
  values.insert(values.end(), other.values.begin(), other.values.end());
}

double SampleSet::Percentile(double percent) const {
  if (values.empty())
    return std::numeric_limits<double>::quiet_NaN();
  std::vector<double> sorted(values);
  std::size_t rank = static_cast<std::size_t>(std::ceil(percent / 100.0 * sorted.size()));
  rank = std::min(std::max<std::size_t>(rank, 1), sorted.size());
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(rank - 1),
                   sorted.end());
  return sorted[rank - 1];
}

double SampleSet::Median() const {
  if (values.empty())
    return std::numeric_limits<double>::quiet_NaN();
  std::vector<double> sorted(values);
  std::sort(sorted.begin(), sorted.end());
  const std::size_t middle = sorted.size() / 2;
  return sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2.0;
}

double SampleSet::Min() const {
  if (values.empty())
    return std::numeric_limits<double>::quiet_NaN();
  return *std::min_element(values.begin(), values.end());
}

double SampleSet::Max() const {
  if (values.empty())
    return std::numeric_limits<double>::quiet_NaN();
  return *std::max_element(values.begin(), values.end());
}
