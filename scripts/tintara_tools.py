"""What the Python scripts under scripts/ share.

- Command line: `ArgumentParser` (argparse with one-line errors), `run(prog,
  main)` (a `ScriptError` becomes one line on standard error and exit 1, no
  traceback), `ensure_packages` (Debian packages through scripts/install-deps).
- The build: every script takes `--build DIR` (default: build/ in the
  repository) and calls `prepare_build(DIR, targets)`, which configures DIR
  as a Release build when it has no CMake cache and then brings the targets
  the script needs up to date with `cmake --build` (a no-op when nothing
  changed), so a study never runs a stale or missing binary.
- Running and parsing: `run_timed` (a command's wall and CPU time and peak
  memory, with optional wall, CPU and address-space limits), `call_with_limit` (the same for a Python function),
  `parse_counting_report` (the JSON Lines of --format json, or a text
  report), `parse_chromatic_report` (JSON Lines), `json_lines`,
  `without_cpu` (for comparing text reports), `parse_exact_counts`,
  `parse_exact_chromatic`, and `exact_counts` / `exact_chromatic`, which run
  the exact counter (build/tools/exact_count).
- Numbers: estimates and probabilities are `WideNumber`s, read exactly
  whatever their exponent (the program prints values such as 1.07477e-340),
  with log10, comparisons and %g formatting; float() of one refuses a value
  a double cannot hold. Other figures (RE, CPU seconds, E(T)) are floats.
- The machine: `machine_description`, `cpu_model`, `commit_description`.
- Graphs: `Graph(n, edges)` with 0-based ids and edges (u, v), u < v; the
  builders cycle, grid, petersen, mycielski, queen, random_graph, gnp; the
  writers instance_text / write_instance (0-based instance files) and
  dimacs_text / write_dimacs (1-based DIMACS colouring files); read_graph
  reads either.
- Lattices (at the end, for scripts/lattice-study): square_torus,
  triangular_torus, exact colouring counts of their tori by transfer matrix
  (transfer_count, transfer_eigen_count), counting_figures (a report's
  numbers as decimals, below a double's range too), weighted_line_fit and
  power_law_fit.
"""
import argparse
import collections
import dataclasses
import functools
import importlib
import importlib.util
import json
import math
import multiprocessing
import os
import platform
import random
import re
import resource
import signal
import subprocess
import sys
import tempfile
import threading
import time

SCRIPTS = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(SCRIPTS)
DEFAULT_BUILD = os.path.join(ROOT, "build")


# --- command line ---------------------------------------------------------

class ScriptError(Exception):
    """A failure the user can act on: printed as one line, no traceback."""


class ArgumentParser(argparse.ArgumentParser):
    """argparse, with a usage error reported on one line."""

    def error(self, message):
        self.exit(2, "%s: %s (see --help)\n" % (self.prog, message))


def parser(prog, doc):
    """A parser whose --help shows the script's docstring as written."""
    return ArgumentParser(prog=prog, description=doc,
                          formatter_class=argparse.RawDescriptionHelpFormatter)


def add_build_option(ap):
    ap.add_argument("--build", metavar="DIR", default=DEFAULT_BUILD,
                    help="the CMake build directory (default: build/ in the repository); "
                         "configured as Release when new, and the binaries the script needs "
                         "are brought up to date with cmake --build before it starts")


def run(prog, main):
    """Calls main(); a ScriptError ends the script with one line and exit 1."""
    try:
        main()
    except ScriptError as e:
        print("%s: %s" % (prog, e), file=sys.stderr)
        sys.exit(1)
    except KeyboardInterrupt:
        sys.exit(130)


def load_script(name):
    """The script scripts/NAME (which has no .py suffix) as a module, for
    tests of its functions."""
    import importlib.machinery
    loader = importlib.machinery.SourceFileLoader(name.replace("-", "_"),
                                                  os.path.join(SCRIPTS, name))
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module


def log(prog, message):
    print("%s: %s" % (prog, message), file=sys.stderr, flush=True)


def ensure_packages(modules=(), packages=(), commands=()):
    """Installs `packages` with scripts/install-deps when one of the Python
    `modules` cannot be imported or one of the `commands` is not on PATH."""
    missing = [m for m in modules if importlib.util.find_spec(m) is None]
    missing += [c for c in commands if not _on_path(c)]
    if not missing:
        return
    # Said before the install: these packages are this script's own, not
    # the suite's, so a machine set up by `make test` may lack them.
    sys.stderr.write("%s: %s missing, which this script needs: installing %s\n"
                     % (os.path.basename(sys.argv[0]), ", ".join(missing), " ".join(packages)))
    proc = subprocess.run(["sh", os.path.join(SCRIPTS, "install-deps")] + list(packages),
                          stdout=sys.stderr)
    importlib.invalidate_caches()
    still = [m for m in modules if importlib.util.find_spec(m) is None]
    still += [c for c in commands if not _on_path(c)]
    if proc.returncode != 0 or still:
        raise ScriptError("%s missing and could not be installed (scripts/install-deps %s)"
                          % (", ".join(still or missing), " ".join(packages)))


def _on_path(command):
    return any(os.access(os.path.join(d, command), os.X_OK)
               for d in os.environ.get("PATH", "").split(os.pathsep))


# --- the build ------------------------------------------------------------

@dataclasses.dataclass(frozen=True)
class Build:
    dir: str

    @property
    def tintara(self):
        return os.path.join(self.dir, "tintara")

    @property
    def exact_count(self):
        return os.path.join(self.dir, "tools", "exact_count")

    def bench(self, name):
        return os.path.join(self.dir, "bench", name)


def prepare_build(build_dir, targets=("tintara",)):
    """Configures build_dir (Release) when it has no CMake cache, then builds
    `targets` with cmake (two jobs). Returns the Build."""
    build_dir = os.path.abspath(build_dir)
    steps = []
    if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
        steps.append(["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release"])
    steps.append(["cmake", "--build", build_dir, "-j", "2", "--target"] + list(targets))
    for cmd in steps:
        try:
            proc = subprocess.run(cmd, capture_output=True, text=True)
        except FileNotFoundError:
            raise ScriptError("cmake is not installed; run `make build` once (it installs "
                              "what is missing)")
        if proc.returncode != 0:
            # A target the configure step left out for want of a package:
            # say what to do rather than show make's words.
            unknown = re.search(r"No rule to make target '([^']+)'|unknown target '([^']+)'",
                                proc.stdout + proc.stderr)
            if unknown:
                raise ScriptError("%s is not part of the build in %s: the configure step left it "
                                  "out for want of a package (Google Benchmark for the "
                                  "benchmarks, Open MPI and Boost.MPI for tintara-mpi); run "
                                  "scripts/install-deps, then `cmake %s`"
                                  % (unknown.group(1) or unknown.group(2), build_dir, build_dir))
            sys.stderr.write("\n".join((proc.stdout + proc.stderr).splitlines()[-20:]) + "\n")
            raise ScriptError("`%s` failed (its last lines are above)" % " ".join(cmd))
    return Build(build_dir)


# --- running tools --------------------------------------------------------

@dataclasses.dataclass
class Timed:
    returncode: int  # None when the wall limit was reached and the process killed;
                     # -S when a signal S ended it
    stdout: str
    stderr: str
    wall: float      # seconds
    cpu: float       # user + system seconds of the process and its children
    peak_rss: int = None  # bytes: the largest resident set of the process or a child

    @property
    def timed_out(self):
        return self.returncode is None


@functools.lru_cache(maxsize=None)
def address_sanitized(path):
    """Whether the executable at `path` was built with AddressSanitizer. Its
    runtime reserves terabytes of shadow address space at start, so an
    address-space cap (RLIMIT_AS) would end it before main: the sanitizer
    build of the test suite runs the scripts' tools without that cap.
    Read once a path: a study runs the same tool many times."""
    try:
        with open(path, "rb") as f:
            return b"__asan_init" in f.read()
    except OSError:
        return False


def run_timed(cmd, limit=None, stdin=None, memory_limit=None, cpu_limit=None):
    """Runs cmd, killing it after `limit` wall seconds. `memory_limit` (bytes)
    caps its address space and `cpu_limit` (seconds) its CPU time, both set
    in the child (RLIMIT_AS, RLIMIT_CPU: the kernel ends it with SIGXCPU;
    core dumps are then off). CPU time and peak memory are this process's
    own, from wait4, so calls may overlap. An AddressSanitizer build gets no
    address-space cap (see address_sanitized)."""
    if memory_limit is not None and address_sanitized(cmd[0]):
        memory_limit = None

    def set_limits():
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
        if memory_limit is not None:
            resource.setrlimit(resource.RLIMIT_AS, (memory_limit, memory_limit))
        if cpu_limit is not None:
            seconds = math.ceil(cpu_limit)
            resource.setrlimit(resource.RLIMIT_CPU, (seconds, seconds + 5))

    limited = memory_limit is not None or cpu_limit is not None
    # Files rather than pipes: the output needs no reader while wait4 blocks.
    with tempfile.TemporaryFile() as inp, tempfile.TemporaryFile() as out, \
            tempfile.TemporaryFile() as err:
        if stdin is not None:
            inp.write(stdin.encode())
            inp.seek(0)
        start = time.monotonic()
        try:
            proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL if stdin is None else inp,
                                    stdout=out, stderr=err,
                                    preexec_fn=set_limits if limited else None)
        except OSError as e:
            raise ScriptError("cannot run %s: %s" % (cmd[0], e.strerror))
        reaped = []
        waiter = threading.Thread(target=lambda: reaped.append(os.wait4(proc.pid, 0)))
        waiter.start()
        waiter.join(limit)
        killed = waiter.is_alive()
        if killed:
            # Not yet reaped, so the pid is still this child's.
            os.kill(proc.pid, signal.SIGKILL)
            waiter.join()
        wall = time.monotonic() - start
        _, status, usage = reaped[0]
        proc.returncode = os.waitstatus_to_exitcode(status)  # Popen must not wait again
        out.seek(0)
        err.seek(0)
        stdout = out.read().decode(errors="replace")
        stderr = err.read().decode(errors="replace")
    return Timed(None if killed else proc.returncode, stdout, stderr, wall,
                 usage.ru_utime + usage.ru_stime, usage.ru_maxrss * 1024)


def call_with_limit(fn, args=(), limit=None):
    """Calls fn(*args) in a forked child process, ending it after `limit`
    seconds. Returns (value, CPU seconds of the call, wall seconds), or None
    when the limit was reached. An exception in fn becomes a ScriptError."""
    ctx = multiprocessing.get_context("fork")
    receive, send = ctx.Pipe(duplex=False)

    def child():
        start = time.process_time()
        try:
            value = fn(*args)
            send.send(("ok", value, time.process_time() - start))
        except BaseException as e:  # reported to the parent, which decides
            send.send(("error", "%s: %s" % (type(e).__name__, e), 0.0))

    start = time.monotonic()
    proc = ctx.Process(target=child)
    proc.start()
    send.close()
    try:
        if not receive.poll(limit):
            proc.kill()
            return None
        try:
            status, value, cpu = receive.recv()
        except EOFError:
            status = "died"
    finally:
        proc.join()
    if status == "died":
        raise ScriptError("%s ended without an answer (status %s)" % (fn.__name__, proc.exitcode))
    if status == "error":
        raise ScriptError("%s failed: %s" % (fn.__name__, value))
    return value, cpu, time.monotonic() - start


def run_checked(cmd):
    """Standard output of cmd; a failure becomes a ScriptError quoting its
    last message line."""
    t = run_timed(cmd)
    if t.returncode != 0:
        lines = (t.stderr.strip() or t.stdout.strip() or "no message").splitlines()
        raise ScriptError("%s failed (status %s): %s"
                          % (os.path.basename(cmd[0]), t.returncode, lines[-1]))
    return t.stdout


def number(text, what="number"):
    """A float from a report field that is a double (CPU seconds, RE, E(T));
    refuses values a double cannot hold (underflow would silently turn them
    into 0). Estimates and probabilities are read by `wide_number`."""
    try:
        x = float(text)
    except ValueError:
        raise ScriptError("%s \"%s\" is not a number" % (what, text))
    return _checked_double(x, text, what)


def _checked_double(x, text, what):
    if (x == 0.0 and any(c in "123456789" for c in text.lower().split("e")[0])) or \
            (x in (float("inf"), float("-inf")) and "inf" not in text.lower()):
        raise ScriptError("%s %s lies beyond the range of a double" % (what, text))
    return x


_DECIMAL = re.compile(r"([+-]?)(\d*)(?:\.(\d*))?(?:[eE]([+-]?\d+))?")


class WideNumber:
    """A number as the program prints it, also far beyond a double's range
    (estimates such as 1.07477e-340): mantissa * 10**exponent with
    1 <= |mantissa| < 10, a double, and exponent a Python int; 0, the
    infinities and NaN keep exponent 0. The mantissa's 16 digits are far more
    than the 6 the program prints, so log10 is good to about 1e-15 at any
    exponent.

    It offers what plotting and comparing need: log10, comparisons (with
    each other and with ints and floats; NaN is unordered), formatting with
    %g-style specs at any exponent, and float(), which gives the double of
    the same value and raises ScriptError for a value a double cannot hold,
    so that code doing float arithmetic converts explicitly and never works
    on a silent 0 or inf. Rejected: decimal.Decimal, whose comparisons with
    NaN raise and which mixes with floats in no arithmetic; and the log10
    alone, which loses the value's sign and its text."""

    __slots__ = ("mantissa", "exponent", "text")

    def __init__(self, text):
        """Parses a decimal number, nan, inf (any case, either sign);
        raises ValueError for anything else."""
        self.text = text.strip()
        t = self.text.lower()
        unsigned = t.lstrip("+-")
        negative = t.startswith("-")
        self.exponent = 0
        if unsigned in ("nan", "inf", "infinity"):
            self.mantissa = float(unsigned)
            if unsigned != "nan" and negative:
                self.mantissa = -self.mantissa
            return
        m = _DECIMAL.fullmatch(t)
        if not m or not (m.group(2) or m.group(3)):
            raise ValueError("not a number: %r" % text)
        whole, fraction = m.group(2), m.group(3) or ""
        digits = (whole + fraction).lstrip("0")
        if not digits:
            self.mantissa = -0.0 if negative else 0.0
            return
        # The first significant digit's power of ten.
        self.exponent = (int(m.group(4) or 0) + len(whole) - 1
                         - (len(whole + fraction) - len(digits)))
        self.mantissa = float(("-" if negative else "") + digits[0] + "." + (digits[1:] or "0"))

    @classmethod
    def of(cls, x):
        """A WideNumber from a WideNumber, an int, a float or a string."""
        if isinstance(x, cls):
            return x
        if isinstance(x, (int, float)):
            return cls(str(int(x)) if isinstance(x, int) else repr(x))
        if isinstance(x, str):
            return cls(x)
        raise TypeError("not a number: %r" % (x,))

    def is_finite(self):
        return math.isfinite(self.mantissa)

    def log10(self):
        """log10 of the value: -inf for 0, inf for inf, nan for NaN; a
        negative value raises ValueError, as math.log10 does."""
        if self.mantissa == 0:
            return float("-inf")
        if not self.is_finite():
            if self.mantissa < 0:
                raise ValueError("math domain error")
            return self.mantissa
        return self.exponent + math.log10(self.mantissa)

    def __float__(self):
        return _checked_double(float(self._scientific()), self.text, "the number")

    def _scientific(self):
        return "%re%d" % (self.mantissa, self.exponent) if self.is_finite() and self.mantissa \
            else repr(self.mantissa)

    def _key(self):
        """An ordering key (None for NaN): sign class, then exponent and mantissa."""
        m = self.mantissa
        if math.isnan(m):
            return None
        if m == 0 or not self.is_finite():
            return (0 if m == 0 else 3 if m > 0 else -3,)
        return (1, self.exponent, m) if m > 0 else (-1, -self.exponent, m)

    def _compare(self, other, op, unordered=False):
        """op on the two keys; `unordered` when either side is NaN."""
        try:
            other = WideNumber.of(other)
        except (TypeError, ValueError):
            return NotImplemented
        a, b = self._key(), other._key()
        return unordered if a is None or b is None else op(a, b)

    def __eq__(self, other):
        return self._compare(other, lambda a, b: a == b)

    def __ne__(self, other):
        return self._compare(other, lambda a, b: a != b, unordered=True)

    def __lt__(self, other):
        return self._compare(other, lambda a, b: a < b)

    def __le__(self, other):
        return self._compare(other, lambda a, b: a <= b)

    def __gt__(self, other):
        return self._compare(other, lambda a, b: a > b)

    def __ge__(self, other):
        return self._compare(other, lambda a, b: a >= b)

    def __hash__(self):
        # As the float of the same value where there is one, since they compare equal.
        x = float(self._scientific())
        return hash(x) if WideNumber.of(x) == self else hash(self._key())

    def __format__(self, format_spec):
        """As printf would write the value with an exponent as wide as it
        needs, for a format of a precision and g or e (".4g", ".6e"; "" is
        ".6g", the program's own form). Within a double's range any float
        format works."""
        format_spec = format_spec or ".6g"
        if not self.is_finite() or self.mantissa == 0 or abs(self.exponent) < 300:
            return format(float(self._scientific()), format_spec)
        kind = format_spec[-1]
        digits = int(format_spec[1:-1] or 6) if format_spec[:1] == "." else 6
        if kind not in "gGeE":
            raise ValueError("format %r needs a double; the value %s has none" % (format_spec, self))
        mantissa, power = ("%.*e" % (max(digits - (kind in "gG"), 0), self.mantissa)).split("e")
        if kind in "gG" and "." in mantissa:  # %g drops trailing zeros
            mantissa = mantissa.rstrip("0").rstrip(".")
        return "%s%s%+03d" % (mantissa, "e" if kind in "ge" else "E",
                              self.exponent + int(power))

    def __str__(self):
        return format(self)

    def __repr__(self):
        return "WideNumber(%r)" % self.text


def wide_number(text, what="number"):
    """A WideNumber from a report field; ScriptError when it is not a number."""
    try:
        return WideNumber(text)
    except ValueError:
        raise ScriptError("%s \"%s\" is not a number" % (what, text))


# --- the reports ------------------------------------------------------------
#
# The scripts run the program with --format json and read its JSON Lines
# (README.md, "The JSON report"). Counting-mode reports in text are read as
# well: reports saved as text (plot-convergence's input, lattice-study's
# reports of earlier versions) and studies that compare two reports' text
# (stop-and-resume, performance-report's threads against MPI).

# estimate and average are WideNumbers (they may lie far below a double's
# range), re and cpu floats (re nan while every estimate is 0).
CountingRun = collections.namedtuple("CountingRun", "run estimate average re cpu")
Summary = collections.namedtuple("Summary", "average re cpu")


@dataclasses.dataclass
class CountingReport:
    title: str          # "FILE using N=..., rho=... and target relative error=..."
    levels: int         # None when the pilot made no ladder
    runs: list          # CountingRun per fixed-level run, in order
    summary: Summary    # None when no estimate was made
    message: str        # why no estimate was made (an error, the pilot's end), else None
    # From a JSON report only (None from text): the mean and RE of the run
    # estimates alone, without the seed entry 0.0; how the experiment ended
    # ("target-met", "max-runs", "max-time", "signal", "pilot-stagnated")
    # and the program's exit status; the seed.
    plain_mean: WideNumber = None
    plain_re: float = None
    end: str = None
    exit_status: int = None
    seed: int = None


def json_lines(text, source="the report"):
    """The objects of a JSON Lines report, in order; ScriptError for a line
    that is not a JSON object."""
    objects = []
    for i, line in enumerate(text.splitlines(), 1):
        if not line.strip():
            continue
        try:
            obj = json.loads(line)
        except ValueError:
            obj = None
        if not isinstance(obj, dict):
            raise ScriptError("%s, line %d is not a JSON object: \"%s\"" % (source, i, line[:80]))
        objects.append(obj)
    return objects


def _is_json(text):
    return text.lstrip().startswith("{")


def _json_wide(value):
    """A report's {"text", "mantissa", "exponent10"} as a WideNumber; nan for null."""
    return WideNumber("nan") if value is None else WideNumber(value["text"])


def _json_float(value):
    return math.nan if value is None else float(value)


def _json_report(text, source, mode):
    """(header, objects by type, error message or None) of a JSON report of
    `mode`; ScriptError when it is none."""
    objects = json_lines(text, source)
    by_type = collections.defaultdict(list)
    for obj in objects:
        # The error object alone has no type: {"error": MESSAGE}.
        by_type[obj.get("type", "error" if "error" in obj else None)].append(obj)
    error = by_type["error"][-1].get("error") if by_type["error"] else None
    header = by_type["header"][0] if by_type["header"] else None
    if header is None or header.get("mode") != mode:
        raise ScriptError("%s is not a %s-mode report%s" % (source, mode,
                                                             ": " + error if error else ""))
    return header, by_type, error


def _pilot_end(summary, colors):
    """Why no estimate was made, from a summary whose experiment ended in
    its pilot run, in the program's words."""
    if summary["end"] == "pilot-stagnated":
        return ("the pilot run stagnated at level %g without reaching a proper coloring with "
                "%d color%s" % (summary["stagnated_at"], colors, "" if colors == 1 else "s"))
    return "%s during the pilot run" % ("stopped by --max-time" if summary["end"] == "max-time"
                                        else "interrupted")


def parse_counting_report(text, source="the report"):
    """Parses counting mode's standard output, JSON Lines or text. Raises
    ScriptError when it cannot be read or is not a counting report."""
    if not _is_json(text):
        return _parse_counting_text(text, source)
    header, by_type, error = _json_report(text, source, "counting")
    try:
        o = header["options"]
        title = "%s using N=%d, rho=%g and target relative error=%g" % (
            o["problem"], o["N"], o["rho"], o["terr"])
        levels = by_type["levels"][0]["levels"] if by_type["levels"] else None
        runs = [CountingRun(r["run"], _json_wide(r["estimate"]), _json_wide(r["average"]),
                            _json_float(r["re"]), float(r["cpu"])) for r in by_type["run"]]
        report = CountingReport(title, levels, runs, None, error, seed=header["seed"])
        if by_type["summary"]:
            s = by_type["summary"][0]
            report.end, report.exit_status = s["end"], s["exit_status"]
            report.plain_mean, report.plain_re = _json_wide(s["plain_mean"]), \
                _json_float(s["plain_re"])
            if s["during_pilot"]:
                report.message = _pilot_end(s, o["colors"])
            else:
                report.summary = Summary(_json_wide(s["average"]), _json_float(s["re"]),
                                         float(s["cpu"]))
    except (KeyError, TypeError, ValueError, IndexError) as e:
        raise ScriptError("%s: cannot read the JSON report (%s: %s)"
                          % (source, type(e).__name__, e))
    return report


_HEADER = "Starting  experiments for "
_LEVELS = "# LEVELS = "
_SUMMARY_HEAD = "estimator  |  RE  |  CPU"


def _parse_counting_text(text, source):
    """A counting report in text."""
    title, levels, runs, summary, plain = None, None, [], None, []
    lines = text.splitlines()
    in_summary = False
    for i, line in enumerate(lines):
        stripped = line.strip()
        if not stripped or set(stripped) == {"*"}:
            continue
        if line.startswith(_HEADER):
            title = line[len(_HEADER):]
        elif line.startswith(_LEVELS):
            try:
                levels = int(line[len(_LEVELS):])
            except ValueError:
                raise ScriptError("%s: cannot read \"%s\"" % (source, line))
        elif line.startswith(_SUMMARY_HEAD):
            in_summary = True
        elif "Result Summary" in line or line.startswith("Iteration #"):
            continue
        elif in_summary and summary is None:
            summary = Summary(*_fields(line, 1, source))
        elif levels is not None and not in_summary and line[:1].isdigit():
            f = line.split()
            if len(f) != 5 or not f[0].isdigit():
                raise ScriptError("%s: cannot read the run line \"%s\"" % (source, line))
            runs.append(CountingRun(int(f[0]), *_fields(" ".join(f[1:]), 2, source)))
        else:
            plain.append(stripped)
    if title is None:
        raise ScriptError("%s is not a counting-mode report (no \"%s\" line)"
                          % (source, _HEADER.strip()))
    if in_summary and summary is None:
        raise ScriptError("%s: the summary has no figures" % source)
    message = plain[-1] if summary is None and plain else None
    return CountingReport(title, levels, runs, summary, message)


def without_cpu(report):
    """A counting report in text with its CPU figures (the last number of
    each run and summary line) taken out, for comparing the runs of two
    reports."""
    kept = []
    for line in report.splitlines():
        kept.append(line.rsplit(" ", 1)[0] if line[:1].isdigit() else line)
    return "\n".join(kept)


def _fields(line, wide, source):
    """The figures of a run or summary line: `wide` WideNumbers (the estimate,
    the average), then RE and CPU seconds as floats."""
    f = line.split()
    if len(f) != wide + 2:
        raise ScriptError("%s: expected %d numbers in \"%s\"" % (source, wide + 2, line))
    what = "%s: field" % source
    return [wide_number(x, what) for x in f[:wide]] + [number(x, what) for x in f[wide:]]


@dataclasses.dataclass
class ChromaticReport:
    file: str
    steps: int              # bisection steps (#bin)
    mean_iterations: float  # E(T); nan when no test was made
    cpu: float
    chromatic: int          # None when an error took the figures' place
    message: str            # that error, else None
    proved: bool = None     # the number equals the clique found (--bounds greedy)
    clique: int = None      # its size; None with --bounds trivial
    end: str = None         # "finished", "max-time" or "signal"
    exit_status: int = None
    # One dict a completed step: step, tests (each {"k", "passed"}), colors
    # (the fewest known after it), cpu (its tests'), cpu_in_all (the run's
    # so far).
    step_list: list = None

    def time_to(self):
        """{colours: the run's CPU seconds when they were first reached}, for
        each number of colours a step reached."""
        reached = {}
        for step in self.step_list or []:
            reached.setdefault(step["colors"], step["cpu_in_all"])
        return reached


def parse_chromatic_report(text, source="the report"):
    """Parses chromatic mode's JSON report (--format json)."""
    header, by_type, error = _json_report(text, source, "chromatic")
    try:
        file = header["options"]["problem"]
        if not by_type["chromatic"]:
            return ChromaticReport(file, None, None, None, None, error or "no figures")
        c = by_type["chromatic"][0]
        return ChromaticReport(file, c["steps"], _json_float(c["mean_iterations"]),
                               float(c["cpu"]), c["chromatic"], None, c["proved"], c["clique"],
                               c["end"], c["exit_status"], c["step_list"])
    except (KeyError, TypeError, ValueError) as e:
        raise ScriptError("%s: cannot read the JSON report (%s: %s)"
                          % (source, type(e).__name__, e))


# --- the exact counter ----------------------------------------------------

# probability is a WideNumber: count / k^n can lie below a double's range.
ExactCount = collections.namedtuple("ExactCount", "k count probability method width")


def _pairs(line, source):
    try:
        return dict(f.split("=", 1) for f in line.split())
    except ValueError:
        raise ScriptError("%s: cannot read \"%s\"" % (source, line))


def parse_exact_counts(text, source="exact_count"):
    """One ExactCount per line `k=K count=C probability=P method=M [width=W]`."""
    out = []
    for line in text.splitlines():
        if not line.strip():
            continue
        d = _pairs(line, source)
        try:
            out.append(ExactCount(int(d["k"]), int(d["count"]),
                                  wide_number(d["probability"], "probability"), d["method"],
                                  int(d["width"]) if "width" in d else None))
        except (KeyError, ValueError):
            raise ScriptError("%s: cannot read \"%s\"" % (source, line))
    return out


def parse_exact_chromatic(text, source="exact_count"):
    """(chromatic number or None when no colouring exists, method)."""
    d = _pairs(text.strip(), source)
    if d.get("chromatic") == "none":
        return None, None
    try:
        return int(d["chromatic"]), d["method"]
    except (KeyError, ValueError):
        raise ScriptError("%s: cannot read \"%s\"" % (source, text.strip()))


def exact_counts(build, path, ks):
    return parse_exact_counts(run_checked([build.exact_count, path] + [str(k) for k in ks]))


def exact_chromatic(build, path):
    return parse_exact_chromatic(run_checked([build.exact_count, "--chromatic", path]))


# --- the machine ----------------------------------------------------------

def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown CPU"


def machine_description():
    """`Debian 12.x, 2 cores (CPU model), x86_64`."""
    debian = ""
    try:
        with open("/etc/debian_version") as f:
            debian = "Debian " + f.read().strip() + ", "
    except OSError:
        pass
    return "%s%d cores (%s), %s" % (debian, os.cpu_count() or 0, cpu_model(),
                                    platform.machine())


def commit_description():
    """The short commit of the checkout, noting uncommitted changes in src/;
    TINTARA_COMMIT overrides it (for a build made elsewhere)."""
    label = os.environ.get("TINTARA_COMMIT")
    if label:
        return label
    try:
        head = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"],
                              capture_output=True, text=True, check=True).stdout.strip()
        dirty = subprocess.run(["git", "-C", ROOT, "status", "--porcelain", "src"],
                               capture_output=True, text=True).stdout.strip()
        return head + (" (with uncommitted changes in src/)" if dirty else "")
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


# --- graphs ---------------------------------------------------------------

Graph = collections.namedtuple("Graph", "n edges")


def _graph(n, edges):
    return Graph(n, sorted({(min(u, v), max(u, v)) for u, v in edges}))


def cycle(n):
    return Graph(n, [(min(i, (i + 1) % n), max(i, (i + 1) % n)) for i in range(n)])


def grid(rows, cols):
    edges = []
    for r in range(rows):
        for c in range(cols):
            v = r * cols + c
            if c + 1 < cols:
                edges.append((v, v + 1))
            if r + 1 < rows:
                edges.append((v, v + cols))
    return Graph(rows * cols, edges)


def petersen():
    edges = []
    for i in range(5):
        edges.append((i, (i + 1) % 5))          # outer 5-cycle
        edges.append((i, i + 5))                # spokes
        edges.append((5 + i, 5 + (i + 2) % 5))  # inner pentagram
    return _graph(10, edges)


def mycielskian(graph):
    """Vertices v, shadows n + v joined to the neighbours of v, apex 2n."""
    n, edges = graph
    out = list(edges)
    for u, v in edges:
        out.append((u, n + v))
        out.append((v, n + u))
    out.extend((n + v, 2 * n) for v in range(n))
    return _graph(2 * n + 1, out)


def mycielski(k):
    """The Mycielski graph M_k (k >= 2): M_2 = K2, M_3 = C5, M_4 = Groetzsch;
    its chromatic number is k and it has no triangle."""
    g = Graph(2, [(0, 1)])
    for _ in range(k - 2):
        g = mycielskian(g)
    return g


def queen(n):
    """Squares of an n x n board, joined when a queen on one attacks the other."""
    edges = []
    for a in range(n * n):
        ra, ca = divmod(a, n)
        for b in range(a + 1, n * n):
            rb, cb = divmod(b, n)
            if ra == rb or ca == cb or abs(ra - rb) == abs(ca - cb):
                edges.append((a, b))
    return Graph(n * n, edges)


def random_graph(n, m, seed):
    """n vertices and m distinct edges drawn uniformly, from a fixed seed."""
    rng = random.Random(seed)
    edges = set()
    while len(edges) < m:
        u, v = rng.sample(range(n), 2)
        edges.add((min(u, v), max(u, v)))
    return Graph(n, sorted(edges))


def gnp(n, p, seed):
    """G(n, p): every pair joined with probability p, from a fixed seed (one
    uniform draw per pair, pairs in lexicographic order)."""
    rng = random.Random(seed)
    return Graph(n, [(u, v) for u in range(n) for v in range(u + 1, n) if rng.random() < p])


def _classes(n, k, rng):
    """A planted k-colouring: the vertices in random order dealt into k
    classes of sizes differing by at most one."""
    order = list(range(n))
    rng.shuffle(order)
    return [order[i::k] for i in range(k)]


def leighton(n, k, m, seed, largest=None):
    """A Leighton graph (Leighton 1979): n vertices in k planted colour
    classes and about m edges, every edge inside a planted clique, each
    clique taking one vertex from each of j random classes. The edges are
    shared equally among the clique sizes j = 2, ..., largest (k unless
    given): size j gets share / (j (j - 1) / 2) cliques, and cliques of
    size 2 then top the graph up to m edges. The planted colouring makes it
    k-colourable, and a clique of size k (when largest = k) needs k."""
    rng = random.Random(seed)
    classes = _classes(n, k, rng)
    largest = largest or k
    edges = set()

    def clique(j):
        members = [rng.choice(classes[c]) for c in rng.sample(range(k), j)]
        for a in range(j):
            for b in range(a + 1, j):
                u, v = members[a], members[b]
                edges.add((min(u, v), max(u, v)))

    share = m / (largest - 1)
    for j in range(largest, 2, -1):
        for _ in range(int(share // (j * (j - 1) // 2))):
            clique(j)
    while len(edges) < m:
        clique(2)
    return Graph(n, sorted(edges))


def flat(n, k, m, seed):
    """A flat graph in the manner of Culberson's generator (flatness 0): n
    vertices in k planted classes of near-equal sizes, about m edges shared
    equally among the class pairs, and within each pair every edge joining a
    vertex of least degree so far in one class to one of least degree in the
    other (ties drawn), so that degrees stay nearly equal and hide the
    colouring from degree-based heuristics."""
    rng = random.Random(seed)
    classes = _classes(n, k, rng)
    degree = [0] * n
    edges = set()
    pairs = [(a, b) for a in range(k) for b in range(a + 1, k)]
    per_pair, extra = divmod(m, len(pairs))
    rng.shuffle(pairs)
    for index, (a, b) in enumerate(pairs):
        want = per_pair + (1 if index < extra else 0)
        want = min(want, len(classes[a]) * len(classes[b]))
        made = 0
        while made < want:
            u = min(classes[a], key=lambda x: (degree[x], rng.random()))
            free = [v for v in classes[b] if (min(u, v), max(u, v)) not in edges]
            if not free:
                # u is joined to all of b: take any pair still open.
                open_pairs = [(x, y) for x in classes[a] for y in classes[b]
                              if (min(x, y), max(x, y)) not in edges]
                u, v = min(open_pairs, key=lambda e: (degree[e[0]] + degree[e[1]], rng.random()))
            else:
                v = min(free, key=lambda x: (degree[x], rng.random()))
            edges.add((min(u, v), max(u, v)))
            degree[u] += 1
            degree[v] += 1
            made += 1
    return Graph(n, sorted(edges))


def instance_text(graph, comment=None):
    """The 0-based instance format: comments, `p n`, `e u v` per edge."""
    n, edges = graph
    lines = ["c " + line for line in comment.splitlines()] if comment else []
    lines.append("p %d" % n)
    lines += ["e %d %d" % e for e in edges]
    return "\n".join(lines) + "\n"


def dimacs_text(graph, comment=None):
    """The DIMACS colouring format: comments, `p edge n m`, `e u v` 1-based."""
    n, edges = graph
    lines = ["c " + line for line in comment.splitlines()] if comment else []
    lines.append("p edge %d %d" % (n, len(edges)))
    lines += ["e %d %d" % (u + 1, v + 1) for u, v in edges]
    return "\n".join(lines) + "\n"


def _write(path, text):
    try:
        with open(path, "w") as f:
            f.write(text)
    except OSError as e:
        raise ScriptError("cannot write %s: %s" % (path, e.strerror))


def write_instance(path, graph, comment=None):
    _write(path, instance_text(graph, comment))


def write_dimacs(path, graph, comment=None):
    _write(path, dimacs_text(graph, comment))


def read_graph(path):
    """Reads an instance file or a DIMACS file (a `p edge` line: ids shifted
    down by one). Only as strict as the files these scripts write need."""
    try:
        with open(path) as f:
            lines = f.read().splitlines()
    except OSError as e:
        raise ScriptError("cannot read %s: %s" % (path, e.strerror))
    n, shift, edges = 0, 0, []
    for number_, line in enumerate(lines, 1):
        t = line.split()
        try:
            if t and t[0] == "p":
                dimacs = len(t) > 2 and t[1] in ("edge", "edges", "col")
                n, shift = int(t[2 if dimacs else 1]), int(dimacs)
            elif t and t[0] == "e":
                edges.append((int(t[1]) - shift, int(t[2]) - shift))
        except (IndexError, ValueError):
            raise ScriptError("%s, line %d: cannot read \"%s\"" % (path, number_, line))
    return Graph(n, edges)


# --- lattices: tori, exact counts by transfer matrix, fits -----------------
#
# scripts/lattice-study's pieces. numpy is imported inside the functions that
# use it, so the rest of this module keeps to the standard library.

def square_torus(width, height=None):
    """The square lattice on a width x height torus (height defaults to
    width): site (x, y) is vertex x + width * y, joined to (x+1, y) and
    (x, y+1) modulo the sides; every vertex has degree 4."""
    return _torus(width, height or width, ((1, 0), (0, 1)))


def triangular_torus(width, height=None):
    """The triangular lattice on a width x height torus: site (x, y) is
    joined to (x+1, y), (x, y+1) and (x+1, y+1) modulo the sides; degree 6."""
    return _torus(width, height or width, ((1, 0), (0, 1), (1, 1)))


def _torus(width, height, steps):
    if width < 3 or height < 3:  # a side of 2 or 1 repeats edges or makes self-loops
        raise ScriptError("a torus needs sides of at least 3, not %d x %d" % (width, height))
    edges = [(x + width * y, (x + dx) % width + width * ((y + dy) % height))
             for y in range(height) for x in range(width) for dx, dy in steps]
    return _graph(width * height, edges)


# Site y of column x is joined to site y + d of column x + 1 for each d.
TRANSFER_OFFSETS = {"square": (0,), "triangular": (0, 1)}


def transfer_matrix(lattice, q, height):
    """(states, T) for columns of `height` sites: the states are the proper
    q-colourings of a column (a cycle), one row each in lexicographic order,
    and T[a, b] (booleans) is true when column b may follow column a. The
    number of proper colourings of the width x height torus is trace(T^width)."""
    import numpy as np
    codes = np.arange(q ** height)
    states = np.stack([(codes // q ** (height - 1 - y)) % q for y in range(height)],
                      axis=1).astype(np.int8)
    states = states[np.all(states != np.roll(states, -1, axis=1), axis=1)]
    T = np.ones((len(states), len(states)), dtype=bool)
    for d in TRANSFER_OFFSETS[lattice]:
        following = np.roll(states, -d, axis=1)  # following[:, y] is site y + d
        for lo in range(0, len(states), 512):    # blocks keep the temporaries small
            block = T[lo:lo + 512]
            for y in range(height):
                block &= states[lo:lo + 512, y, None] != following[None, :, y]
    return states, T


def _orbits(states, reflect):
    """[representative index, orbit size] per orbit of the column states
    under rotation (and reflection) of the column and permutation of the
    colours. These commute with T, so (T^W)[s, s] is constant on an orbit."""
    def relabelled(t):  # colours renamed in order of first appearance
        names = {}
        return tuple(names.setdefault(c, len(names)) for c in t)

    orbits = {}
    for i, s in enumerate(map(tuple, states.tolist())):
        images = [s[k:] + s[:k] for k in range(len(s))]
        if reflect:
            images += [t[::-1] for t in images]
        key = min(map(relabelled, images))
        if key in orbits:
            orbits[key][1] += 1
        else:
            orbits[key] = [i, 1]
    return list(orbits.values())


def transfer_count(lattice, q, width, height=None, prime_bits=None):
    """The number of proper q-colourings of the lattice's width x height torus
    as an exact integer, and how it was computed: trace(T^width), summed over
    one column state per symmetry orbit (times the orbit's size), each
    diagonal entry from `width` sparse products of T with integer vectors.
    When the bound S * r^width (S states, r the largest row sum of T) fits in
    63 bits the products are plain int64 ("int64"); otherwise, or when
    prime_bits is given, they are taken modulo primes below 2^prime_bits
    (default 50) and joined by the Chinese remainder theorem ("CRT, k
    primes"), exact because the primes' product exceeds the bound. Dense
    matrix powers were the alternative: S^3 operations a product, minutes
    for S = 4,098 with Debian's reference BLAS."""
    import numpy as np
    height = height or width
    states, T = transfer_matrix(lattice, q, height)
    size = len(states)
    rows, cols = np.nonzero(T)  # row-major: the columns of each row are contiguous
    if size == 0 or len(cols) == 0:
        return 0, "int64"
    row_sum = int(T.sum(axis=1).max())
    bound = size * row_sum ** width
    starts = np.searchsorted(rows, np.arange(size))
    filled = np.unique(rows)  # rows of T with an entry (reduceat needs them)
    # The square lattice's T keeps its form when the column is reflected;
    # the triangular one's offsets (0, 1) would become (0, -1).
    orbits = _orbits(states, reflect=set(TRANSFER_OFFSETS[lattice]) == {0})

    def diagonal(modulus):
        """sum over orbits of size * (T^width)[rep, rep], modulo `modulus`."""
        total = 0
        for lo in range(0, len(orbits), 16):
            chunk = orbits[lo:lo + 16]
            reps = np.array([i for i, _ in chunk])
            v = np.zeros((size, len(chunk)), dtype=np.int64)
            v[reps, np.arange(len(chunk))] = 1
            for _ in range(width):
                nxt = np.zeros_like(v)
                nxt[filled] = np.add.reduceat(v[cols], starts[filled], axis=0)
                v = nxt % modulus if modulus else nxt
            total += sum(n * int(x) for (_, n), x in zip(chunk, v[reps, np.arange(len(chunk))]))
        return total % modulus if modulus else total

    if bound < 2 ** 63 and prime_bits is None:
        return diagonal(None), "int64"
    # A row sum of r residues below p stays below 2^63.
    bits = min(prime_bits or 50, 62 - row_sum.bit_length())
    primes, product = [], 1
    for p in _primes_below(2 ** bits):
        if product > bound:
            break
        primes.append(p)
        product *= p
    if product <= bound:
        raise ScriptError("the primes below 2^%d cannot hold a count up to %d" % (bits, bound))
    count = 0
    for p in primes:  # Garner-free CRT: the residues combine one prime at a time
        m = product // p
        count += diagonal(p) * m * pow(m, -1, p)
    return count % product, "CRT, %d primes below 2^%d" % (len(primes), bits)


def _primes_below(limit):
    """Primes below `limit`, descending (Miller-Rabin with the first twelve
    prime bases, exact below 3.3e24)."""
    bases = (2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37)

    def prime(n):
        if n < 2:
            return False
        for b in bases:
            if n % b == 0:
                return n == b
        d, s = n - 1, 0
        while d % 2 == 0:
            d, s = d // 2, s + 1
        for b in bases:
            x = pow(b, d, n)
            if x in (1, n - 1):
                continue
            for _ in range(s - 1):
                x = x * x % n
                if x == n - 1:
                    break
            else:
                return False
        return True

    return (n for n in range(limit - 1, 1, -1) if prime(n))


def transfer_eigen_count(q, side):
    """trace(T^side) for the square lattice's symmetric T, as a float: the
    sum of the side-th powers of T's eigenvalues (numpy's eigvalsh)."""
    import numpy as np
    _, T = transfer_matrix("square", q, side)
    return math.fsum(float(x) ** side for x in np.linalg.eigvalsh(T.astype(np.float64)))


# The report's numbers as decimals, for sums and powers at any exponent: a
# probability such as 1.07e-340 lies below a double's range, and Decimal
# keeps its printed digits and exponent.
CountingFigures = collections.namedtuple("CountingFigures", "levels estimates average re cpu")


def counting_figures(text, source="the report"):
    """Levels, the run estimates (Decimal), the summary's average (Decimal),
    RE and total CPU (floats) of a counting-mode report, read by
    parse_counting_report; average, re and cpu are None when the report has
    no summary."""
    import decimal
    report = parse_counting_report(text, source)

    def dec(x):
        value = decimal.Decimal(x.text) if x.is_finite() else None
        if value is None or value < 0:
            raise ScriptError("%s: \"%s\" is not an estimate" % (source, x.text))
        return value

    if report.levels is None:
        raise ScriptError("%s has no \"%s\" line" % (source, _LEVELS.strip()))
    summary = report.summary
    return CountingFigures(report.levels, [dec(r.estimate) for r in report.runs],
                           dec(summary.average) if summary else None,
                           summary.re if summary else None, summary.cpu if summary else None)


LineFit = collections.namedtuple("LineFit", "intercept slope se_intercept se_slope chi2 dof")


def weighted_line_fit(xs, ys, sigmas):
    """Least squares y = intercept + slope * x with weights 1 / sigma^2. The
    standard errors come from the sigmas alone (not rescaled by chi^2 / dof,
    which is returned beside them). Needs two distinct x."""
    w = [1 / s ** 2 for s in sigmas]
    total = sum(w)
    xm = sum(wi * x for wi, x in zip(w, xs)) / total   # centred, for accuracy
    ym = sum(wi * y for wi, y in zip(w, ys)) / total
    sxx = sum(wi * (x - xm) ** 2 for wi, x in zip(w, xs))
    slope = sum(wi * (x - xm) * (y - ym) for wi, x, y in zip(w, xs, ys)) / sxx
    intercept = ym - slope * xm
    chi2 = sum(wi * (y - intercept - slope * x) ** 2 for wi, x, y in zip(w, xs, ys))
    return LineFit(intercept, slope, math.sqrt(1 / total + xm ** 2 / sxx),
                   math.sqrt(1 / sxx), chi2, len(xs) - 2)


def power_law_fit(xs, ys):
    """(c, b) of y = c * x^b, by least squares on the logarithms."""
    fit = weighted_line_fit([math.log(x) for x in xs], [math.log(y) for y in ys],
                            [1.0] * len(xs))
    return math.exp(fit.intercept), fit.slope
