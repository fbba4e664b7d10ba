#include "support/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace tintara::testing {

const std::string kListing =
    " \n"
    " *************************************************************** \n"
    " Tintara package for graph coloring counting estimation. \n"
    " Written by the Tintara developers. \n"
    " Questions and bug reports: the Tintara issue tracker. \n"
    " *************************************************************** \n"
    " Allowed options:\n"
    "  --help                produce help message\n"
    "  --problem arg         input graph instance file\n"
    "  --colors arg          # of colors (default is 3)\n"
    "  --N arg               splitting budget (default is 1000)\n"
    "  --rho arg             splitting rarity parameter (default is 0.2)\n"
    "  --terr arg            target relative error (default is 0.03)\n"
    "  --chrom arg           find chromatic number only (default is 0 - for \n"
    "                        counting)\n"
    "  --seed arg            random seed, 0 to 2^64-1 (default is a fresh seed, \n"
    "                        written to standard error)\n"
    "  --workers arg         threads (default is 1; 0 - one per hardware thread)\n"
    "  --save-coloring arg   write the proper coloring found to this file\n"
    "  --version             print the program's name and version\n"
    "  --journal arg         record the runs in this file and resume from it\n"
    "  --max-runs arg        stop after this many runs (default is 0 - no limit)\n"
    "  --max-time arg        stop after this many seconds (default is 0 - no limit)\n"
    "  --bounds arg          chromatic search from a clique and DSATUR, or trivial \n"
    "                        (default is greedy)\n"
    "  --format arg          report: text, or json for JSON Lines (default is text)\n"
    "  --decompose arg       1 - count blocks exactly where possible, split the \n"
    "                        rest; 0 - split the whole graph (default is 1)\n"
    "  --move arg            chromatic tests' chain move: gibbs or tabu (default is \n"
    "                        tabu)\n"
    "  --crossover arg       chromatic tests' crossover with --move tabu: none or \n"
    "                        gpx (default is none)\n";

const std::string kAfterParseError = kListing + "\n";

const std::string kHelp =
    kListing + "\n" +
    " (Usage example for counting: Tintara.exe --problem 3x3_grid.txt --colors 3 --N=100 "
    "--rho 0.2 --terr 0.03)\n"
    " (Usage example for finding chromatic nuber only: Tintara.exe --problem 3x3_grid.txt "
    "--N=100 --rho 0.2 --chrom 1)\n";

const std::string kGrid = std::string(TINTARA_SOURCE_DIR "/examples/3x3_grid.txt");

ColoringSample coloredSample(const Graph& graph, RandomSource& random, int32_t k,
                             std::vector<int32_t> colors) {
  ColoringSample s(graph, random, k);
  s.vertexColors = std::move(colors);
  s.computeScore();
  return s;
}

void execTintara(const std::vector<std::string>& args) {
  execProgram(TINTARA_BINARY, args);
}

void execProgram(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::string binary = program;
  argv.push_back(binary.data());
  std::vector<std::string> copies = args;
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  execv(binary.c_str(), argv.data());
  _exit(127);
}

namespace {

// Writes `input` to `fd`, then closes it; an endless input ends when the
// reader goes (the write fails, or SIGPIPE ends this process).
[[noreturn]] void feed(int fd, const StreamedInput& input) {
  const auto put = [fd](const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
      if (wrote <= 0) _exit(0);
      done += static_cast<std::size_t>(wrote);
    }
  };
  put(input.head);
  for (int64_t i = 0; input.repeats < 0 || i < input.repeats; ++i) put(input.repeated);
  put(input.tail);
  close(fd);
  _exit(0);
}

// A cap set on a running child once its output holds `marker`.
struct LaterCap {
  std::string marker;
  uint64_t addressSpaceBytes = 0;
};

// Runs `program`; a zero `addressSpaceBytes` leaves its memory as it is.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         StandardOutput out, uint64_t addressSpaceBytes, const StreamedInput* input,
                         const LaterCap* laterCap = nullptr) {
  int inputEnds[2] = {-1, -1};
  pid_t writer = -1;
  if (input) {
    if (pipe(inputEnds) != 0) throw std::runtime_error("pipe failed");
    writer = fork();
    if (writer < 0) throw std::runtime_error("fork failed");
    if (writer == 0) {
      close(inputEnds[0]);
      feed(inputEnds[1], *input);
    }
    close(inputEnds[1]);
  }
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
  // Standard error goes to a file, read once the child has ended: two pipes
  // read one after the other could fill and stall the child.
  std::FILE* errors = std::tmpfile();
  if (!errors) throw std::runtime_error("tmpfile failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(fileno(errors), STDERR_FILENO);
    switch (out) {
      case StandardOutput::Captured:
        dup2(pipeEnds[1], STDOUT_FILENO);
        break;
      case StandardOutput::FullDevice: {
        const int full = open("/dev/full", O_WRONLY);
        dup2(full, STDOUT_FILENO);
        close(full);
        break;
      }
      case StandardOutput::Closed:
        close(STDOUT_FILENO);
        break;
      case StandardOutput::BrokenPipe: {
        int broken[2];
        if (pipe(broken) != 0) _exit(126);
        dup2(broken[1], STDOUT_FILENO);
        close(broken[0]);
        close(broken[1]);
        signal(SIGPIPE, SIG_IGN);  // kept across exec
        break;
      }
    }
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    if (input) {
      dup2(inputEnds[0], STDIN_FILENO);
      close(inputEnds[0]);
    }
    if (addressSpaceBytes > 0) {
      const rlimit cap{addressSpaceBytes, addressSpaceBytes};
      if (setrlimit(RLIMIT_AS, &cap) != 0) _exit(126);
    }
    execProgram(program, args);
  }
  if (input) close(inputEnds[0]);
  close(pipeEnds[1]);
  ProcessResult result;
  char buffer[4096];
  ssize_t got;
  bool capped = false;
  while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0) {
    result.output.append(buffer, got);
    if (laterCap && !capped && result.output.find(laterCap->marker) != std::string::npos) {
      const rlimit cap{laterCap->addressSpaceBytes, laterCap->addressSpaceBytes};
      if (prlimit(pid, RLIMIT_AS, &cap, nullptr) != 0) throw std::runtime_error("prlimit failed");
      capped = true;
    }
  }
  close(pipeEnds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  std::rewind(errors);
  while ((got = static_cast<ssize_t>(std::fread(buffer, 1, sizeof buffer, errors))) > 0) {
    result.errors.append(buffer, static_cast<std::size_t>(got));
  }
  std::fclose(errors);
  if (writer > 0) waitpid(writer, nullptr, 0);
  return result;
}

}  // namespace

ProcessResult runTintaraBinary(const std::vector<std::string>& args, StandardOutput out) {
  return runProcess(TINTARA_BINARY, args, out, 0, nullptr);
}

ProcessResult runTintaraBinaryCapped(const std::vector<std::string>& args,
                                     uint64_t addressSpaceBytes, const StreamedInput& input) {
  return runProcess(TINTARA_BINARY, args, StandardOutput::Captured, addressSpaceBytes, &input);
}

ProcessResult runTintaraBinaryCappedAfter(const std::vector<std::string>& args,
                                          const std::string& marker, uint64_t addressSpaceBytes) {
  const LaterCap cap{marker, addressSpaceBytes};
  return runProcess(TINTARA_BINARY, args, StandardOutput::Captured, 0, nullptr, &cap);
}

ProcessResult runProgram(const std::string& program, const std::vector<std::string>& args) {
  return runProcess(program, args, StandardOutput::Captured, 0, nullptr);
}

ProcessResult runAndSignal(const std::string& program, const std::vector<std::string>& args,
                           const std::string& marker, const std::vector<int>& signals,
                           const std::string& input) {
  int inputEnds[2];
  int outputEnds[2];
  if (pipe(inputEnds) != 0 || pipe(outputEnds) != 0) throw std::runtime_error("pipe failed");
  std::FILE* errors = std::tmpfile();
  if (!errors) throw std::runtime_error("tmpfile failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(inputEnds[0], STDIN_FILENO);
    dup2(outputEnds[1], STDOUT_FILENO);
    dup2(fileno(errors), STDERR_FILENO);
    for (int fd : {inputEnds[0], inputEnds[1], outputEnds[0], outputEnds[1]}) close(fd);
    // The test's own dispositions are not the program's.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    execProgram(program, args);
  }
  close(inputEnds[0]);
  close(outputEnds[1]);
  if (!input.empty() && write(inputEnds[1], input.data(), input.size()) < 0) {
    throw std::runtime_error("write failed");
  }
  ProcessResult result;
  std::size_t sent = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  auto nextSignal = std::chrono::steady_clock::time_point::max();
  for (bool open = true; open;) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      kill(pid, SIGKILL);
      break;
    }
    if (sent < signals.size() && now >= nextSignal) {
      kill(pid, signals[sent++]);
      nextSignal = now + std::chrono::milliseconds(300);
      deadline = now + std::chrono::seconds(60);
    }
    pollfd watched{outputEnds[0], POLLIN, 0};
    if (poll(&watched, 1, 20) > 0) {
      char buffer[4096];
      const ssize_t got = read(outputEnds[0], buffer, sizeof buffer);
      if (got <= 0) open = false;
      if (got > 0) result.output.append(buffer, static_cast<std::size_t>(got));
    }
    if (sent == 0 && nextSignal == std::chrono::steady_clock::time_point::max() &&
        result.output.find(marker) != std::string::npos) {
      nextSignal = std::chrono::steady_clock::now();
    }
  }
  close(outputEnds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  close(inputEnds[1]);
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  std::rewind(errors);
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, errors)) > 0;) {
    result.errors.append(buffer, got);
  }
  std::fclose(errors);
  return result;
}

std::string withoutCpu(const std::string& report) {
  std::istringstream in(report);
  std::string result;
  for (std::string line; std::getline(in, line);) {
    static const std::regex chromatic("(.* #bin E\\(T\\) CPU Chrom# \\S+ \\S+) \\S+( \\S+)");
    std::smatch match;
    if (std::regex_match(line, match, chromatic)) {
      line = match[1].str() + match[2].str();
    } else if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) {
      line = line.substr(0, line.rfind(' '));
    }
    result += line + "\n";
  }
  return result;
}

TempFile::TempFile(const std::string& contents, const std::string& name) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tintara-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  dirPath = pattern;
  filePath = dirPath + "/" + name;
  std::ofstream out(filePath, std::ios::binary);
  out << contents;
}

TempFile::~TempFile() {
  std::error_code ignored;
  std::filesystem::remove_all(dirPath, ignored);
}

}  // namespace tintara::testing
