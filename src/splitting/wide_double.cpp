#include "splitting/wide_double.h"

#include <cmath>
#include <limits>

namespace tintara {

void writeNumber(std::ostream& out, const WideDouble& x) {
  // Where a double holds the value exactly (zero, NaN, or a normal number)
  // the double itself is written, so that the digits are the C library's;
  // only values beyond a double's range go through the wide type's own
  // formatting, which follows the same stream flags.
  const double d = toDouble(x);
  const bool doubleHoldsIt =
      x == 0 || std::isnan(d) ||
      (std::isfinite(d) && std::fabs(d) >= std::numeric_limits<double>::min());
  if (doubleHoldsIt) {
    out << d;
  } else {
    out << x;
  }
}

WideDoubleParts splitWide(const WideDouble& x) {
  if (!boost::multiprecision::isfinite(x) || x == 0) return {toDouble(x), 0};
  long long exponent = 0;
  const WideDouble mantissa = frexp(x, &exponent);
  // 53 bits in [0.5, 1): a double holds it exactly.
  return {toDouble(mantissa), static_cast<int64_t>(exponent)};
}

WideDouble joinWide(const WideDoubleParts& parts) {
  return ldexp(WideDouble(parts.mantissa), static_cast<long long>(parts.exponent));
}

}  // namespace tintara
