#include "cli/counting_report.h"

#include <cmath>
#include <iomanip>
#include <sstream>
#include <vector>

#include "cli/output_check.h"
#include "cli/wording.h"
#include "process/cpu_clock.h"

namespace tintara {

namespace {

const std::string kStarLine(79, '*');

// "relative error 0.19 is above the target 0.03", or that it is not known
// while every estimate is 0.
std::string errorAgainstTarget(const EstimateTally& tally, double terr) {
  std::ostringstream text;
  const double u = tally.relativeError();
  if (std::isnan(u)) {
    text << "relative error not yet known";
  } else {
    text << "relative error " << u << " is above the target " << terr;
  }
  return text.str();
}

// "about 5100 more runs, 2 h 13 min", or nothing once the target is met.
std::string forecast(const EstimateTally& tally, double terr, int64_t runsMadeHere,
                     std::chrono::steady_clock::duration elapsed) {
  const double u = tally.relativeError();
  if (!(u > terr) || !std::isfinite(u)) return {};
  // The RE falls as one over the square root of the list's length: the
  // runs and the entry 0.0, or with the parts' means the runs alone.
  const double length = static_cast<double>(tally.runs() + (tally.multipliesMeans() ? 0 : 1));
  const double more = length * ((u / terr) * (u / terr) - 1.0);
  // Beyond 10^12 runs the figure says only that the target is out of
  // reach; converting it would overflow an integer near 2^63.
  constexpr double kFarAhead = 1e12;
  if (!(more <= kFarAhead)) return "more than 10^12 runs";
  std::ostringstream text;
  text << "about " << static_cast<int64_t>(std::ceil(more)) << " more runs";
  if (runsMadeHere > 0) {
    const double seconds =
        std::chrono::duration<double>(elapsed).count() / static_cast<double>(runsMadeHere) * more;
    if (seconds < 60) {
      text << ", " << static_cast<int64_t>(std::ceil(seconds)) << " s";
    } else if (seconds < 3600) {
      text << ", " << static_cast<int64_t>(std::ceil(seconds / 60)) << " min";
    } else if (seconds < 1e9) {
      const auto minutes = static_cast<int64_t>(std::ceil(seconds / 60));
      text << ", " << minutes / 60 << " h " << minutes % 60 << " min";
    }
  }
  return text.str();
}

// What ended the runs short of the target, as a sentence starts, or
// nothing when the target was met.
std::string stopWords(const CountingOutcome& outcome) {
  switch (outcome.end) {
    case CountingEnd::RunBudget:
      return "stopped by --max-runs";
    case CountingEnd::Halted:
      return haltWords(outcome.cause);
    default:
      return {};
  }
}

}  // namespace

void printCountingHeader(std::ostream& out, const RunSettings& s) {
  out << kStarLine << std::endl;
  out << "Starting  experiments for " << s.problem << " using N=" << s.N << ", rho=" << s.rho
      << " and target relative error=" << s.terr << std::endl;
  out << kStarLine << std::endl << kStarLine << std::endl;
  out << "Iteration #  |  iteration estimator | average estimator   |  RE  |  CPU" << std::endl;
  out << kStarLine << std::endl;
  ensureWritten(out);
}

void printLevelCount(std::ostream& out, std::size_t levels) {
  out << kStarLine << std::endl;
  out << "# LEVELS = " << levels << std::endl;
  out << kStarLine << std::endl;
  ensureWritten(out);
}

void printRun(std::ostream& out, const RunRecord& record) {
  out << record.run << " ";
  writeNumber(out, record.estimate);
  out << " ";
  writeNumber(out, record.mean);
  out << " " << record.relativeError << " " << record.cpuSeconds << std::endl;
  ensureWritten(out);
}

namespace {

void printSummaryLine(std::ostream& out, const WideDouble& estimate, double relativeError,
                      double cpuSeconds) {
  out << kStarLine << std::endl;
  out << "**********************    Result Summary    ***********************************"
      << std::endl;
  out << "estimator  |  RE  |  CPU" << std::endl;
  out << kStarLine << std::endl;
  writeNumber(out, estimate);
  out << " " << relativeError << " " << cpuSeconds << std::endl;
  out << kStarLine << std::endl;
  ensureWritten(out);
}

}  // namespace

void printSummary(std::ostream& out, const EstimateTally& tally) {
  printSummaryLine(out, tally.mean(), tally.relativeError(), tally.cpuSeconds());
}

void printExactSummary(std::ostream& out, const WideDouble& probability, int64_t milliseconds) {
  printSummaryLine(out, probability, 0.0, cpuSeconds(milliseconds));
}

void printPilotStagnated(std::ostream& out, double level, int32_t colors) {
  out << "The pilot run stagnated at level " << level << " without reaching a proper coloring with "
      << counted(colors, "color") << ", so no estimate is made" << std::endl;
  ensureWritten(out);
}

ConclusionLines conclusionLines(const CountingOutcome& outcome, double terr) {
  ConclusionLines lines;
  const EstimateTally& tally = outcome.tally;
  const std::string stopped = stopWords(outcome);
  if (!stopped.empty()) {
    lines.stopped =
        stopped + " after " + counted(tally.runs(), "run") + ": " + errorAgainstTarget(tally, terr);
  }
  if (tally.runs() == 0) return lines;
  std::ostringstream plain;
  plain << "plain mean of the " << counted(tally.runs(), "run") << ": ";
  writeNumber(plain, tally.plainMean());
  plain << ", RE " << tally.plainRelativeError()
        << (tally.multipliesMeans()
                ? " (the average above is the product of the parts' means)"
                : " (the average above counts an entry 0.0 before the first run)");
  lines.plainMean = plain.str();
  for (std::size_t p = 0; p < tally.parts().size(); ++p) {
    if (tally.parts()[p].zeros() == tally.runs()) {
      lines.zeroParts.push_back("part " + std::to_string(p + 1) +
                                " gave 0 in every run, so the average is 0 until one of its runs "
                                "does not");
    }
  }
  const TailSigns signs = tailSigns(tally);
  if (!signs.any()) return lines;
  // The signs seen, then what they mean: "12 of 40 runs gave 0, the
  // largest is 43% of their sum: the estimates are strongly skewed ...".
  std::vector<std::string> seen;
  if (signs.manyZeros) {
    seen.push_back(std::to_string(signs.zeroRuns) + " of " + counted(signs.runs, "run") +
                   " gave 0");
  }
  if (signs.largeShare) {
    seen.push_back((seen.empty() ? "the largest of " + counted(signs.runs, "run")
                                 : std::string("the largest")) +
                   " is " + std::to_string(std::lround(100 * signs.largestShare)) +
                   "% of their sum");
  }
  if (signs.wideLogSpread) {
    std::ostringstream spread;
    spread << "the estimates' logarithms have variance " << std::setprecision(2)
           << signs.logVariance;
    seen.push_back(spread.str());
  }
  std::ostringstream skewed;
  if (signs.part >= 0) skewed << "part " << signs.part + 1 << ": ";
  for (std::size_t i = 0; i < seen.size(); ++i) skewed << (i > 0 ? ", " : "") << seen[i];
  skewed << ": the estimates are strongly skewed and their relative error is itself uncertain; ";
  skewed << (signs.manyZeros ? "a larger --N makes fewer runs end at 0"
                             : "a larger --N makes the runs less skewed");
  lines.skewed = skewed.str();
  return lines;
}

void tellConclusion(std::ostream& err, const CountingOutcome& outcome, double terr) {
  const ConclusionLines lines = conclusionLines(outcome, terr);
  for (const std::string* line : {&lines.stopped, &lines.plainMean}) {
    if (!line->empty()) err << *line << std::endl;
  }
  for (const std::string& line : lines.zeroParts) err << line << std::endl;
  if (!lines.skewed.empty()) err << lines.skewed << std::endl;
}

std::string pilotProgressText(int32_t part, int32_t parts, double level, double lowest) {
  std::ostringstream text;
  if (parts > 1) text << "part " << part + 1 << " of " << parts << ": ";
  text << "level " << level << " of the pilot run (from " << lowest << " up to 0)";
  return text.str();
}

std::string runsProgressText(const RunRecord& record, const EstimateTally& tally, double terr,
                             int64_t runsMadeHere, std::chrono::steady_clock::duration elapsed) {
  std::ostringstream text;
  text << "RE " << record.relativeError << " after " << counted(record.run, "run") << " (target "
       << terr << ")";
  const std::string ahead = forecast(tally, terr, runsMadeHere, elapsed);
  if (!ahead.empty()) text << ": " << ahead;
  return text.str();
}

}  // namespace tintara
