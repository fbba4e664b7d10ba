#include "splitting/estimate_sums.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace tintara {

void EstimateSums::add(const WideDouble& x) {
  ++added;
  if (x == 0) ++zeroCount;
  if (x > maximum) maximum = x;
  orderedSum += x;
  const ExactSum wide(x);
  exactSum += wide;
  exactSquares += wide * wide;
  if (x > 0) {
    // ln x from x's binary parts: x itself may lie far below a double.
    const WideDoubleParts parts = splitWide(x);
    const double lnX =
        std::log(parts.mantissa) + static_cast<double>(parts.exponent) * std::numbers::ln2;
    const auto positives = static_cast<double>(added - zeroCount);
    const double delta = lnX - logMean;
    logMean += delta / positives;
    logSquares += delta * (lnX - logMean);
  }
}

double EstimateSums::logVariance() const {
  const int64_t positives = added - zeroCount;
  if (positives < 2) return std::numeric_limits<double>::quiet_NaN();
  return logSquares / static_cast<double>(positives - 1);
}

WideDouble EstimateSums::mean(int64_t leadingZeros) const {
  // As meanOf: the ordered sum (leading zeros add nothing) over the count.
  return orderedSum / static_cast<double>(added + leadingZeros);
}

EstimateSums::ExactSum EstimateSums::squaredDeviations(const ExactSum& m, int64_t entries) const {
  // The leading zeros' deviations, m^2 each, are in entries * m^2.
  const ExactSum squares = exactSquares - 2 * m * exactSum + ExactSum(entries) * m * m;
  return squares > 0 ? squares : ExactSum(0);
}

double EstimateSums::relativeError(int64_t leadingZeros) const {
  const int64_t entries = added + leadingZeros;
  if (entries == 0) return std::numeric_limits<double>::quiet_NaN();
  const WideDouble m = mean(leadingZeros);
  const ExactSum squares = squaredDeviations(ExactSum(m), entries);
  // A zero mean gives the division's own NaN, as relativeError does: the
  // report prints "-nan" while every estimate is 0.
  if (m == 0) {
    const double s = sqrt(squares / entries).convert_to<double>();
    return s / (0.0 * std::sqrt(static_cast<double>(entries)));
  }
  // sqrt(squares / n) / (|m| sqrt(n)) = sqrt(squares) / (|m| n).
  return (sqrt(squares) / (abs(ExactSum(m)) * entries)).convert_to<double>();
}

double EstimateSums::relativeVarianceOfMean() const {
  if (added < 2 || orderedSum == 0) return std::numeric_limits<double>::quiet_NaN();
  const ExactSum m = ExactSum(exactSum) / added;
  const ExactSum variance = squaredDeviations(m, added) / (added - 1);
  return (variance / (ExactSum(added) * m * m)).convert_to<double>();
}

}  // namespace tintara
