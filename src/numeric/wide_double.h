// The number type of estimates and of everything computed from them.
//
// An estimate is a product of level fractions, each at least 1/N, over
// hundreds or thousands of levels: 1e-400 is an ordinary result, far below
// the smallest double (and the squared deviations of the relative error go
// below it from about 1e-154). WideDouble keeps a double's 53-bit mantissa
// and takes a 64-bit exponent, so no product of level fractions leaves its
// range. Its arithmetic and square root are correctly rounded, like a
// double's: wherever a double neither underflows nor overflows, every result
// is the double's, bit for bit, and so is every printed digit.
//
// Rejected: log arithmetic, whose sums (of estimates, of squared deviations)
// would round differently from a double's; and a long double, whose
// exponent reaches only about 1e-4951 and whose digits differ.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include <boost/multiprecision/cpp_bin_float.hpp>

namespace tintara {

using WideDouble = boost::multiprecision::number<
    boost::multiprecision::cpp_bin_float<53, boost::multiprecision::digit_base_2, void, int64_t,
                                         -(int64_t{1} << 50), int64_t{1} << 50>,
    boost::multiprecision::et_off>;

// The nearest double (exact when x is within a double's normal range).
inline double toDouble(const WideDouble& x) {
  return x.convert_to<double>();
}

// Writes x with the stream's format as the double of the same value would be
// written (6 significant digits by default, 1.23456e-394 style beyond a
// double's range).
void writeNumber(std::ostream& out, const WideDouble& x);

// x as mantissa * 2^exponent with a double mantissa (0.5 <= |m| < 1, or x
// itself when it is 0, infinite or NaN): exact, so that an estimate crosses
// a process boundary bit for bit. Rejected: the decimal string form, longer
// and slower to read back for the same exactness.
struct WideDoubleParts {
  double mantissa = 0.0;
  int64_t exponent = 0;
};
WideDoubleParts splitWide(const WideDouble& x);
WideDouble joinWide(const WideDoubleParts& parts);

// x in decimal to 17 significant digits, enough to read the same value back
// at any exponent: `text` as writeNumber writes it at that precision
// ("0.012982000000000001", "6.7712345678901234e-394"), and the same digits
// as mantissa * 10^exponent10 with 1 <= |mantissa| < 10 (the double nearest
// to them), the exponent an integer of its own so that it may lie beyond a
// double's range. For 0, an infinity or NaN the mantissa is x itself and
// exponent10 is 0.
struct DecimalForm {
  std::string text;
  double mantissa = 0.0;
  int64_t exponent10 = 0;
};
DecimalForm decimalForm(const WideDouble& x);

}  // namespace tintara
