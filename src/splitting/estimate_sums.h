// Running sums of a list of estimates, from which the list's mean and
// relative error follow in O(1) a run.
//
// The two-pass statistics of estimate_list.h read every estimate again at
// every run: a counting experiment of m runs paid O(m^2), minutes at 10^4
// runs. Here each estimate is added once, to three sums:
//   - the sum in WideDouble, added in list order: the very sum meanOf forms,
//     so that the mean, and every average the report prints, is meanOf's bit
//     for bit;
//   - the sum and the sum of squares in a 256-bit binary float, exact while
//     the estimates' exponents span less than about 150 bits (a factor of
//     10^45 between the largest and the smallest), and within 2^-200 of the
//     exact sums beyond;
// and the squared deviations from the mean m are then
// sum of (x - m)^2 = Q - 2 m S + n m^2, formed in the same 256 bits. The
// relative error so rounds once, at the end, where relativeError rounds
// every deviation, square and addition to 53 bits. The two differ in the
// last bits of the double (a relative 1e-15 or so): the tests hold the 6
// digits a report prints and the stop decisions to the two-pass figures on
// recorded experiments. Rejected: Welford's update in WideDouble, which
// rounds at every run and drifts from the two-pass figure as runs
// accumulate.
#pragma once

#include <cstdint>

#include <boost/multiprecision/cpp_bin_float.hpp>

#include "numeric/wide_double.h"

namespace tintara {

class EstimateSums {
 public:
  // Adds an estimate (0 or more) at the end of the list.
  void add(const WideDouble& x);

  // The estimates added.
  int64_t count() const { return added; }
  int64_t zeros() const { return zeroCount; }
  // The largest estimate added, 0 for none.
  const WideDouble& largest() const { return maximum; }
  // Their sum, added in order in WideDouble.
  const WideDouble& sum() const { return orderedSum; }

  // The mean and the relative error (population standard deviation over
  // |mean| * sqrt(entries)) of the list made of `leadingZeros` entries 0.0
  // followed by the estimates, as meanOf and relativeError give them: the
  // mean NaN for an empty list, the relative error NaN for an empty list or
  // a zero mean.
  WideDouble mean(int64_t leadingZeros = 0) const;
  double relativeError(int64_t leadingZeros = 0) const;

  // The sample variance of the estimates (divisor count - 1) over count
  // times the squared mean: the squared relative error of their mean as an
  // estimate of its expectation. NaN before two estimates or with a zero
  // mean.
  double relativeVarianceOfMean() const;

  // The sample variance (divisor - 1) of the natural logarithms of the
  // estimates above 0, and how many there are: the spread of log-normal-like
  // estimates, whatever their scale. NaN before two such estimates.
  double logVariance() const;
  int64_t positiveCount() const { return added - zeroCount; }

 private:
  using ExactSum = boost::multiprecision::number<
      boost::multiprecision::cpp_bin_float<256, boost::multiprecision::digit_base_2, void, int64_t,
                                           -(int64_t{1} << 52), int64_t{1} << 52>,
      boost::multiprecision::et_off>;

  // The sum of (x - m)^2 over `entries` entries (the estimates and zeros
  // entries 0.0), never below 0.
  ExactSum squaredDeviations(const ExactSum& m, int64_t entries) const;

  int64_t added = 0;
  int64_t zeroCount = 0;
  WideDouble orderedSum = 0;
  WideDouble maximum = 0;
  ExactSum exactSum = 0;
  ExactSum exactSquares = 0;
  // Welford's mean and sum of squared deviations of ln x over x > 0: the
  // logarithms of one experiment's estimates lie within a few units of each
  // other, far from any rounding trouble.
  double logMean = 0.0;
  double logSquares = 0.0;
};

}  // namespace tintara
