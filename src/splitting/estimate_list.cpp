#include "splitting/estimate_list.h"

#include <cmath>
#include <limits>

namespace tintara {

WideDouble meanOf(const EstimateList& values) {
  WideDouble sum = 0;
  for (const WideDouble& x : values) sum += x;
  return sum / static_cast<double>(values.size());
}

double relativeError(const EstimateList& values) {
  if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
  const WideDouble n = static_cast<double>(values.size());
  const WideDouble m = meanOf(values);
  WideDouble squares = 0;
  for (const WideDouble& x : values) squares += (x - m) * (x - m);
  const WideDouble s = sqrt(squares / n);
  // A zero mean gives the double division's own NaN (or infinity), which
  // the report prints as "-nan" while every estimate is 0.
  if (m == 0) return toDouble(s) / (0.0 * std::sqrt(toDouble(n)));
  return toDouble(s / (abs(m) * sqrt(n)));
}

}  // namespace tintara
