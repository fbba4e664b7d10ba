"""The Python module against the program: the same figures for a seed in
both modes (on graphs with string labels, an isolated vertex, repeated edges
and a single hard block, counted by parts and whole), the program's refusals
as Python exceptions, Ctrl-C, and threads.

    PYTHONPATH=build/python python3 python/tests/module_test.py --tintara build/tintara
"""
import argparse
import inspect
import json
import math
import os
import random
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import warnings

import networkx as nx

import tintara

TINTARA = None  # the executable, from --tintara


def labelled_torus_with_triangle():
    """The 8x8 torus (one block too wide to count exactly at k = 3) with a
    triangle hung on one vertex, labelled by strings and added in a shuffled
    order, so that G.nodes() is neither sorted nor the torus's order."""
    torus = nx.grid_2d_graph(8, 8, periodic=True)
    edges = [("v%d.%d" % u, "v%d.%d" % v) for u, v in torus.edges()]
    edges += [("v0.0", "t1"), ("t1", "t2"), ("t2", "v0.0")]
    random.Random(5).shuffle(edges)
    g = nx.Graph()
    g.add_edges_from(edges)
    return g


def groetzsch_multigraph():
    """The Groetzsch graph (chromatic number 4, no triangle) as a MultiGraph
    with one edge twice."""
    g = nx.MultiGraph(nx.mycielski_graph(4))
    g.add_edge(0, 1)
    return g


# (name, graph as the module takes it, colours for counting mode)
GRAPHS = [
    ("single hard block", nx.grid_2d_graph(9, 9, periodic=True), 3),
    ("string labels", labelled_torus_with_triangle(), 3),
    ("isolated vertex", (11, list(nx.petersen_graph().edges())), 3),
    ("repeated edge", groetzsch_multigraph(), 4),
    ("two hard parts", nx.disjoint_union(nx.grid_2d_graph(8, 8, periodic=True),
                                         nx.grid_2d_graph(8, 8, periodic=True)), 3),
]


def numbered(graph):
    """The labels in the module's order and the edges by number, as the
    instance file for the program lists them."""
    if isinstance(graph, tuple):
        n, edges = graph
        return list(range(n)), list(edges)
    labels = list(graph.nodes())
    index = {label: i for i, label in enumerate(labels)}
    return labels, [(index[u], index[v]) for u, v in graph.edges()]


class Program(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="module test ")

    def instance(self, graph):
        labels, edges = numbered(graph)
        path = os.path.join(self.dir, "graph.txt")
        with open(path, "w") as f:
            f.write("p %d\n" % len(labels))
            f.writelines("e %d %d\n" % e for e in edges)
        return path

    def program(self, graph, *options):
        """The program's JSON objects by type, its standard error's lines
        and its exit status."""
        out = subprocess.run([TINTARA, "--problem", self.instance(graph), "--format", "json"]
                             + [str(o) for o in options], capture_output=True, text=True)
        objects = {}
        for line in out.stdout.splitlines():
            o = json.loads(line)
            objects.setdefault(o.get("type", "error"), []).append(o)
        return objects, out.stderr.splitlines(), out.returncode

    def refusal(self, *options):
        """The program's one-line refusal of these options."""
        objects, _, status = self.program((2, [(0, 1)]), *options)
        self.assertEqual(status, 1)
        return objects["error"][0]["error"]


class SameFiguresAsTheProgram(Program):
    def test_counting(self):
        for name, graph, k in GRAPHS:
            for decompose in (True, False):
                with self.subTest(graph=name, decompose=decompose):
                    options = dict(seed=7, N=200, terr=0.15, decompose=decompose)
                    with warnings.catch_warnings(record=True) as warned:
                        warnings.simplefilter("always")
                        r = tintara.count(graph, k, **options)
                    objects, errors, status = self.program(
                        graph, "--colors", k, "--seed", 7, "--N", 200, "--terr", 0.15,
                        "--decompose", int(decompose))
                    self.assertEqual(status, 0, errors)
                    summary = objects["summary"][0]
                    self.assertEqual(r.end, summary["end"])
                    self.assertEqual(r.levels, objects["levels"][0]["levels"])
                    self.assertEqual((r.mantissa, r.exponent10),
                                     (summary["average"]["mantissa"],
                                      summary["average"]["exponent10"]))
                    self.assertEqual(r.re, summary["re"])
                    self.assertEqual(r.plain_re, summary["plain_re"])
                    program_runs = objects.get("run", [])
                    self.assertEqual(len(r.runs), len(program_runs))
                    for mine, theirs in zip(r.runs, program_runs):
                        self.assertEqual(mine.run, theirs["run"])
                        self.assertTrue(math.isclose(mine.estimate,
                                                     float(theirs["estimate"]["text"]),
                                                     rel_tol=1e-15))
                    self.assertEqual(r.notes, errors)
                    # Every line but the plan's and the plain mean's warns.
                    self.assertEqual(
                        [str(w.message) for w in warned if w.category is tintara.TintaraWarning],
                        [e for e in errors if not e.startswith(("decomposed:", "plain mean"))])
                    # The count is the probability's k^n colourings.
                    n = len(numbered(graph)[0])
                    self.assertAlmostEqual(r.log10_count,
                                           math.log10(r.probability) + n * math.log10(k))
                    if decompose:
                        self.assertEqual(r.parts.summary, errors[0])
                        found = summary["decomposition"]["parts"]
                        self.assertEqual(len(r.parts.hard), len(found))
                        for part, theirs in zip(r.parts.hard, found):
                            self.assertTrue(set(part.vertices) <= set(numbered(graph)[0]))
                            self.assertEqual((len(part.vertices), part.kernel_vertices,
                                              part.weighted_edges),
                                             (theirs["vertices"], theirs["kernel_vertices"],
                                              theirs["weighted_edges"]))
                            self.assertEqual(part.re, theirs["re"])
                            if len(found) > 1:  # the parts' means multiplied
                                self.assertIsNotNone(part.re)
                    else:
                        self.assertIsNone(r.parts)

    def test_a_hard_part_is_named_by_labels(self):
        graph = labelled_torus_with_triangle()
        r = tintara.count(graph, 3, seed=3, N=100, terr=0.3)
        (part,) = r.parts.hard
        self.assertEqual(set(part.vertices), {v for v in graph if v.startswith("v")})
        self.assertEqual(part.edges, 128)
        self.assertEqual(len(part.levels), r.levels)
        self.assertAlmostEqual(r.parts.exact_factor, (3 * 2 * 1) / 27, places=15)

    def test_chromatic(self):
        for name, graph, _ in GRAPHS:
            with self.subTest(graph=name):
                r = tintara.chromatic(graph, seed=11, N=100)
                saved = os.path.join(self.dir, "coloring.txt")
                objects, errors, status = self.program(graph, "--chrom", 1, "--seed", 11, "--N",
                                                       100, "--save-coloring", saved)
                self.assertEqual(status, 0, errors)
                figures = objects["chromatic"][0]
                self.assertEqual((r.colors, r.steps, r.proved, r.end),
                                 (figures["chromatic"], figures["steps"], figures["proved"],
                                  figures["end"]))
                mean = figures["mean_iterations"]  # null when no test was made
                self.assertEqual(r.mean_iterations if mean is not None else None, mean)
                self.assertEqual(len(r.clique), figures["clique"])
                labels, edges = numbered(graph)
                with open(saved) as f:
                    program_colors = {int(v): int(c) for kind, v, c in
                                      (line.split() for line in f if line.startswith("v "))}
                self.assertEqual(r.coloring, {labels[v]: c for v, c in program_colors.items()})
                # A proper colouring by the graph's own labels.
                self.assertEqual(set(r.coloring), set(labels))
                for u, v in edges:
                    self.assertNotEqual(r.coloring[labels[u]], r.coloring[labels[v]])
                clique = r.clique
                for i, u in enumerate(clique):
                    for v in clique[i + 1:]:
                        self.assertIn((labels.index(u), labels.index(v)),
                                      set(edges) | {(b, a) for a, b in edges})

    def test_the_signature_shows_the_programs_defaults(self):
        objects, _, _ = self.program((2, [(0, 1)]), "--seed", 1, "--max-runs", 1)
        defaults = objects["header"][0]["options"]
        for function in (tintara.count, tintara.chromatic):
            for name, p in inspect.signature(function).parameters.items():
                option = name.replace("_", "-")
                if p.default is None or option not in defaults:
                    continue
                with self.subTest(function=function.__name__, option=name):
                    self.assertEqual(p.default, defaults[option])
                    self.assertIsInstance(p.default, type(defaults[option]))


class Refusals(Program):
    def test_graphs_the_program_refuses(self):
        loop = nx.Graph([("a", "b"), ("b", "b")])
        cases = [
            (loop, "Vertex b has a self-loop, so no proper coloring exists"),
            ((3, [(0, 1), (2, 2)]), "Vertex 2 has a self-loop, so no proper coloring exists"),
            (nx.DiGraph([(0, 1)]), "The graph is directed"),
            ((5, [(0, 5)]), "vertex id 5 is not below the vertex count 5"),
            ((5, [(0, -1)]), "vertex id -1 is negative"),
            ((5, [(0, 1.5)]), "vertex id 1.5 is not a whole number"),
            ((5, [(0, 1, 2)]), "edge (0, 1, 2) is not a pair of vertex ids"),
        ]
        for graph, message in cases:
            for function in (tintara.count, tintara.chromatic):
                with self.subTest(graph=graph, function=function.__name__):
                    with self.assertRaises(ValueError) as caught:
                        function(graph, seed=1)
                    self.assertTrue(str(caught.exception).startswith(message),
                                    str(caught.exception))
        with self.assertRaises(TypeError):
            tintara.count("not a graph")

    def test_options_the_program_refuses_in_its_words(self):
        cases = [
            (tintara.count, dict(rho=7), ["--rho", 7]),
            (tintara.count, dict(N=0), ["--N", 0]),
            (tintara.count, dict(terr=1.5), ["--terr", 1.5]),
            (tintara.count, dict(seed=-1), ["--seed=-1"]),
            (tintara.count, dict(workers=2000), ["--workers", 2000]),
            (tintara.count, dict(N="many"), ["--N", "many"]),
            (tintara.count, dict(move="gibbs"), ["--move", "gibbs"]),
            (tintara.chromatic, dict(decompose=True), ["--chrom", 1, "--decompose", 1]),
            (tintara.chromatic, dict(bounds="loose"), ["--chrom", 1, "--bounds", "loose"]),
            (tintara.chromatic, dict(move="tabu", bounds="trivial"),
             ["--chrom", 1, "--move", "tabu", "--bounds", "trivial"]),
        ]
        for function, options, command_line in cases:
            with self.subTest(options=options):
                with self.assertRaises(ValueError) as caught:
                    function((2, [(0, 1)]), **options)
                self.assertEqual(str(caught.exception), self.refusal(*command_line))
        for function, keyword in [(tintara.count, "bounds"), (tintara.count, "problem"),
                                  (tintara.chromatic, "colors"), (tintara.count, "Rho")]:
            with self.subTest(keyword=keyword):
                with self.assertRaises(TypeError):
                    function((2, [(0, 1)]), **{keyword: 1})

    def test_a_run_too_large_for_memory(self):
        torus = nx.grid_2d_graph(8, 8, periodic=True)
        # Refused before the graph is built (the whole graph split), and
        # once the plan has found the hard part (counted by parts).
        for call in (lambda: tintara.count(torus, N=2**31 - 1, decompose=False),
                     lambda: tintara.count(torus, N=2**31 - 1, decompose=True),
                     lambda: tintara.chromatic(nx.mycielski_graph(5), N=2**31 - 1)):
            with self.assertRaises(MemoryError) as caught:
                call()
            self.assertTrue(str(caught.exception).startswith("Not enough memory for this run"))

    def test_a_stagnated_pilot_is_no_estimate(self):
        objects, _, status = self.program((4, list(nx.complete_graph(4).edges())), "--seed", 1,
                                          "--decompose", 0, "--N", 50)
        self.assertEqual(status, 1)
        with self.assertRaises(tintara.NoEstimate) as caught:
            tintara.count(nx.complete_graph(4), 3, seed=1, decompose=False, N=50)
        self.assertIsInstance(caught.exception, RuntimeError)
        level = objects["summary"][0]["stagnated_at"]
        self.assertEqual(str(caught.exception),
                         "The pilot run stagnated at level %g without reaching a proper "
                         "coloring with 3 colors, so no estimate is made" % level)


class Warnings(Program):
    def test_warnings_are_the_programs_lines_and_nothing_is_printed(self):
        # A stop short of the target is a warning; the plain mean is a note.
        script = ("import tintara, warnings, networkx as nx\n"
                  "with warnings.catch_warnings(record=True) as w:\n"
                  "    warnings.simplefilter('always')\n"
                  "    r = tintara.count(nx.grid_2d_graph(8, 8, periodic=True), seed=2, N=100,"
                  " max_runs=3)\n"
                  "print(r.end)\n"
                  "print([str(x.message) for x in w if x.category is tintara.TintaraWarning])\n"
                  "print(r.notes)\n")
        out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
        self.assertEqual(out.stderr, "")
        end, warned, notes = out.stdout.splitlines()
        _, errors, status = self.program(nx.grid_2d_graph(8, 8, periodic=True), "--seed", 2,
                                         "--N", 100, "--max-runs", 3)
        self.assertEqual(status, 3)
        self.assertEqual(end, "max-runs")
        self.assertEqual(eval(warned), [e for e in errors if e.startswith("stopped by")])
        self.assertEqual(eval(notes), errors)


class Interrupts(unittest.TestCase):
    def test_ctrl_c_stops_the_work_and_raises_keyboard_interrupt(self):
        big = nx.grid_2d_graph(40, 40, periodic=True)
        # Each would run for minutes; max_time ends them all the same should
        # the interrupt be missed, so that the test fails rather than hangs.
        calls = [
            ("pilot", lambda: tintara.count(big, seed=1, N=5000, decompose=False, max_time=30)),
            ("runs", lambda: tintara.count(nx.petersen_graph(), seed=1, N=50, terr=1e-4,
                                           decompose=False, workers=2, max_time=30)),
            ("chromatic", lambda: tintara.chromatic(nx.gnp_random_graph(400, 0.5, seed=1),
                                                    seed=1, workers=2, max_time=30)),
        ]
        handler = signal.getsignal(signal.SIGINT)
        for name, call in calls:
            with self.subTest(call=name):
                timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
                started = time.monotonic()
                timer.start()
                with self.assertRaises(KeyboardInterrupt):
                    call()
                # Generous: only so that a missed interrupt fails instead of
                # running for hours.
                self.assertLess(time.monotonic() - started, 10.5)
                timer.join()
            # Python's own handler stays, and the next call runs as usual.
            self.assertIs(signal.getsignal(signal.SIGINT), handler)
        self.assertEqual(tintara.count(nx.cycle_graph(5), 3, seed=1).end, "exact")


class Threads(unittest.TestCase):
    def test_two_workers_give_one_workers_figures(self):
        graph = nx.grid_2d_graph(8, 8, periodic=True)
        one, two = (tintara.count(graph, seed=5, N=100, terr=0.1, workers=w) for w in (1, 2))
        self.assertEqual([r.estimate for r in one.runs], [r.estimate for r in two.runs])
        self.assertEqual((one.probability, one.re), (two.probability, two.re))

    def test_a_call_leaves_python_free_to_run(self):
        # The GIL is released while the work runs: a short call made in the
        # main thread finishes while a long one runs in another thread (held,
        # the GIL would keep the main thread waiting until the long one ends).
        long_call_ended = threading.Event()
        started = threading.Event()

        def long_call():
            started.set()
            tintara.count(nx.petersen_graph(), seed=1, N=50, terr=1e-4, decompose=False,
                          max_time=5)
            long_call_ended.set()

        with warnings.catch_warnings():
            warnings.simplefilter("ignore", tintara.TintaraWarning)  # its stop by max_time
            thread = threading.Thread(target=long_call)
            thread.start()
            started.wait()
            time.sleep(0.2)
            self.assertEqual(tintara.count(nx.cycle_graph(5), 3, seed=1).end, "exact")
            self.assertFalse(long_call_ended.is_set())
            thread.join()

if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    ap.add_argument("--tintara", required=True)
    args, rest = ap.parse_known_args()
    TINTARA = args.tintara
    unittest.main(argv=[sys.argv[0]] + rest)
