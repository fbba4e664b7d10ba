#include "engine/journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <utility>

#include <boost/crc.hpp>

#include "coloring/proper_coloring.h"
#include "exact/parts.h"
#include "io/file_output.h"
#include "io/path_names.h"
#include "process/failures.h"

namespace tintara {

namespace {

constexpr const char* kMagic = "tintara-journal";
constexpr int kOldestVersion = 1;
constexpr int kVersion = 3;
// The first version whose lines carry checksums, and whose checksums chain.
constexpr int kChecksummed = 2;
constexpr int kChained = 3;

std::function<void(JournalStep)>& stepHook() {
  static std::function<void(JournalStep)> hook;
  return hook;
}

void reach(JournalStep step) {
  if (stepHook()) stepHook()(step);
}

std::string shownPath(const std::string& path) {
  return "journal " + printable(path);
}

// CRC-32C (Castagnoli), whose error detection is better than the older
// CRC-32's on short messages; Boost.CRC computes it. From version 3 on a
// line's checksum covers the checksum of the line before it too (its four
// bytes, most significant first, before the line's own bytes; nothing
// before the first line), so that every line is tied to its place in its
// own journal: a line moved, or spliced in from another journal, breaks
// the chain where it stands.
uint32_t lineChecksum(std::string_view bytes, const std::optional<uint32_t>& previous) {
  boost::crc_optimal<32, 0x1EDC6F41, 0xFFFFFFFF, 0xFFFFFFFF, true, true> crc;
  if (previous) {
    const unsigned char before[4] = {
        static_cast<unsigned char>(*previous >> 24), static_cast<unsigned char>(*previous >> 16),
        static_cast<unsigned char>(*previous >> 8), static_cast<unsigned char>(*previous)};
    crc.process_bytes(before, sizeof before);
  }
  crc.process_bytes(bytes.data(), bytes.size());
  return crc.checksum();
}

// `content` as a line of `version`: with its checksum from version 2 on,
// chained to `chain` (the checksum of the line before, none for the first
// line) from version 3 on, where `chain` becomes this line's.
std::string journalLine(const std::string& content, int version, std::optional<uint32_t>& chain) {
  if (version < kChecksummed) return content + "\n";
  const uint32_t sum = lineChecksum(content, version >= kChained ? chain : std::nullopt);
  chain = sum;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, " ~%08" PRIx32 "\n", sum);
  return content + suffix;
}

// The words of one line, read in turn; every read says what it expected,
// so that damage is named by line and field.
class LineReader {
 public:
  LineReader(const std::string& path, std::size_t number, std::string_view line)
      : path(&path), number(number), line(line) {}

  [[noreturn]] void damaged(const std::string& what) const {
    throw InputError(shownPath(*path) + " is damaged at line " + std::to_string(number) + ": " +
                     what);
  }

  std::string_view word() {
    while (at < line.size() && line[at] == ' ') ++at;
    const std::size_t start = at;
    while (at < line.size() && line[at] != ' ') ++at;
    return line.substr(start, at - start);
  }

  void expectKey(const char* key) {
    if (word() != key) damaged(std::string("expected \"") + key + "\"");
  }

  template <typename T>
  T integer(const char* what, int base = 10) {
    const std::string_view text = word();
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
      damaged(std::string("expected ") + what);
    }
    return value;
  }

  double real(const char* what) {
    const std::string text(word());
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE ||
        !std::isfinite(value)) {
      damaged(std::string("expected ") + what);
    }
    return value;
  }

  void expectEnd() {
    if (!word().empty()) damaged("unexpected words at the end");
  }

 private:
  const std::string* path;
  std::size_t number;
  std::string_view line;
  std::size_t at = 0;
};

// The whole of the file open at `fd`.
std::string wholeFile(int fd, const std::string& path) {
  std::string text;
  char buffer[1 << 16];
  for (off_t at = 0;;) {
    const ssize_t got = ::pread(fd, buffer, sizeof buffer, at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw InputError(shownPath(path) + " cannot be read: " + std::strerror(errno));
    if (got == 0) return text;
    text.append(buffer, static_cast<std::size_t>(got));
    at += got;
  }
}

// The length of `text` up to and including its last line end, once a tail
// of zero bytes is set aside.
std::size_t completeLength(const std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] == '\0') --end;
  const std::size_t lastLineEnd = text.rfind('\n', end == 0 ? 0 : end - 1);
  if (end == 0 || lastLineEnd == std::string::npos) return 0;
  return lastLineEnd + 1;
}

// The complete lines of a journal, in turn, their checksums checked and
// taken off from version 2 on.
class JournalLines {
 public:
  JournalLines(const std::string& path, const std::string& text, std::size_t complete)
      : path(path), text(text), complete(complete) {}

  void setVersion(int format) { version = format; }
  bool atEnd() const { return at >= complete; }
  std::size_t number() const { return count; }

  // The next line's reader; nothing when no complete line is left.
  std::optional<LineReader> next() {
    if (atEnd()) return std::nullopt;
    const std::size_t end = text.find('\n', at);
    std::string_view line = std::string_view(text).substr(at, end - at);
    at = end + 1;
    ++count;
    LineReader read(path, count, line);
    if (line.find('\0') != std::string_view::npos) read.damaged("zero bytes inside the journal");
    if (version >= kChecksummed) {
      // " ~" and eight hex digits.
      constexpr std::size_t kSuffix = 10;
      uint32_t sum = 0;
      const char* digits = line.data() + line.size() - 8;
      if (line.size() < kSuffix || line.substr(line.size() - kSuffix, 2) != " ~" ||
          std::from_chars(digits, digits + 8, sum, 16).ptr != digits + 8) {
        read.damaged("expected a checksum at the end of the line");
      }
      line = line.substr(0, line.size() - kSuffix);
      if (version < kChained) {
        if (lineChecksum(line, std::nullopt) != sum) {
          read.damaged("its checksum does not match its content");
        }
      } else if (lineChecksum(line, chain) != sum) {
        read.damaged(
            "its checksum does not match its content and the line before it (a changed line, "
            "or a line that does not belong here: moved, or from another journal)");
      }
      chain = sum;
    }
    return LineReader(path, count, line);
  }

  // The checksum of the last line read: the chain a new line continues.
  const std::optional<uint32_t>& lastChecksum() const { return chain; }

 private:
  const std::string& path;
  const std::string& text;
  std::size_t complete;
  std::size_t at = 0;
  std::size_t count = 0;
  int version = 0;  // no checksum on the first line: it tells the version
  std::optional<uint32_t> chain;
};

// Levels as a pilot run makes them: whole numbers, at least two, the last
// 0, never decreasing from the second on (the second may lie below the
// first, which is -vertexCount, checked with the graph).
void checkLevels(LineReader& read, const LevelList& levels) {
  if (levels.size() < 2) read.damaged("fewer than two levels");
  for (double level : levels) {
    if (level != std::floor(level) || level > 0) read.damaged("a level that no run sets");
  }
  if (levels.back() != 0) read.damaged("the last level is not 0");
  for (std::size_t i = 2; i < levels.size(); ++i) {
    if (levels[i] < levels[i - 1]) read.damaged("the levels decrease");
  }
}

// The smallest non-zero estimate of a run, and of each part's run, that
// these parts allow: each level factor is at least 1/N. Taken a little
// lower, so that a product rounded in another order still passes.
struct EstimateRange {
  WideDouble smallest;
  std::vector<WideDouble> smallestOfPart;
};

EstimateRange estimateRange(const JournalHeader& header) {
  EstimateRange range;
  WideDouble smallest = header.exactFactor;
  const WideDouble factor = WideDouble(1) / WideDouble(header.N);
  for (const JournalPart& part : header.parts) {
    WideDouble ofPart = 1;
    for (std::size_t i = 1; i < part.levels.size(); ++i) ofPart *= factor;
    smallest *= ofPart;
    range.smallestOfPart.push_back(ofPart * 0.999999);
  }
  range.smallest = smallest * 0.999999;
  return range;
}

JournalPart readPart(JournalLines& lines) {
  JournalPart part;
  std::optional<LineReader> read = lines.next();
  if (!read) return part;
  read->expectKey("levels");
  const auto count = read->integer<uint32_t>("the number of levels");
  part.levels.reserve(std::min<uint32_t>(count, 1u << 20));
  for (uint32_t i = 0; i < count; ++i) part.levels.push_back(read->real("a level"));
  read->expectEnd();
  checkLevels(*read, part.levels);

  read = lines.next();
  if (!read) return part;
  read->expectKey("coloring");
  const auto vertices = read->integer<uint32_t>("the number of vertices");
  part.coloring.reserve(std::min<uint32_t>(vertices, 1u << 24));
  for (uint32_t i = 0; i < vertices; ++i) {
    part.coloring.push_back(read->integer<int32_t>("a colour"));
  }
  read->expectEnd();
  return part;
}

// An estimate written as M E (M * 2^E): 0, or a probability no smaller than
// `smallest`.
WideDouble readEstimate(LineReader& read, const WideDouble& smallest) {
  WideDoubleParts parts;
  parts.mantissa = read.real("the estimate's mantissa");
  parts.exponent = read.integer<int64_t>("the estimate's exponent");
  const bool zero = parts.mantissa == 0 && parts.exponent == 0;
  if (!zero && !(parts.mantissa >= 0.5 && parts.mantissa < 1)) {
    read.damaged("the estimate's mantissa is out of range");
  }
  // M * 2^E <= 1 needs E <= 1; the floor keeps ldexp far from the wide
  // type's own exponent range, where the value would turn infinite or 0.
  constexpr int64_t kLowestExponent = -(int64_t{1} << 48);
  if (parts.exponent > 1 || parts.exponent < kLowestExponent) {
    read.damaged("the estimate is not a probability");
  }
  const WideDouble estimate = joinWide(parts);
  if (!zero && (estimate > 1 || estimate < smallest)) {
    read.damaged("the estimate is outside the range these levels and N allow");
  }
  return estimate;
}

// A run line: its number, its estimate, its processor milliseconds, and
// with the parts' own estimates (partEstimatesKept) one estimate a part,
// whose product with the exact factor is the run's estimate.
CountingRun readRunLine(LineReader& read, int64_t expected, const JournalHeader& header,
                        const EstimateRange& range) {
  read.expectKey("run");
  if (read.integer<int64_t>("the run's number") != expected) {
    read.damaged("expected run " + std::to_string(expected));
  }
  CountingRun run;
  run.estimate = readEstimate(read, range.smallest);
  run.cpuMilliseconds = read.integer<int64_t>("the run's processor milliseconds");
  if (run.cpuMilliseconds < 0) read.damaged("negative processor time");
  if (partEstimatesKept(header)) {
    WideDouble product = header.exactFactor;
    for (const WideDouble& smallest : range.smallestOfPart) {
      run.partEstimates.push_back(readEstimate(read, smallest));
      product *= run.partEstimates.back();
    }
    if (product != run.estimate) read.damaged("the estimate is not the product of its parts'");
  }
  read.expectEnd();
  return run;
}

// What a journal's text holds, and how much of it to keep: the text up to
// its last complete line, or none of it when only part of the header was
// written (no run is lost with it).
struct ParsedJournal {
  std::optional<JournalContents> contents;
  std::size_t keptBytes = 0;
  bool zeroBytesOnly = false;
  std::optional<uint32_t> lastChecksum;  // of the last line kept, from version 3 on
};

// The first line's format version, its checksum checked from version 2 on;
// 0 when the first line was cut short. The version is read from the text
// before the line, since it says whether the line carries a checksum.
int readVersion(JournalLines& lines, const std::string& text, const std::string& path) {
  const std::size_t versionAt = std::strlen(kMagic) + 1;
  const std::size_t versionEnd = text.find_first_not_of("0123456789", versionAt);
  int version = 0;
  if (versionEnd != std::string::npos && versionEnd > versionAt) {
    std::from_chars(text.data() + versionAt, text.data() + versionEnd, version);
    lines.setVersion(version);
  }
  std::optional<LineReader> read = lines.next();
  if (!read) return 0;
  if (read->word() != kMagic) throw InputError(shownPath(path) + " is not a tintara journal");
  version = read->integer<int>("the format version");
  if (version < kOldestVersion || version > kVersion) {
    throw InputError(shownPath(path) + " has format version " + std::to_string(version) +
                     "; this program reads versions " + std::to_string(kOldestVersion) + " to " +
                     std::to_string(kVersion));
  }
  read->expectEnd();
  return version;
}

// The header's lines after the first; false when they were cut short.
bool readHeader(JournalLines& lines, int version, JournalHeader& header) {
  // Reads the next line as `key` and its value; false when the header was
  // cut short before it.
  const auto field = [&lines](const char* key, const auto& value) {
    std::optional<LineReader> line = lines.next();
    if (!line) return false;
    line->expectKey(key);
    value(*line);
    line->expectEnd();
    return true;
  };
  const bool fieldsRead =
      field(
          "graph",
          [&](LineReader& r) { header.graphHash = r.integer<uint64_t>("the graph's hash", 16); }) &&
      field("colors",
            [&](LineReader& r) {
              header.colors = r.integer<int32_t>("the number of colours");
              if (header.colors < 1) r.damaged("fewer than one colour");
            }) &&
      field("N",
            [&](LineReader& r) {
              header.N = r.integer<int32_t>("N");
              if (header.N < 1) r.damaged("N below 1");
            }) &&
      field("rho",
            [&](LineReader& r) {
              header.rho = r.real("rho");
              if (!(header.rho >= 0 && header.rho < 1)) r.damaged("rho outside [0, 1)");
            }) &&
      field("seed", [&](LineReader& r) { header.seed = r.integer<uint64_t>("the seed"); }) &&
      (version < 2 || field("decompose", [&](LineReader& r) {
         const int decompose = r.integer<int>("0 or 1");
         if (decompose != 0 && decompose != 1) r.damaged("expected decompose 0 or 1");
         header.decompose = decompose == 1;
       }));
  if (!fieldsRead) return false;
  uint32_t parts = 1;
  if (header.decompose) {
    // Before version 3 the plan was the blocks' alone.
    header.plan = 1;
    const bool partsRead =
        (version < kChained || field("plan",
                                     [&](LineReader& r) {
                                       header.plan = r.integer<int32_t>("the plan's version");
                                       if (header.plan < 1 || header.plan > kPartsPlanVersion) {
                                         r.damaged("a plan version this program does not know");
                                       }
                                     })) &&
        field("exact",
              [&](LineReader& r) {
                WideDoubleParts factor;
                factor.mantissa = r.real("the exact factor's mantissa");
                factor.exponent = r.integer<int64_t>("the exact factor's exponent");
                if (!(factor.mantissa >= 0.5 && factor.mantissa < 1) || factor.exponent > 1 ||
                    factor.exponent < -(int64_t{1} << 48)) {
                  r.damaged("the exact factor is not a probability above 0");
                }
                header.exactFactor = joinWide(factor);
                if (header.exactFactor > 1) r.damaged("the exact factor is above 1");
              }) &&
        field("parts", [&](LineReader& r) {
          parts = r.integer<uint32_t>("the number of parts");
          if (parts < 1) r.damaged("no part to make runs of");
        });
    if (!partsRead) return false;
  }
  for (uint32_t p = 0; p < parts; ++p) {
    const std::size_t levelsLine = lines.number() + 1;
    header.parts.push_back(readPart(lines));
    if (lines.number() != levelsLine + 1) return false;  // its levels and its colouring
  }
  return true;
}

ParsedJournal parseJournal(const std::string& text, const std::string& path) {
  ParsedJournal parsed;
  if (std::all_of(text.begin(), text.end(), [](char c) { return c == '\0'; })) {
    parsed.zeroBytesOnly = !text.empty();
    return parsed;
  }
  // A header cut short starts like the first line, or with all of it.
  const std::string opening = std::string(kMagic) + " ";
  const std::size_t shared = std::min(text.size(), opening.size());
  if (text.compare(0, shared, opening, 0, shared) != 0) {
    throw InputError(shownPath(path) + " is not a tintara journal");
  }
  const std::size_t complete = completeLength(text);
  JournalLines lines(path, text, complete);
  JournalContents contents;
  // Once the lines run out inside the header, it was cut short: nothing is
  // kept, and no run is lost with it.
  contents.version = readVersion(lines, text, path);
  if (contents.version == 0 || !readHeader(lines, contents.version, contents.header)) {
    return parsed;
  }
  const EstimateRange range = estimateRange(contents.header);
  while (std::optional<LineReader> run = lines.next()) {
    contents.runs.push_back(
        readRunLine(*run, static_cast<int64_t>(contents.runs.size()) + 1, contents.header, range));
  }
  parsed.contents = std::move(contents);
  parsed.keptBytes = complete;
  parsed.lastChecksum = lines.lastChecksum();
  return parsed;
}

// x as the journal writes it: "M E", x = M * 2^E (splitWide's parts), M to
// the 17 digits that read back to the same double.
std::string binaryParts(const WideDouble& x) {
  const WideDoubleParts parts = splitWide(x);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g %" PRId64, parts.mantissa, parts.exponent);
  return buffer;
}

[[noreturn]] void writeFailed(const std::string& path, int error) {
  throw WriteError(shownPath(path) + ": " + std::strerror(error));
}

}  // namespace

bool partEstimatesKept(const JournalHeader& header) {
  return header.decompose && header.plan >= 2 && header.parts.size() >= 2;
}

void setJournalStepHook(std::function<void(JournalStep)> hook) {
  stepHook() = std::move(hook);
}

std::optional<JournalHeader> journalHeader(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<JournalHeader> header;
  try {
    ParsedJournal parsed = parseJournal(wholeFile(fd, path), path);
    if (parsed.contents) header = std::move(parsed.contents->header);
  } catch (const InputError&) {
    // Reported when the journal is opened.
  }
  ::close(fd);
  return header;
}

namespace {

// The shortest text that reads back to `x`.
std::string shortest(double x) {
  char buffer[32];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, x).ptr);
}

}  // namespace

std::optional<std::string> journalDifference(const JournalHeader& there, const JournalHeader& here,
                                             bool compareSeed) {
  const auto differs = [](const char* field, const std::string& a, const std::string& b) {
    return std::string(field) + " " + a + " there, " + b + " here";
  };
  if (there.graphHash != here.graphHash) {
    char a[20];
    char b[20];
    std::snprintf(a, sizeof a, "%016" PRIx64, there.graphHash);
    std::snprintf(b, sizeof b, "%016" PRIx64, here.graphHash);
    return differs("graph hash", a, b);
  }
  if (there.colors != here.colors) {
    return differs("colors", std::to_string(there.colors), std::to_string(here.colors));
  }
  if (there.N != here.N) return differs("N", std::to_string(there.N), std::to_string(here.N));
  if (there.rho != here.rho) return differs("rho", shortest(there.rho), shortest(here.rho));
  if (there.decompose != here.decompose) {
    return differs("decompose", there.decompose ? "1" : "0", here.decompose ? "1" : "0");
  }
  if (there.plan != here.plan) {
    return differs("plan", std::to_string(there.plan), std::to_string(here.plan));
  }
  if (compareSeed && there.seed != here.seed) {
    return differs("seed", std::to_string(there.seed), std::to_string(here.seed));
  }
  return std::nullopt;
}

Journal Journal::open(const std::string& path) {
  // Each pass opens the file, locks it, and checks that the path still
  // names it; a file removed or replaced meanwhile is opened again. The
  // bound only guards against a path that changes without end.
  for (int attempt = 0;; ++attempt) {
    bool created = true;
    int readOnlyReason = 0;
    // O_EXCL refuses a symlink, dangling or not: a link to a journal not
    // yet made has the file it names created instead, and stays a link.
    const CreatedName name = createdName(path);
    if (name.error != 0) {
      throw InputError(shownPath(path) + " cannot be opened: " + std::strerror(name.error));
    }
    int fd = ::open(name.path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
      created = false;
      fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
      if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        readOnlyReason = errno;
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      }
      // Removed between the two opens: made afresh in the next pass.
      if (fd < 0 && errno == ENOENT && attempt < 100) continue;
    }
    if (fd < 0) throw InputError(shownPath(path) + " cannot be opened: " + std::strerror(errno));
    Journal journal(path, fd, created);
    journal.createdPath = name.path;
    journal.writeErrno = readOnlyReason;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      throw InputError(shownPath(path) + " is not a regular file");
    }
    reach(JournalStep::BeforeLock);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      throw InputError(errno == EWOULDBLOCK
                           ? shownPath(path) + " is in use by another run of the program"
                           : shownPath(path) + " cannot be locked: " + std::strerror(errno));
    }
    journal.locked = true;
    if (!journal.namesThisFile()) {
      // Another run removed the file between our open and our lock: this
      // one has no name, and whatever the path names now is not ours.
      journal.created = false;
      if (attempt < 100) continue;
      throw InputError(shownPath(path) + " keeps being replaced by another process");
    }

    const std::string text = wholeFile(fd, path);
    ParsedJournal parsed = parseJournal(text, path);
    journal.held = std::move(parsed.contents);
    journal.keptBytes = parsed.keptBytes;
    journal.torn = text.size() - parsed.keptBytes;
    journal.chain = parsed.lastChecksum;
    if (journal.held) {
      journal.version = journal.held->version;
      if (journal.version < kChecksummed) {
        journal.said.push_back(shownPath(path) + " has format version " +
                               std::to_string(journal.version) +
                               ", without checksums: damage to its values may go unseen; its "
                               "new runs are recorded in the same version");
      } else if (journal.version < kChained) {
        journal.said.push_back(shownPath(path) + " has format version " +
                               std::to_string(journal.version) +
                               ", whose lines are not chained: a line spliced in from another "
                               "journal would go unseen; its new runs are recorded in the same "
                               "version");
      }
    } else if (parsed.zeroBytesOnly) {
      journal.said.push_back(shownPath(path) + " holds only zero bytes (a header that never " +
                             "reached the disk): it is written afresh");
    }
    return journal;
  }
}

Journal Journal::openFor(const std::string& path, const JournalHeader& here, bool compareSeed,
                         const std::vector<JournalPartCheck>& partChecks) {
  Journal journal = open(path);
  if (!journal.held) return journal;
  const std::string name = shownPath(path);
  const JournalHeader& there = journal.held->header;
  if (auto difference = journalDifference(there, here, compareSeed)) {
    throw InputError(name + " belongs to another experiment: " + *difference);
  }
  if (there.exactFactor != here.exactFactor) {
    // To 17 digits, which show any difference between two doubles' worth
    // of mantissa: at 6, two factors a rounding apart read alike.
    throw InputError(name + " belongs to another experiment: exact factor " +
                     decimalForm(there.exactFactor).text + " there, " +
                     decimalForm(here.exactFactor).text + " here");
  }
  if (there.parts.size() != partChecks.size()) {
    throw InputError(name + " is damaged: it holds " + std::to_string(there.parts.size()) +
                     " parts where the graph has " + std::to_string(partChecks.size()));
  }
  for (std::size_t p = 0; p < partChecks.size(); ++p) {
    const JournalPart& part = there.parts[p];
    if (part.levels.front() != partChecks[p].firstLevel) {
      throw InputError(name + " is damaged: its first level is not the one its pilot sets");
    }
    if (!isProperColoring(*partChecks[p].graph, part.coloring, there.colors)) {
      throw InputError(name + " is damaged: its pilot run did not reach a proper coloring");
    }
  }
  if (journal.torn > 0 && journal.writable()) {
    journal.resume();
    journal.said.push_back(name + ": a last line cut short by a failure was cut off");
  }
  return journal;
}

Journal::Journal(std::string path, int fd, bool created)
    : path(std::move(path)), fd(fd), created(created) {}

Journal::Journal(Journal&& other) noexcept
    : path(std::move(other.path)),
      createdPath(std::move(other.createdPath)),
      fd(std::exchange(other.fd, -1)),
      created(other.created),
      locked(other.locked),
      written(other.written),
      writeErrno(other.writeErrno),
      version(other.version),
      chain(other.chain),
      held(std::move(other.held)),
      torn(other.torn),
      keptBytes(other.keptBytes),
      said(std::move(other.said)),
      syncer(std::move(other.syncer)) {}

Journal::~Journal() {
  if (fd < 0) return;
  if (syncer) {
    syncer->syncNow();
    syncer.reset();  // its thread ends before the file is closed
  }
  // A journal this run made, holds and never started holds nothing to
  // resume. Never another run's: it holds the lock on its own file, and a
  // file this run did not make or no longer names is left alone.
  if (created && locked && !written && namesThisFile()) {
    reach(JournalStep::BeforeRemove);
    // The file made, not a link to it, which stays as it was.
    ::unlink(createdPath.c_str());
  }
  ::close(fd);
}

bool Journal::namesThisFile() const {
  struct stat open {};
  struct stat named {};
  struct stat made {};
  // The path (through its links) and the name the file was made under.
  return ::fstat(fd, &open) == 0 && open.st_nlink > 0 && ::stat(path.c_str(), &named) == 0 &&
         named.st_dev == open.st_dev && named.st_ino == open.st_ino &&
         (!created || (::stat(createdPath.c_str(), &made) == 0 && made.st_dev == open.st_dev &&
                       made.st_ino == open.st_ino));
}

std::string Journal::writeFailure() const {
  return shownPath(path) + " cannot be written: " + std::strerror(writeErrno);
}

void Journal::resume() {
  if (torn == 0) return;
  if (!writable()) throw InputError(writeFailure());
  if (::ftruncate(fd, static_cast<off_t>(keptBytes)) != 0 || ::fsync(fd) != 0) {
    writeFailed(path, errno);
  }
  torn = 0;
}

void Journal::start(const JournalHeader& header) {
  if (!writable()) throw InputError(writeFailure());
  resume();  // a header cut short: nothing is kept
  version = kVersion;
  chain.reset();
  char buffer[64];
  std::string text =
      journalLine(std::string(kMagic) + " " + std::to_string(kVersion), version, chain);
  std::snprintf(buffer, sizeof buffer, "graph %016" PRIx64, header.graphHash);
  text += journalLine(buffer, version, chain);
  text += journalLine("colors " + std::to_string(header.colors), version, chain);
  text += journalLine("N " + std::to_string(header.N), version, chain);
  std::snprintf(buffer, sizeof buffer, "rho %.17g", header.rho);
  text += journalLine(buffer, version, chain);
  text += journalLine("seed " + std::to_string(header.seed), version, chain);
  text += journalLine(std::string("decompose ") + (header.decompose ? "1" : "0"), version, chain);
  if (header.decompose) {
    text += journalLine("plan " + std::to_string(header.plan), version, chain);
    text += journalLine("exact " + binaryParts(header.exactFactor), version, chain);
    text += journalLine("parts " + std::to_string(header.parts.size()), version, chain);
  }
  for (const JournalPart& part : header.parts) {
    std::string line = "levels " + std::to_string(part.levels.size());
    for (double level : part.levels) {
      std::snprintf(buffer, sizeof buffer, " %.17g", level);
      line += buffer;
    }
    text += journalLine(line, version, chain);
    line = "coloring " + std::to_string(part.coloring.size());
    for (int32_t color : part.coloring) {
      line += ' ';
      line += std::to_string(color);
    }
    text += journalLine(line, version, chain);
  }
  if (!writeAll(fd, text.data(), text.size())) writeFailed(path, errno);
  written = true;
  sync();
}

void Journal::record(int64_t run, const CountingRun& result) {
  // Appended piece by piece: g++ 12 reports impossible out-of-bounds
  // copies inside a chain of operator+ on temporaries.
  std::string content = "run ";
  for (const std::string& field : {std::to_string(run), binaryParts(result.estimate),
                                   std::to_string(result.cpuMilliseconds)}) {
    content += field;
    content += ' ';
  }
  content.pop_back();
  for (const WideDouble& part : result.partEstimates) {
    content += ' ';
    content += binaryParts(part);
  }
  const std::string line = journalLine(content, version, chain);
  if (!writeAll(fd, line.data(), line.size())) writeFailed(path, errno);
  written = true;
  if (!syncer) syncer = std::make_unique<FileSyncer>(fd, std::chrono::milliseconds(500));
  syncer->written();
  checkSynced();
}

void Journal::checkSynced() {
  if (syncer && syncer->failure() != 0) writeFailed(path, syncer->failure());
}

void Journal::finish() {
  if (syncer && syncer->syncNow() != 0) writeFailed(path, syncer->failure());
}

void Journal::sync() {
  if (::fsync(fd) != 0) writeFailed(path, errno);
}

RunBatchEnd journalledRuns(
    const std::vector<CountingRun>& recorded, Journal* journal, RunRange range,
    const RunConsumer<CountingRun>& consume,
    const std::function<RunBatchEnd(RunRange range, const RunConsumer<CountingRun>& consume)>&
        make) {
  RunBatchEnd end{range.first - 1, false, false};
  const auto held = static_cast<int64_t>(recorded.size());
  while (end.lastConsumed < range.last && end.lastConsumed < held) {
    CountingRun run = recorded[static_cast<std::size_t>(end.lastConsumed)];
    ++end.lastConsumed;
    if (!consume(end.lastConsumed, std::move(run))) return end;
  }
  if (end.lastConsumed >= range.last) {
    end.exhausted = true;
    return end;
  }
  if (journal && !journal->writable()) throw InputError(journal->writeFailure());
  return make(RunRange{end.lastConsumed + 1, range.last}, [&](int64_t run, CountingRun&& result) {
    if (journal) journal->record(run, result);
    return consume(run, std::move(result));
  });
}

}  // namespace tintara
