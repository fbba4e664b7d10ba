#include "numeric/wide_double.h"

#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <limits>
#include <sstream>

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

DecimalForm decimalForm(const WideDouble& x) {
  constexpr int kDigits = 17;
  std::ostringstream general;
  general << std::setprecision(kDigits);
  writeNumber(general, x);
  if (!boost::multiprecision::isfinite(x) || x == 0) return {general.str(), toDouble(x), 0};
  // The scientific form rounds at the same digit as the general one, so the
  // mantissa and exponent carry the text's digits.
  std::ostringstream scientific;
  scientific << std::scientific << std::setprecision(kDigits - 1);
  writeNumber(scientific, x);
  const std::string digits = scientific.str();
  const std::size_t e = digits.find_first_of("eE");
  return {general.str(), std::strtod(digits.substr(0, e).c_str(), nullptr),
          std::strtoll(digits.c_str() + e + 1, nullptr, 10)};
}

}  // namespace tintara
