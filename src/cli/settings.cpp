#include "cli/settings.h"

#include <cmath>
#include <sstream>

namespace tintara {

namespace {

template <typename T>
std::string outOfRange(const char* option, T value, const char* allowed) {
  std::ostringstream out;
  out << "Invalid value for option " << option << ": " << value << " (allowed: " << allowed << ")";
  return out.str();
}

std::optional<std::string> checkPopulationSettings(int32_t N, double rho) {
  if (N < 1) return outOfRange("N", N, "N >= 1");
  // Written so that NaN fails too.
  if (!(rho >= 0.0 && rho < 1.0)) return outOfRange("rho", rho, "0 <= rho < 1");
  return std::nullopt;
}

}  // namespace

std::optional<std::string> checkCountingSettings(int32_t colors, int32_t N, double rho,
                                                 double terr) {
  if (colors < 1) return outOfRange("colors", colors, "colors >= 1");
  if (auto error = checkPopulationSettings(N, rho)) return error;
  if (!(terr > 0.0 && std::isfinite(terr))) {
    return outOfRange("terr", terr, "a finite number above 0");
  }
  return std::nullopt;
}

std::optional<std::string> checkChromaticSettings(int32_t N, double rho) {
  return checkPopulationSettings(N, rho);
}

}  // namespace tintara
