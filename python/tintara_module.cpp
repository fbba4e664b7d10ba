// The Python module tintara: counting mode and chromatic mode called from
// Python on a networkx graph (or an (n, edges) pair), their figures returned
// as objects.
//
// The options are the program's own, taken from its option table
// (cli/settings.h) by name as keyword arguments (max_time for --max-time)
// and read by the command line's parser, so that the defaults, the range
// checks and the refusals are the program's, and an option added to the
// table reaches tintara.count or tintara.chromatic with no code here. The
// functions' signatures are built from the same table when the module is
// imported.
//
// A call holds no lock Python needs while the work runs (background_call.h)
// and installs no signal handler: Ctrl-C stops the work as SIGINT stops the
// program, then raises KeyboardInterrupt. Nothing is printed; standard
// error's lines come back as the result's notes, and those that warn go
// through Python's warnings module.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <limits>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include <pybind11/eval.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "background_call.h"
#include "chromatic_call.h"
#include "cli/counting_mode.h"
#include "cli/run_options.h"
#include "cli/settings.h"
#include "coloring/proper_coloring.h"
#include "counting_call.h"
#include "graph_labels.h"
#include "process/failures.h"
#include "process/memory_limit.h"
#include "process/run_memory.h"

namespace py = pybind11;

namespace tintara::python {

namespace {

// ---- Options ---------------------------------------------------------------

// The table's options no keyword names: the call itself stands for them
// (the graph argument for --problem, the function for --chrom, the returned
// object for --format and --save-coloring).
bool standsForCall(const std::string& name) {
  return name == "problem" || name == "chrom" || name == "format" || name == "save-coloring";
}

// Options whose signature shows None, "not given": their default means
// none (no seed yet, no journal, no limit), or depends on more than the
// option (a resumed journal's --decompose, the move of the mode).
bool shownAsNone(const OptionSpec& option) {
  const std::string name = option.name;
  return !option.defaultValue || name == "max-runs" || name == "max-time" || name == "decompose" ||
         name == "move";
}

bool readIn(const OptionSpec& option, bool chromatic) {
  const Modes mode = chromatic ? Modes::Chromatic : Modes::Counting;
  return (static_cast<uint8_t>(option.modes) & static_cast<uint8_t>(mode)) != 0;
}

// An integer option whose values are 0 and 1: a flag in Python.
bool isSwitch(const OptionSpec& option) {
  return std::holds_alternative<int32_t RunSettings::*>(option.field) && option.limits.low == 0 &&
         option.limits.high == 1;
}

std::string keywordOf(const std::string& name) {
  std::string keyword = name;
  for (char& c : keyword) c = c == '-' ? '_' : c;
  return keyword;
}

const OptionSpec* optionOfKeyword(const std::string& keyword) {
  if (keyword.find('-') != std::string::npos) return nullptr;
  for (const OptionSpec& option : optionTable()) {
    if (keywordOf(option.name) == keyword && !std::holds_alternative<Flag>(option.field) &&
        !standsForCall(option.name)) {
      return &option;
    }
  }
  return nullptr;
}

// The options a function of the mode takes as keywords, in table order.
std::vector<const OptionSpec*> keywordOptions(bool chromatic) {
  std::vector<const OptionSpec*> options;
  for (const OptionSpec& option : optionTable()) {
    if (optionOfKeyword(keywordOf(option.name)) == &option && readIn(option, chromatic)) {
      options.push_back(&option);
    }
  }
  return options;
}

// A keyword's value as the command line would spell it: a bool as 0 or 1,
// an integer (or anything with __index__) in decimal, a float as repr gives
// it (the shortest text that reads back to it), a str as it is.
std::string optionText(const std::string& keyword, py::handle value) {
  if (py::isinstance<py::bool_>(value)) return value.cast<bool>() ? "1" : "0";
  if (PyIndex_Check(value.ptr())) {
    return py::str(py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr())))
        .cast<std::string>();
  }
  if (py::isinstance<py::float_>(value)) {
    const py::float_ number(py::reinterpret_borrow<py::object>(value));
    return py::repr(number).cast<std::string>();
  }
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  throw py::type_error(keyword + " takes a number or a word, not " +
                       py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>());
}

py::type_error unexpectedKeyword(const char* function, const std::string& keyword) {
  return py::type_error(std::string(function) + "() got an unexpected keyword argument '" +
                        keyword + "'");
}

struct CallSettings {
  RunSettings settings;
  std::vector<std::string> notes;  // a resumed journal's note
  bool progress = false;
};

// The settings for the keyword arguments of `function`: None leaves an
// option at the program's default; `progress` is the module's own.
CallSettings callSettings(const char* function, bool chromatic, const py::dict& keywords) {
  CallSettings call;
  std::vector<NamedOption> named;
  std::vector<const OptionSpec*> given;
  for (const auto& [key, value] : keywords) {
    const std::string keyword = py::str(key).cast<std::string>();
    if (keyword == "progress") {
      const int truth = PyObject_IsTrue(value.ptr());
      if (truth < 0) throw py::error_already_set();
      call.progress = truth == 1;
      continue;
    }
    const OptionSpec* option = optionOfKeyword(keyword);
    if (!option) throw unexpectedKeyword(function, keyword);
    if (value.is_none()) continue;
    named.push_back(NamedOption{option->name, optionText(keyword, value)});
    given.push_back(option);
  }
  // The program's refusals first (--move in counting mode, --decompose in
  // chromatic mode), in its words; then any other option of the other mode.
  call.settings = settingsFromNamedOptions(chromatic, named, call.notes);
  for (const OptionSpec* option : given) {
    if (!readIn(*option, chromatic)) throw unexpectedKeyword(function, keywordOf(option->name));
  }
  return call;
}

// ---- Results ---------------------------------------------------------------

struct NoEstimate : std::runtime_error {
  using std::runtime_error::runtime_error;
};

PyObject* tintaraWarning = nullptr;

void warn(const std::string& line) {
  // Level 2: the line of the caller of tintara.count, past the function
  // the module defines in Python.
  if (PyErr_WarnEx(tintaraWarning, line.c_str(), 2) != 0) throw py::error_already_set();
}

double log10Of(const WideDouble& x) {
  if (x == 0) return -std::numeric_limits<double>::infinity();
  if (!(x > 0)) return std::numeric_limits<double>::quiet_NaN();
  return toDouble(boost::multiprecision::log10(x));
}

double seconds(int64_t milliseconds) {
  return static_cast<double>(milliseconds) / 1000.0;
}

std::string shortNumber(double x) {
  std::ostringstream text;
  text << std::setprecision(6) << x;
  return text.str();
}

struct Run {
  int64_t run = 0;
  double estimate = 0.0;
  double log10Estimate = 0.0;
  double cpu = 0.0;
};

struct HardPartResult {
  py::list vertices;
  int32_t edges = 0;
  std::vector<double> levels;
  std::optional<int32_t> kernelVertices;  // None: split whole
  int32_t weightedEdges = 0;
  std::optional<double> mean;  // None unless the parts' means are multiplied
  std::optional<double> log10Mean;
  std::optional<double> re;
};

struct PartsResult {
  int32_t blocks = 0;
  int32_t exactBlocks = 0;
  double exactFactor = 0.0;
  double log10ExactFactor = 0.0;
  std::vector<HardPartResult> hard;
  std::string summary;
};

struct CountResult {
  double probability = 0.0;
  double mantissa = 0.0;
  int64_t exponent10 = 0;
  double log10Probability = 0.0;
  double log10Count = 0.0;
  double re = 0.0;
  double plainMean = 0.0;
  double plainRe = 0.0;
  std::vector<Run> runs;
  std::size_t levels = 0;
  double cpu = 0.0;
  std::string end;
  uint64_t seed = 0;
  int32_t colors = 0;
  int32_t vertices = 0;
  std::optional<PartsResult> parts;
  std::vector<std::string> notes;
};

struct ChromaticResult {
  int32_t colors = 0;
  bool proved = false;
  std::optional<py::list> clique;
  py::dict coloring;
  int32_t steps = 0;
  double meanIterations = 0.0;
  double cpu = 0.0;
  std::string end;
  uint64_t seed = 0;
};

std::string endWord(const CountingOutcome& outcome) {
  switch (outcome.end) {
    case CountingEnd::RunBudget:
      return "max-runs";
    case CountingEnd::Halted:
      return outcome.cause == HaltCause::OutOfTime ? "max-time" : "signal";
    case CountingEnd::Exact:
      return "exact";
    default:
      return "target-met";
  }
}

// The parts' figures with the hard parts' vertices by label.
PartsResult partsResult(const PartsFigures& figures, const LabelledGraph& graph) {
  PartsResult parts{figures.blocks,
                    figures.exactBlocks,
                    toDouble(figures.exactFactor),
                    log10Of(figures.exactFactor),
                    {},
                    figures.summary};
  for (const HardPartFigures& hard : figures.hard) {
    HardPartResult part;
    part.vertices = graph.labelsOf(hard.vertices);
    part.edges = hard.edges;
    part.levels = hard.levels;
    if (hard.kernelVertices > 0) part.kernelVertices = hard.kernelVertices;
    part.weightedEdges = hard.weightedEdges;
    if (hard.mean) {
      part.mean = toDouble(*hard.mean);
      part.log10Mean = log10Of(*hard.mean);
    }
    part.re = hard.re;
    parts.hard.push_back(std::move(part));
  }
  return parts;
}

CountResult countResult(const CountingFigures& figures, const RunSettings& s,
                        const LabelledGraph& graph) {
  const CountingOutcome& outcome = figures.outcome;
  const EstimateTally& tally = outcome.tally;
  const bool exact = outcome.end == CountingEnd::Exact;
  const WideDouble probability = exact ? outcome.exactValue : tally.mean();
  const DecimalForm form = decimalForm(probability);
  CountResult result;
  result.probability = toDouble(probability);
  result.mantissa = form.mantissa;
  result.exponent10 = form.exponent10;
  result.log10Probability = log10Of(probability);
  result.log10Count =
      result.log10Probability + graph.graph.vertexCount * std::log10(static_cast<double>(s.colors));
  result.re = exact ? 0.0 : tally.relativeError();
  result.plainMean = exact ? result.probability : toDouble(tally.plainMean());
  result.plainRe = exact ? 0.0 : tally.plainRelativeError();
  for (const RunRecord& record : figures.runs) {
    result.runs.push_back(Run{record.run, toDouble(record.estimate), log10Of(record.estimate),
                              seconds(record.cpuMilliseconds)});
  }
  result.levels = outcome.levelCount();
  result.cpu = seconds(exact ? outcome.exactMilliseconds : tally.cpuMilliseconds());
  result.end = endWord(outcome);
  result.seed = s.seed;
  result.colors = s.colors;
  result.vertices = graph.graph.vertexCount;
  if (figures.parts) result.parts = partsResult(*figures.parts, graph);
  result.notes = figures.notes;
  return result;
}

ChromaticResult chromaticResult(const SearchFigures& figures, const RunSettings& s,
                                const LabelledGraph& graph) {
  const ChromaticRun& run = figures.run;
  const ChromaticOutcome& search = run.search;
  // The one check every colouring handed out passes (as a saved file's).
  if (!isProperColoring(graph.graph, search.coloring, search.chromatic)) {
    throw std::logic_error("the colouring found is not a proper colouring");
  }
  ChromaticResult result;
  result.colors = search.chromatic;
  if (!s.trivialBounds()) {
    result.clique = graph.labelsOf(run.start.clique);
    result.proved = run.start.cliqueSize == search.chromatic;
  }
  for (int32_t v = 0; v < graph.graph.vertexCount; ++v) {
    result.coloring[graph.labels[static_cast<std::size_t>(v)]] =
        py::int_(search.coloring[static_cast<std::size_t>(v)]);
  }
  result.steps = search.steps;
  result.meanIterations = search.meanIterations;
  result.cpu = seconds(run.cpuMilliseconds);
  result.end = !search.stopped                     ? "finished"
               : run.cause == HaltCause::OutOfTime ? "max-time"
                                                   : "signal";
  result.seed = s.seed;
  return result;
}

// ---- The calls -------------------------------------------------------------

const RunExecutor& executor() {
  static const RunExecutor threads = threadExecutor();
  return threads;
}

Halt callHalt(const RunSettings& s, Halt::Clock::time_point started,
              const std::atomic<bool>& stop) {
  const Halt budget = s.maxTime > 0 ? Halt(deadlineAfter(started, s.maxTime)) : Halt();
  return budget.stoppedBy(stop);
}

CountResult count(py::handle graph, const py::dict& keywords) {
  const auto started = Halt::Clock::now();
  const CallSettings call = callSettings("count", false, keywords);
  const RunSettings& s = call.settings;
  const LabelledGraph labelled = graphFromPython(graph, [&s](int32_t n, int64_t m) {
    checkRunMemory(n, m, countingFootprint(s), usableMemory());
  });
  std::atomic<bool> stop{false};
  const Halt halt = callHalt(s, started, stop);
  CountingFigures figures;
  callInBackground(
      stop, [&] { figures = countOnGraph(s, labelled.graph, executor(), halt, call.progress); });
  for (const std::string& note : call.notes) warn(note);
  for (const std::string& line : figures.warnings) warn(line);
  if (!figures.noEstimate.empty()) throw NoEstimate(figures.noEstimate);
  CountResult result = countResult(figures, s, labelled);
  result.notes.insert(result.notes.begin(), call.notes.begin(), call.notes.end());
  return result;
}

ChromaticResult chromatic(py::handle graph, const py::dict& keywords) {
  const auto started = Halt::Clock::now();
  const CallSettings call = callSettings("chromatic", true, keywords);
  const RunSettings& s = call.settings;
  const LabelledGraph labelled = graphFromPython(graph, [&s](int32_t n, int64_t m) {
    checkRunMemory(n, m, chromaticFootprint(s, executor()), usableMemory());
  });
  std::atomic<bool> stop{false};
  const Halt halt = callHalt(s, started, stop);
  SearchFigures figures;
  callInBackground(
      stop, [&] { figures = searchOnGraph(s, labelled.graph, executor(), halt, call.progress); });
  for (const std::string& line : figures.warnings) warn(line);
  return chromaticResult(figures, s, labelled);
}

// ---- Signatures and documentation -----------------------------------------

py::object optionDefault(const OptionSpec& option) {
  if (shownAsNone(option)) return py::none();
  const std::string text = option.defaultValue;
  if (isSwitch(option)) return py::bool_(text == "1");
  if (std::holds_alternative<int32_t RunSettings::*>(option.field) ||
      std::holds_alternative<int64_t RunSettings::*>(option.field)) {
    return py::int_(std::stoll(text));
  }
  if (std::holds_alternative<double RunSettings::*>(option.field)) {
    return py::float_(std::stod(text));
  }
  return py::str(text);
}

py::object optionType(const OptionSpec& option) {
  const py::module_ builtins = py::module_::import("builtins");
  py::object type = builtins.attr("str");
  if (isSwitch(option)) {
    type = builtins.attr("bool");
  } else if (std::holds_alternative<SeedText>(option.field) ||
             std::holds_alternative<int32_t RunSettings::*>(option.field) ||
             std::holds_alternative<int64_t RunSettings::*>(option.field)) {
    type = builtins.attr("int");
  } else if (std::holds_alternative<double RunSettings::*>(option.field)) {
    type = builtins.attr("float");
  }
  if (shownAsNone(option)) {
    type = py::module_::import("typing").attr("Optional").attr("__getitem__")(type);
  }
  return type;
}

// The options' part of a function's docstring: each keyword with the
// program's listing text.
std::string optionsDoc(bool chromatic) {
  std::string doc =
      "Options (the program's, by name: max_time is --max-time; None leaves one at "
      "the program's default):\n";
  for (const OptionSpec* option : keywordOptions(chromatic)) {
    doc += "    " + keywordOf(option->name) + ": " + helpText(*option) + "\n";
  }
  doc += "    progress: draw the program's progress display on standard error (a terminal)\n";
  doc += "A seed drawn afresh is the result's seed: the module writes nothing to standard error.\n";
  return doc;
}

// Defines `name` in the module as a Python function that passes its
// arguments on to `implementation`, with the signature built from the
// option table: help() and inspect show every option with its default.
void defineFunction(py::module_& module, const char* name, const char* source,
                    py::object implementation, bool chromatic, const std::string& doc,
                    py::object returns) {
  py::dict scope;
  scope["_implementation"] = std::move(implementation);
  py::exec(source, scope);
  py::object function = scope[name];
  const py::module_ inspect = py::module_::import("inspect");
  const py::object parameter = inspect.attr("Parameter");
  py::list parameters;
  py::dict annotations;
  const auto add = [&](const std::string& keyword, py::object kind, py::object fallback,
                       py::object type) {
    parameters.append(
        parameter(keyword, kind, py::arg("default") = fallback, py::arg("annotation") = type));
    annotations[py::str(keyword)] = type;
  };
  const py::object graphType = py::str("networkx.Graph | tuple[int, Iterable[tuple[int, int]]]");
  add("graph", parameter.attr("POSITIONAL_OR_KEYWORD"), parameter.attr("empty"), graphType);
  for (const OptionSpec* option : keywordOptions(chromatic)) {
    const bool positional = !chromatic && std::string(option->name) == "colors";
    add(keywordOf(option->name),
        parameter.attr(positional ? "POSITIONAL_OR_KEYWORD" : "KEYWORD_ONLY"),
        optionDefault(*option), optionType(*option));
  }
  add("progress", parameter.attr("KEYWORD_ONLY"), py::bool_(false),
      py::module_::import("builtins").attr("bool"));
  annotations["return"] = returns;
  function.attr("__signature__") =
      inspect.attr("Signature")(parameters, py::arg("return_annotation") = returns);
  function.attr("__annotations__") = annotations;
  function.attr("__doc__") = py::str(doc + "\n" + optionsDoc(chromatic));
  function.attr("__module__") = module.attr("__name__");
  module.attr(name) = function;
}

const char* const kCountSource = R"(
def count(graph, colors=None, **options):
    options["colors"] = colors
    return _implementation(graph, options)
)";

const char* const kChromaticSource = R"(
def chromatic(graph, **options):
    return _implementation(graph, options)
)";

const char* const kCountDoc =
    R"(Estimate the number of proper colorings of a graph with `colors` colors.

The estimate is the program's counting mode (splitting), with the same
figures as `tintara --problem FILE --colors k --seed S` on the graph written
with node i the i-th of G.nodes() and its edges in G.edges() order.

graph: a networkx Graph or MultiGraph (any hashable node labels; a repeated
    edge counts as the program counts one), or a pair (n, edges) with
    integer ids 0..n-1.

Returns a Count: the probability that a uniformly random coloring is proper,
log10_count = log10(P) + n log10(k), the relative error, every run, and
what counting by parts found (parts). The run ends as the program's does:
at the target relative error, or at max_runs or max_time (end says which).

Raises ValueError for a graph or option the program refuses (with its
message), MemoryError for a run that does not fit in memory, NoEstimate when
the pilot run stagnates (or max_time ends the work before any run), and
KeyboardInterrupt on Ctrl-C, which stops the runs first. The program's
warnings (skewed estimates, a stop short of the target, a journal's notes)
go through the warnings module as TintaraWarning.
)";

const char* const kChromaticDoc = R"(Find the chromatic number of a graph, or an upper bound on it.

The search is the program's chromatic mode (`--chrom 1`), with its figures
for the same seed and options.

graph: a networkx Graph or MultiGraph (any hashable node labels), or a pair
    (n, edges) with integer ids 0..n-1.

Returns a Chromatic: colors, whether a clique of as many vertices proves it
(proved, clique), a proper coloring by the graph's own labels, the steps,
E(T) and the processor time. max_time ends the search with an upper bound
(end is then "max-time", and a TintaraWarning says so).

Raises ValueError for a graph or option the program refuses, MemoryError
for a search that does not fit in memory, and KeyboardInterrupt on Ctrl-C.
)";

std::string countRepr(const CountResult& r) {
  return "Count(probability=" + shortNumber(r.probability) + ", re=" + shortNumber(r.re) +
         ", log10_count=" + shortNumber(r.log10Count) + ", runs=" + std::to_string(r.runs.size()) +
         ", end='" + r.end + "', seed=" + std::to_string(r.seed) + ")";
}

std::string chromaticRepr(const ChromaticResult& r) {
  return "Chromatic(colors=" + std::to_string(r.colors) +
         ", proved=" + (r.proved ? "True" : "False") + ", steps=" + std::to_string(r.steps) +
         ", end='" + r.end + "', seed=" + std::to_string(r.seed) + ")";
}

}  // namespace

}  // namespace tintara::python

PYBIND11_MODULE(tintara, m) {
  using namespace tintara;
  using namespace tintara::python;
  m.doc() =
      "Tintara from Python: the number of proper colorings of a graph (count) and its chromatic "
      "number (chromatic), by the splitting method, with the program's options and figures.\n\n"
      "    >>> import tintara, networkx as nx\n"
      "    >>> tintara.count(nx.petersen_graph(), 3, seed=1, terr=0.1).log10_count\n";
  m.attr("__version__") = TINTARA_VERSION;

  tintaraWarning = PyErr_NewExceptionWithDoc(
      "tintara.TintaraWarning",
      "A warning of the program's: skewed estimates, a stop short of the target, a journal's note.",
      PyExc_UserWarning, nullptr);
  m.attr("TintaraWarning") = py::handle(tintaraWarning);
  static py::exception<NoEstimate> noEstimate(m, "NoEstimate", PyExc_RuntimeError);
  noEstimate.attr("__doc__") =
      "No estimate was made: the pilot run stagnated without a proper coloring, or max_time "
      "ended the work before any run.";
  py::register_exception_translator([](std::exception_ptr failure) {
    try {
      if (failure) std::rethrow_exception(failure);
    } catch (const NoEstimate& error) {
      PyErr_SetString(noEstimate.ptr(), error.what());
    } catch (const RunTooLarge& error) {
      PyErr_SetString(PyExc_MemoryError, error.what());
    } catch (const InputError& error) {
      PyErr_SetString(PyExc_ValueError, error.what());
    } catch (const OptionError& error) {
      PyErr_SetString(PyExc_ValueError, error.what());
    } catch (const WriteError& error) {
      PyErr_SetString(PyExc_OSError, error.what());
    } catch (const ThreadStartError& error) {
      PyErr_SetString(PyExc_RuntimeError,
                      ("Cannot start a worker thread: " + error.code().message()).c_str());
    }
  });

  py::class_<Run>(m, "Run", "One fixed-level run: its estimate of the probability and its CPU.")
      .def_readonly("run", &Run::run, "The run's number, from 1.")
      .def_readonly("estimate", &Run::estimate, "The run's estimate (0.0 below a double's range).")
      .def_readonly("log10_estimate", &Run::log10Estimate, "log10 of the estimate.")
      .def_readonly("cpu", &Run::cpu, "The run's processor seconds.")
      .def("__repr__", [](const Run& r) {
        return "Run(run=" + std::to_string(r.run) + ", estimate=" + shortNumber(r.estimate) +
               ", cpu=" + shortNumber(r.cpu) + ")";
      });
  py::class_<HardPartResult>(m, "HardPart", "A block without an exact value, split by the runs.")
      .def_readonly("vertices", &HardPartResult::vertices, "Its vertices, by the graph's labels.")
      .def_readonly("edges", &HardPartResult::edges, "Its number of distinct edges.")
      .def_readonly("levels", &HardPartResult::levels, "The levels its pilot run fixed.")
      .def_readonly("kernel_vertices", &HardPartResult::kernelVertices,
                    "Split on its kernel (after series and parallel reductions): the kernel's "
                    "vertices; None when it is split whole.")
      .def_readonly("weighted_edges", &HardPartResult::weightedEdges,
                    "The kernel's edges that carry a weight (an activity bit).")
      .def_readonly("mean", &HardPartResult::mean,
                    "With more than one hard part, whose means are multiplied: this part's mean "
                    "over the runs (0.0 below a double's range); None otherwise.")
      .def_readonly("log10_mean", &HardPartResult::log10Mean, "Its log10, or None.")
      .def_readonly("re", &HardPartResult::re, "Its relative error, or None.");
  py::class_<PartsResult>(m, "Parts", "What counting by parts (decompose) found.")
      .def_readonly("blocks", &PartsResult::blocks, "The graph's blocks.")
      .def_readonly("exact_blocks", &PartsResult::exactBlocks, "Blocks valued exactly.")
      .def_readonly("exact_factor", &PartsResult::exactFactor,
                    "The product of the exact blocks' probabilities (a float).")
      .def_readonly("log10_exact_factor", &PartsResult::log10ExactFactor, "Its log10.")
      .def_readonly("hard", &PartsResult::hard, "The hard parts, in block order.")
      .def_readonly("summary", &PartsResult::summary, "The program's line for the plan.")
      .def("__repr__", [](const PartsResult& p) { return "Parts(" + p.summary + ")"; });
  py::class_<CountResult>(m, "Count", "What tintara.count found.")
      .def_readonly("probability", &CountResult::probability,
                    "The report's average: the probability that a uniformly random coloring is "
                    "proper (0.0 below a double's range; see mantissa and exponent10).")
      .def_readonly("mantissa", &CountResult::mantissa,
                    "probability = mantissa * 10**exponent10, 1 <= |mantissa| < 10, at any "
                    "exponent.")
      .def_readonly("exponent10", &CountResult::exponent10, "See mantissa.")
      .def_readonly("log10_probability", &CountResult::log10Probability, "log10 of probability.")
      .def_readonly("log10_count", &CountResult::log10Count,
                    "log10 of the number of proper colorings: log10(P) + n log10(k).")
      .def_readonly("re", &CountResult::re, "The report's relative error (0 when exact).")
      .def_readonly("plain_mean", &CountResult::plainMean,
                    "The mean of the runs' estimates alone (the average counts an entry 0.0 "
                    "before the first run).")
      .def_readonly("plain_re", &CountResult::plainRe, "The plain mean's relative error.")
      .def_readonly("runs", &CountResult::runs, "Every run, in run order.")
      .def_readonly("levels", &CountResult::levels, "The levels the pilots fixed, all parts'.")
      .def_readonly("cpu", &CountResult::cpu, "The runs' processor seconds.")
      .def_readonly("end", &CountResult::end,
                    "Why the runs ended: 'target-met', 'max-runs', 'max-time' or 'exact' (every "
                    "block counted exactly, no run).")
      .def_readonly("seed", &CountResult::seed, "The seed, given or drawn.")
      .def_readonly("colors", &CountResult::colors, "The number of colors k.")
      .def_readonly("vertices", &CountResult::vertices, "The graph's vertices n.")
      .def_readonly("parts", &CountResult::parts,
                    "What counting by parts found (a Parts), or None for the whole graph split.")
      .def_readonly("notes", &CountResult::notes,
                    "Every line the program tells standard error for this run.")
      .def("__repr__", &countRepr);
  py::class_<ChromaticResult>(m, "Chromatic", "What tintara.chromatic found.")
      .def_readonly("colors", &ChromaticResult::colors,
                    "The number of colors found (an upper bound when stopped early).")
      .def_readonly("proved", &ChromaticResult::proved,
                    "Whether a clique of as many vertices proves it is the chromatic number.")
      .def_readonly("clique", &ChromaticResult::clique,
                    "The clique's vertices by label (None with bounds='trivial').")
      .def_readonly("coloring", &ChromaticResult::coloring,
                    "A proper coloring: {label: color in 0..colors-1}.")
      .def_readonly("steps", &ChromaticResult::steps, "The search's steps.")
      .def_readonly("mean_iterations", &ChromaticResult::meanIterations,
                    "E(T): the mean iterations of a test (NaN when none was made).")
      .def_readonly("cpu", &ChromaticResult::cpu, "The processor seconds.")
      .def_readonly("end", &ChromaticResult::end, "'finished' or 'max-time'.")
      .def_readonly("seed", &ChromaticResult::seed, "The seed, given or drawn.")
      .def("__repr__", &chromaticRepr);

  defineFunction(m, "count", kCountSource, py::cpp_function(&count), false, kCountDoc,
                 m.attr("Count"));
  defineFunction(m, "chromatic", kChromaticSource, py::cpp_function(&chromatic), true,
                 kChromaticDoc, m.attr("Chromatic"));
}
