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
#include <utility>

#include "graph/input_error.h"
#include "io/file_output.h"

namespace tintara {

namespace {

constexpr const char* kMagic = "tintara-journal";
constexpr int kVersion = 1;

std::string shownPath(const std::string& path) {
  return "journal " + printable(path);
}

// The words of one line, read in turn; every read says what it expected,
// so that damage is named by line and field.
class LineReader {
 public:
  LineReader(const std::string& path, std::size_t number, const std::string& line)
      : path(path), number(number), line(line) {}

  [[noreturn]] void damaged(const std::string& what) const {
    throw InputError(shownPath(path) + " is damaged at line " + std::to_string(number) + ": " +
                     what);
  }

  std::string_view word() {
    while (at < line.size() && line[at] == ' ') ++at;
    const std::size_t start = at;
    while (at < line.size() && line[at] != ' ') ++at;
    return std::string_view(line).substr(start, at - start);
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
  const std::string& path;
  std::size_t number;
  const std::string& line;
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

void readHeaderLine(std::size_t number, const std::string& line, const std::string& path,
                    JournalHeader& header) {
  LineReader read(path, number, line);
  switch (number) {
    case 1: {
      if (read.word() != kMagic) {
        throw InputError(shownPath(path) + " is not a tintara journal");
      }
      const auto version = read.integer<int>("the format version");
      if (version != kVersion) {
        throw InputError(shownPath(path) + " has format version " + std::to_string(version) +
                         "; this program reads version " + std::to_string(kVersion));
      }
      break;
    }
    case 2:
      read.expectKey("graph");
      header.graphHash = read.integer<uint64_t>("the graph's hash", 16);
      break;
    case 3:
      read.expectKey("colors");
      header.colors = read.integer<int32_t>("the number of colours");
      break;
    case 4:
      read.expectKey("N");
      header.N = read.integer<int32_t>("N");
      break;
    case 5:
      read.expectKey("rho");
      header.rho = read.real("rho");
      break;
    case 6:
      read.expectKey("seed");
      header.seed = read.integer<uint64_t>("the seed");
      break;
    case 7: {
      read.expectKey("levels");
      const auto count = read.integer<uint32_t>("the number of levels");
      header.levels.reserve(std::min<uint32_t>(count, 1u << 20));
      for (uint32_t i = 0; i < count; ++i) header.levels.push_back(read.real("a level"));
      break;
    }
    case 8: {
      read.expectKey("coloring");
      const auto count = read.integer<uint32_t>("the number of vertices");
      header.coloring.reserve(std::min<uint32_t>(count, 1u << 24));
      for (uint32_t i = 0; i < count; ++i) {
        header.coloring.push_back(read.integer<int32_t>("a colour"));
      }
      break;
    }
    default:
      break;
  }
  read.expectEnd();
}

constexpr std::size_t kHeaderLines = 8;

CountingRun readRunLine(std::size_t number, const std::string& line, const std::string& path,
                        int64_t expected) {
  LineReader read(path, number, line);
  read.expectKey("run");
  if (read.integer<int64_t>("the run's number") != expected) {
    read.damaged("expected run " + std::to_string(expected));
  }
  WideDoubleParts parts;
  parts.mantissa = read.real("the estimate's mantissa");
  parts.exponent = read.integer<int64_t>("the estimate's exponent");
  const double magnitude = std::fabs(parts.mantissa);
  if (parts.mantissa < 0 || (magnitude != 0 && (magnitude < 0.5 || magnitude >= 1))) {
    read.damaged("the estimate's mantissa is out of range");
  }
  CountingRun run;
  run.estimate = joinWide(parts);
  run.cpuMilliseconds = read.integer<int64_t>("the run's processor milliseconds");
  if (run.cpuMilliseconds < 0) read.damaged("negative processor time");
  read.expectEnd();
  return run;
}

std::string headerText(const JournalHeader& header) {
  std::string text;
  char buffer[64];
  const auto add = [&](const char* format, auto value) {
    std::snprintf(buffer, sizeof buffer, format, value);
    text += buffer;
  };
  add("%s", kMagic);
  add(" %d\n", kVersion);
  add("graph %016" PRIx64 "\n", header.graphHash);
  add("colors %" PRId32 "\n", header.colors);
  add("N %" PRId32 "\n", header.N);
  add("rho %.17g\n", header.rho);
  add("seed %" PRIu64 "\n", header.seed);
  add("levels %zu", header.levels.size());
  for (double level : header.levels) add(" %.17g", level);
  add("\ncoloring %zu", header.coloring.size());
  for (int32_t color : header.coloring) add(" %" PRId32, color);
  text += '\n';
  return text;
}

// The shortest text that reads back to `x`.
std::string shortest(double x) {
  char buffer[32];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, x).ptr);
}

// What a journal's text holds, and how much of it to keep: the text up to
// its last complete line, or none of it when only part of the header was
// written (no run is lost with it).
struct ParsedJournal {
  std::optional<JournalContents> contents;
  std::size_t keptBytes = 0;
};

ParsedJournal parseJournal(const std::string& text, const std::string& path) {
  ParsedJournal parsed;
  if (text.empty()) return parsed;
  // A header cut short starts like the first line, or with all of it.
  const std::string firstLine = std::string(kMagic) + " " + std::to_string(kVersion) + "\n";
  const std::size_t shared = std::min(text.size(), firstLine.size());
  const bool ours = text.compare(0, shared, firstLine, 0, shared) == 0;
  const std::size_t complete = completeLength(text);
  if (ours && static_cast<std::size_t>(std::count(text.begin(), text.begin() + complete, '\n')) <
                  kHeaderLines) {
    return parsed;
  }
  JournalContents contents;
  std::size_t number = 0;
  for (std::size_t start = 0; start < complete;) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (line.find('\0') != std::string::npos) {
      LineReader(path, number, line).damaged("zero bytes inside the journal");
    }
    if (number <= kHeaderLines) {
      readHeaderLine(number, line, path, contents.header);
    } else {
      contents.runs.push_back(
          readRunLine(number, line, path, static_cast<int64_t>(contents.runs.size()) + 1));
    }
  }
  if (number < kHeaderLines) throw InputError(shownPath(path) + " is not a tintara journal");
  parsed.contents = std::move(contents);
  parsed.keptBytes = complete;
  return parsed;
}

}  // namespace

std::optional<uint64_t> journalSeed(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<uint64_t> seed;
  try {
    const ParsedJournal parsed = parseJournal(wholeFile(fd, path), path);
    if (parsed.contents) seed = parsed.contents->header.seed;
  } catch (const InputError&) {
    // Reported when the journal is opened.
  }
  ::close(fd);
  return seed;
}

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
  if (compareSeed && there.seed != here.seed) {
    return differs("seed", std::to_string(there.seed), std::to_string(here.seed));
  }
  return std::nullopt;
}

namespace {

[[noreturn]] void writeFailed(const std::string& path, int error) {
  throw WriteError(shownPath(path) + ": " + std::strerror(error));
}

}  // namespace

Journal Journal::open(const std::string& path) {
  // O_EXCL first, to know whether this run made the file.
  bool created = true;
  int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EEXIST) {
    created = false;
    fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
  }
  if (fd < 0) throw InputError(shownPath(path) + " cannot be opened: " + std::strerror(errno));
  Journal journal(path, fd, created);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    throw InputError(shownPath(path) + " is not a regular file");
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    throw InputError(errno == EWOULDBLOCK
                         ? shownPath(path) + " is in use by another run of the program"
                         : shownPath(path) + " cannot be locked: " + std::strerror(errno));
  }
  const std::string text = wholeFile(fd, path);
  ParsedJournal parsed = parseJournal(text, path);
  journal.held = std::move(parsed.contents);
  journal.keptBytes = parsed.keptBytes;
  journal.torn = text.size() - parsed.keptBytes;
  return journal;
}

Journal::Journal(std::string path, int fd, bool created)
    : path(std::move(path)), fd(fd), created(created), lastSync(std::chrono::steady_clock::now()) {}

Journal::Journal(Journal&& other) noexcept
    : path(std::move(other.path)),
      fd(std::exchange(other.fd, -1)),
      created(other.created),
      written(other.written),
      held(std::move(other.held)),
      torn(other.torn),
      keptBytes(other.keptBytes),
      lastSync(other.lastSync),
      unsynced(other.unsynced) {}

Journal::~Journal() {
  if (fd < 0) return;
  if (unsynced) ::fsync(fd);
  // A journal this run made but never started holds nothing to resume.
  if (created && !written) ::unlink(path.c_str());
  ::close(fd);
}

void Journal::resume() {
  if (torn == 0) return;
  if (::ftruncate(fd, static_cast<off_t>(keptBytes)) != 0 || ::fsync(fd) != 0) {
    writeFailed(path, errno);
  }
  torn = 0;
}

void Journal::start(const JournalHeader& header) {
  resume();  // a header cut short: nothing is kept

  const std::string text = headerText(header);
  if (!writeAll(fd, text.data(), text.size())) writeFailed(path, errno);
  written = true;
  sync();
}

void Journal::record(int64_t run, const CountingRun& result) {
  const WideDoubleParts parts = splitWide(result.estimate);
  char line[96];
  const int length =
      std::snprintf(line, sizeof line, "run %" PRId64 " %.17g %" PRId64 " %" PRId64 "\n", run,
                    parts.mantissa, parts.exponent, result.cpuMilliseconds);
  if (!writeAll(fd, line, static_cast<std::size_t>(length))) writeFailed(path, errno);
  written = true;
  unsynced = true;
  if (std::chrono::steady_clock::now() - lastSync >= std::chrono::seconds(1)) sync();
}

void Journal::finish() {
  if (unsynced) sync();
}

void Journal::sync() {
  if (::fsync(fd) != 0) writeFailed(path, errno);
  unsynced = false;
  lastSync = std::chrono::steady_clock::now();
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
  return make(RunRange{end.lastConsumed + 1, range.last}, [&](int64_t run, CountingRun&& result) {
    if (journal) journal->record(run, result);
    return consume(run, std::move(result));
  });
}

}  // namespace tintara
