"""The scripts' shared module against real output of tintara and exact_count,
the benchmark generators, the CNF encoding and the SAT and DSATUR parts of
scripts/chromatic-study, the section splicing of scripts/performance-report,
and every script's command-line behaviour.

    python3 tests/scripts_test.py --tintara BUILD/tintara --exact-count BUILD/tools/exact_count
"""
import argparse
import itertools
import json
import math
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCRIPTS = os.path.join(ROOT, "scripts")
sys.path.insert(0, SCRIPTS)
import tintara_tools as tg  # noqa: E402

study = tg.load_script("chromatic-study")
report = tg.load_script("performance-report")
decompose = tg.load_script("decompose-study")
BIN = argparse.Namespace()


def run(cmd):
    return subprocess.run(cmd, capture_output=True, text=True)


class Temp(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="scripts test ")  # a blank in every path
        self.build = argparse.Namespace(tintara=BIN.tintara, exact_count=BIN.exact_count)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def instance(self, graph, name="g.txt"):
        path = os.path.join(self.dir, name)
        tg.write_instance(path, graph)
        return path


class Reports(Temp):
    def test_counting_report_columns(self):
        path = self.instance(tg.grid(3, 3))
        out = run([BIN.tintara, "--problem", path, "--colors", "3", "--N", "300",
                   "--terr", "0.1", "--format", "json", "--decompose", "0"])
        self.assertEqual(out.returncode, 0, out.stdout)
        r = tg.parse_counting_report(out.stdout)
        self.assertTrue(r.title.startswith(path + " using N=300, rho=0.2"), r.title)
        self.assertGreater(r.levels, 0)
        self.assertEqual([x.run for x in r.runs], list(range(1, len(r.runs) + 1)))
        # The printed average is over the runs' estimates and one seed entry
        # 0, to 17 digits; the plain mean leaves the entry out.
        for i, x in enumerate(r.runs):
            mean = sum(float(y.estimate) for y in r.runs[:i + 1]) / (i + 2)
            self.assertAlmostEqual(float(x.average) / mean, 1, delta=1e-12)
        m, estimates = len(r.runs), [float(x.estimate) for x in r.runs]
        self.assertAlmostEqual(float(r.plain_mean) / float(r.summary.average), (m + 1) / m,
                               delta=1e-12)
        plain_re = statistics.pstdev(estimates) / (statistics.fmean(estimates) * math.sqrt(m))
        self.assertAlmostEqual(r.plain_re / plain_re, 1, delta=1e-9)
        self.assertEqual((r.summary.average, r.summary.re), (r.runs[-1].average, r.runs[-1].re))
        self.assertLessEqual(r.summary.re, 0.1)
        self.assertEqual((r.end, r.exit_status, r.message), ("target-met", 0, None))

    def test_counting_report_without_estimate(self):
        for options, end, said in [(["--colors", "2", "--decompose", "0"], "pilot-stagnated",
                                    "2 colors"),
                                   (["--max-time", "1e-9", "--decompose", "0"], "max-time",
                                    "--max-time")]:
            with self.subTest(end=end):
                out = run([BIN.tintara, "--problem", self.instance(tg.petersen()),
                           "--format", "json"] + options)
                r = tg.parse_counting_report(out.stdout)
                self.assertEqual((r.levels, r.runs, r.summary), (None, [], None))
                self.assertEqual((r.end, r.exit_status), (end, out.returncode))
                self.assertIn(said, r.message)

    def test_chromatic_report_and_its_line_on_standard_error(self):
        petersen = self.instance(tg.petersen(), "petersen graph.txt")
        # (file, options, steps above 0, proved, the clique found)
        for path, options, tested, proved, clique in [
                (petersen, [], True, False, 2),  # clique 2, answer 3
                (petersen, ["--bounds", "trivial"], True, False, None),
                (self.instance(tg.queen(5), "q.txt"), [], False, True, 5)]:
            with self.subTest(path=path, options=options):
                out = run([BIN.tintara, "--problem", path, "--chrom", "1", "--format", "json"]
                          + options)
                r = tg.parse_chromatic_report(out.stdout)
                self.assertEqual(r.file, path)
                self.assertTrue(3 <= r.chromatic <= 10, out.stdout)  # never below the true 3
                self.assertEqual(r.steps > 0, tested)
                self.assertEqual((r.proved, r.clique, r.end, r.exit_status),
                                 (proved, clique, "finished", 0))
                # Standard error still says it as the text report does, after
                # a line for each step (with the greedy bounds).
                lines = [line for line in out.stderr.splitlines() if not line.startswith("seed: ")]
                steps = [line for line in lines if line.startswith("step ")]
                said = [line.split(":")[0] for line in lines if not line.startswith("step ")]
                self.assertEqual(said, [("proved" if proved else "upper bound")] if clique else [])
                self.assertEqual(len(r.step_list), r.steps)
                self.assertEqual(len(steps), r.steps if clique else 0)
                for line, step in zip(steps, r.step_list):
                    self.assertTrue(line.startswith("step %d: k = %d " % (
                        step["step"], step["tests"][0]["k"])), line)
                    self.assertIn("; %d color" % step["colors"], line)
                if r.step_list:
                    self.assertEqual(min(r.time_to()), r.chromatic)

    def test_error_object_is_the_reports_message(self):
        out = run([BIN.tintara, "--problem", os.path.join(self.dir, "none.txt"), "--chrom", "1",
                   "--format", "json"])
        r = tg.parse_chromatic_report(out.stdout)
        self.assertEqual((out.returncode, r.chromatic), (1, None))
        self.assertIn("No such file", r.message)

    def test_malformed_reports_are_one_line_errors(self):
        head = "Starting  experiments for f using N=1\n# LEVELS = 3\n"
        header = '{"type": "header", "mode": "counting", "seed": 1, "options": {}}\n'
        for parse, text in [(tg.parse_counting_report, "no report at all"),
                            (tg.parse_counting_report, '{"type": "header"\n'),
                            (tg.parse_counting_report, header),
                            (tg.parse_chromatic_report, header),
                            (tg.parse_counting_report, head + "1 0.5 0.25\n"),
                            (tg.parse_counting_report, head + "1 0.5 0.25 x 0.1\n"),
                            (tg.parse_counting_report, head + "1 1e-4o0 0.25 1 0.1\n"),
                            (tg.parse_chromatic_report, "f #bin E(T) CPU\n"),
                            (tg.parse_exact_counts, "k=3 count=x probability=1\n")]:
            with self.subTest(text=text), self.assertRaises(tg.ScriptError):
                parse(text)

    def test_exact_counter(self):
        path = self.instance(tg.petersen())
        counts = tg.exact_counts(self.build, path, [3, 4])
        # The Petersen graph's chromatic polynomial at 3 and 4.
        self.assertEqual([(c.k, c.count) for c in counts], [(3, 120), (4, 12960)])
        self.assertAlmostEqual(float(counts[0].probability), 120 / 3 ** 10, delta=1e-15)
        self.assertEqual(tg.exact_chromatic(self.build, path)[0], 3)
        loop = self.instance(tg.Graph(2, [(0, 1), (1, 1)]), "loop.txt")
        self.assertEqual(tg.exact_chromatic(self.build, loop), (None, None))

    def test_exact_counter_without_search_fails_past_its_table_limit(self):
        # The performance report relies on this: a count that elimination
        # cannot finish is a miss, never a silent switch to the search.
        path = self.instance(tg.petersen())
        small = [BIN.exact_count, "--max-table-entries", "16"]
        r = run(small + ["--no-search", path, "4"])
        self.assertEqual((r.returncode, r.stdout), (2, ""))
        self.assertIn("table too large", r.stderr)
        fallback = tg.parse_exact_counts(run(small + [path, "4"]).stdout)[0]
        self.assertEqual((fallback.count, fallback.method), (12960, "search"))

    def test_run_timed_measures_and_caps_a_child(self):
        hog = [sys.executable, "-c", "b = bytearray(300 << 20)"]
        spin = [sys.executable, "-c", "while True: pass"]
        free = tg.run_timed(hog)
        self.assertEqual(free.returncode, 0)
        self.assertGreaterEqual(free.peak_rss, 300 << 20)
        self.assertNotEqual(tg.run_timed(hog, memory_limit=200 << 20).returncode, 0)
        capped = tg.run_timed(spin, limit=30, cpu_limit=1)
        self.assertEqual(capped.returncode, -signal.SIGXCPU)
        self.assertGreaterEqual(capped.cpu, 0.9)


def counting_report(lines, title="g.txt using N=100, rho=0.2 and target relative error=0.1"):
    """A counting-mode report in the program's layout around run lines
    `estimate average RE CPU` (the summary repeats the last)."""
    stars = "*" * 79
    out = [stars, "Starting  experiments for " + title, stars, stars,
           "Iteration #  |  iteration estimator | average estimator   |  RE  |  CPU", stars,
           stars, "# LEVELS = 1200", stars]
    out += ["%d %s" % (i, line) for i, line in enumerate(lines, 1)]
    out += [stars, "**********************    Result Summary    " + "*" * 35,
            "estimator  |  RE  |  CPU", stars, " ".join(lines[-1].split()[1:]), stars]
    return "\n".join(out) + "\n"


class WideNumbers(unittest.TestCase):
    def test_log10_of_every_form_the_program_prints(self):
        nan, inf = float("nan"), float("inf")
        for text, log10 in [("1.07477e-340", -339.968684465), ("2.13547e-394", -393.670506525),
                            ("4.94066e-324", -323.306215032), ("1.79769e+308", 308.254714803),
                            ("1e+400", 400.0), ("0.012982", -1.886658395), ("1", 0.0),
                            ("123.4", 2.091315160), ("0.00649102", -2.187687053),
                            ("0", -inf), ("inf", inf), ("nan", nan), ("-nan", nan)]:
            with self.subTest(text=text):
                got = tg.wide_number(text).log10()
                if math.isfinite(log10):
                    self.assertAlmostEqual(got, log10, places=6)
                else:
                    self.assertEqual(math.isnan(got), math.isnan(log10))
                    self.assertTrue(math.isnan(got) or got == log10)
        with self.assertRaises(tg.ScriptError):
            tg.wide_number("1e-4o0")

    def test_order_formatting_and_conversion_to_a_double(self):
        w = tg.WideNumber
        ascending = [w("-inf"), w("-1e-300"), w("-1e-340"), w("0"), w("2.13547e-394"),
                     w("1e-340"), w("1.07477e-340"), w("1e-300"), 0.5, w("1e+400"), w("inf")]
        for a, b in zip(ascending, ascending[1:]):
            self.assertTrue(a < b and b > a and a != b and not a >= b, (a, b))
        self.assertEqual(w("0.0015"), w("1.5e-3"))
        self.assertEqual(w("0.0015"), 0.0015)
        nan = w("-nan")
        self.assertFalse(nan < 1 or nan > 1 or nan == nan or nan <= nan)
        self.assertTrue(nan != nan)
        for text, format_spec, shown in [("1.07477e-340", "", "1.07477e-340"),
                                  ("1.07477e-340", ".3g", "1.07e-340"),
                                  ("9.9999996e-400", ".6g", "1e-399"),
                                  ("1.5e400", ".2e", "1.50e+400"),
                                  ("0.012982", ".4g", "%.4g" % 0.012982), ("-nan", "", "nan")]:
            self.assertEqual(format(w(text), format_spec), shown)
        self.assertEqual(float(w("0.012982")), 0.012982)
        for text in ("1e-340", "1e+400"):  # a double cannot hold them: never a silent 0 or inf
            with self.subTest(text=text), self.assertRaises(tg.ScriptError):
                float(w(text))

    def test_counting_report_below_a_doubles_range(self):
        r = tg.parse_counting_report(counting_report(["0 0 -nan 0.5", "2.13547e-394 "
                                                      "1.06774e-394 1 0.5"]))
        self.assertEqual([x.estimate for x in r.runs], [0, tg.WideNumber("2.13547e-394")])
        self.assertTrue(math.isnan(r.runs[0].re))
        self.assertAlmostEqual(r.summary.average.log10(), -393.971534487, places=6)
        self.assertEqual(r.summary.re, 1.0)


class PlotConvergence(Temp):
    def test_plots_reports_within_and_below_a_doubles_range(self):
        import random
        rng = random.Random(1)
        normal, wide, total = [], [], 0.0
        for i in range(1, 41):
            x = 0.5 + rng.random()
            total += x
            normal.append("%.6g %.6g 0.1 0.01" % (x * 1e-3, total / (i + 1) * 1e-3))
            wide.append("%.6ge-340 %.6ge-340 0.1 0.01" % (x, total / (i + 1)))
        wide[3] = "0 %s 0.1 0.01" % wide[3].split()[1]  # a run that missed a level
        for name, lines, exact, log_axis in [("normal", normal, "1e-3", False),
                                             ("wide", wide, "1e-340", True)]:
            with self.subTest(report=name):
                report = os.path.join(self.dir, name + ".txt")
                with open(report, "w") as f:
                    f.write(counting_report(lines))
                png = os.path.join(self.dir, name + ".png")
                r = run([os.path.join(SCRIPTS, "plot-convergence"), report, "-o", png,
                         "--exact", exact])
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual("log10 axis" in r.stderr, log_axis, r.stderr)
                with open(png, "rb") as f:
                    self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")


class Graphs(Temp):
    def test_benchmark_graphs_match_their_known_sizes_and_chromatic_numbers(self):
        # (graph, vertices, edges, chromatic number or None when too slow to count)
        table = [(tg.mycielski(3), 5, 5, 3), (tg.mycielski(4), 11, 20, 4),
                 (tg.mycielski(5), 23, 71, None), (tg.mycielski(6), 47, 236, None),
                 (tg.mycielski(7), 95, 755, None), (tg.petersen(), 10, 15, 3)]
        table += [(tg.queen(n), n * n, n * (n - 1) * (5 * n - 1) // 3, None)
                  for n in range(5, 10)]
        for graph, n, m, chi in table:
            with self.subTest(n=n, m=m):
                self.assertEqual((graph.n, len(set(graph.edges))), (n, m))
                if chi:
                    self.assertEqual(tg.exact_chromatic(self.build, self.instance(graph))[0], chi)
        for k in (5, 6):  # Mycielski graphs have no triangle
            adj = study.adjacency(tg.mycielski(k))
            self.assertFalse(any(adj[u] & adj[v] for u, v in tg.mycielski(k).edges))

    def test_gnp_is_fixed_by_its_seed_and_has_density_p(self):
        for n, p in [(50, 0.1), (250, 0.5)]:
            g = tg.gnp(n, p, 7)
            self.assertEqual(g, tg.gnp(n, p, 7))
            self.assertNotEqual(g, tg.gnp(n, p, 8))
            self.assertTrue(all(0 <= u < v < n for u, v in g.edges))
            pairs = n * (n - 1) / 2
            self.assertLess(abs(len(g.edges) - p * pairs), 4 * math.sqrt(pairs * p * (1 - p)))

    def test_dimacs_file_is_the_same_graph_to_the_module_and_the_program(self):
        graph = tg.queen(5)
        col = os.path.join(self.dir, "q.col")
        tg.write_dimacs(col, graph, "five queens")
        txt = self.instance(graph)
        self.assertEqual(tg.read_graph(col), graph)
        self.assertEqual(tg.read_graph(txt), graph)
        # The same seed gives the same bisection on either file.
        reports = [tg.parse_chromatic_report(run([BIN.tintara, "--problem", path, "--chrom", "1",
                                                  "--seed", "5", "--bounds", "trivial",
                                                  "--format", "json"]).stdout)
                   for path in (col, txt)]
        figures = [(r.steps, r.mean_iterations, r.chromatic) for r in reports]
        self.assertEqual(figures[0], figures[1])
        self.assertGreaterEqual(figures[0][2], 5)  # never below the chromatic number


class ChromaticStudy(Temp):
    def test_cnf_accepts_exactly_the_proper_colourings_that_fix_the_clique(self):
        for graph, k in [(tg.cycle(5), 3), (tg.cycle(5), 2), (tg.Graph(4, [(0, 1), (0, 2),
                         (0, 3), (1, 2), (1, 3), (2, 3)]), 4), (tg.grid(2, 3), 3)]:
            clique = study.large_clique(graph)[:k]
            clauses = [[int(t) for t in line.split()[:-1]]
                       for line in study.cnf(graph, k, clique).splitlines()[1:]]
            accepted = 0
            for colour in itertools.product(range(k), repeat=graph.n):
                true = {v * k + c + 1 for v, c in enumerate(colour)}
                sat = all(any((lit > 0) == (abs(lit) in true) for lit in c) for c in clauses)
                fixed = all(colour[v] == i for i, v in enumerate(clique))
                self.assertEqual(sat, study.is_proper(graph, colour) and fixed, colour)
                accepted += sat
            with self.subTest(n=graph.n, k=k):
                # Each proper colouring has one relabelling that fixes the clique.
                perms = math.perm(k, len(clique))
                proper = tg.exact_counts(self.build, self.instance(graph), [k])[0].count
                self.assertEqual(accepted * perms, proper)

    def test_sat_proves_the_chromatic_number_and_dsatur_bounds_it(self):
        random_graph = tg.gnp(16, 0.4, 3)
        for graph, chi in [(tg.mycielski(4), 4), (tg.mycielski(5), 5), (tg.queen(5), 5),
                           (tg.petersen(), 3), (tg.grid(3, 3), 2),
                           (random_graph, tg.exact_chromatic(self.build,
                                                             self.instance(random_graph))[0])]:
            with self.subTest(n=graph.n, chi=chi):
                r = study.run_sat(graph, 60)
                self.assertEqual(r["chi"], chi)
                self.assertIn((chi, "sat"), r["calls"])
                if chi - 1 >= r["clique"]:
                    self.assertIn((chi - 1, "unsat"), r["calls"])
                self.assertGreaterEqual(study.run_dsatur(graph, 60)["colours"], chi)

    def test_a_tool_over_its_limit_is_a_miss(self):
        self.assertTrue(study.run_sat(tg.mycielski(7), 0.5)["miss"])
        self.assertIsNone(tg.call_with_limit(time.sleep, (5,), 0.2))

    def test_sat_and_dsatur_only_run_writes_the_report(self):
        out = os.path.join(self.dir, "chromatic.md")
        r = run([os.path.join(SCRIPTS, "chromatic-study"), "--tools", "sat,dsatur", "--only",
                 "^(mycielski4|queen5_5|miles500)$", "--out", out, "--graphs", self.dir])
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(tg.read_graph(os.path.join(self.dir, "queen5_5.col")), tg.queen(5))
        # Benchmarks are read where they are, not written out.
        self.assertFalse(os.path.exists(os.path.join(self.dir, "miles500.col")))
        with open(out) as f:
            text = f.read()
        self.assertRegex(text, r"\| mycielski4 \| 11 \| 20 \| 4 \| 4 in [\d.]+ s \|")
        self.assertRegex(text, r"\| queen5_5 \| 25 \| 160 \| 5 \| 5 in [\d.]+ s \|")
        # miles500 lists each edge twice: 1170 distinct ones, best known 20.
        self.assertRegex(text, r"\| miles500 \| 128 \| 1170 \| 20 \| 20 \| 20 in [\d.]+ s \|")
        self.assertIn("Tintara was not run", text)

    def test_full_study_runs_variants_where_tintara_stays_above_the_best_known(self):
        # A benchmark whose stated best known number (3) is below M4's true
        # 4, so that every Tintara run counts as a loss and the variants run.
        path = os.path.join(self.dir, "m4.col")
        tg.write_dimacs(path, tg.mycielski(4))
        fake = study.Instance("m4", "dimacs m4", 11, tg.mycielski(4), "M4", path, best=3)
        chosen = [i for i in study.instances() if i.name in ("mycielski3", "queen5_5")] + [fake]
        build = argparse.Namespace(tintara=BIN.tintara)
        study.check_tintara(build)
        args = argparse.Namespace(budget=5, limit=60, graphs=self.dir)
        results = study.study(args, build, chosen, study.TOOLS, lambda m: None)
        queen = results["queen5_5"]
        self.assertEqual((queen["bounds"]["clique"], queen["bounds"]["colours"]), (5, 5))
        self.assertEqual((queen["tintara-2"]["colours"], queen["tintara-2"]["proved"],
                          queen["tintara-2"]["steps"]), (5, True, 0))
        self.assertEqual((results["m4"]["bounds"]["clique"], results["m4"]["tintara-1"]["proved"]),
                         (2, False))
        self.assertEqual([v["colours"] for v in results["m4"]["variants"].values()], [4] * 4)
        self.assertNotIn("variants", results["queen5_5"])
        meta = dict(date="d", minutes=0, machine="m", program="p", limit=60, budget=5, cores=2,
                    networkx="n", solver="s", load=("1.0", "2.0"))
        text = study.report(chosen, study.TOOLS, results, meta)
        self.assertRegex(text, r"\| queen5_5 \| 25 \| 160 \| 5 \| 5 \| 5 \| 5 in [\d.]+ s \| "
                               r"5 \(proved\) \|")
        self.assertRegex(text, r"\| m4 \| 3 \| 4 in [\d.]+ s \| 4 in [\d.]+ s \| 4 in")
        self.assertIn("**stays above it** on m4 (4 for 3)", text)
        self.assertIn("Variants on m4 (best known 3): no variant reaches", text)

    def test_moves_are_set_side_by_side_and_plotted(self):
        chosen = [i for i in study.instances() if i.name in ("myciel6", "queen10_10")]
        tools = ["tintara-1", "tintara-2", "tabu-1", "tabu-2"]

        def ran(colours, wall):
            return dict(colours=colours, proved=False, cpu=wall, wall=wall, steps=3,
                        seconds=wall)
        results = {"myciel6": dict(zip(tools, [ran(7, 1.0), ran(7, 1.5), ran(7, 0.25),
                                                ran(7, 0.5)])),
                   "queen10_10": dict(zip(tools, [ran(12, 3.0), ran(12, 4.0), ran(11, 1.0),
                                                   dict(miss=True, limit=60, seconds=60)]))}
        meta = dict(date="d", minutes=0, machine="m", program="p", limit=60, budget=5, cores=2,
                    networkx="n", solver="s", load=("1.0", "2.0"))
        text = study.report(chosen, tools, results, meta)
        self.assertIn("| queen10_10 | 11 | gibbs | 12 | 3.00 | 12 | 4.00 | 4.00 |", text)
        self.assertIn("| queen10_10 | 11 | tabu | 11 | 1.00 | miss in 60 s | - | - |", text)
        self.assertIn("- --move tabu against gibbs, 1 worker: fewer colours on queen10_10, more "
                      "on none, the same on the other 1. Wall time in all, on the 2 instances "
                      "both answered: 1.25 s against 4.00 s.", text)
        # The missed tabu run leaves queen10_10 out of the comparison at 2 workers.
        self.assertIn("- --move tabu against gibbs, 2 workers: fewer colours on none, more on "
                      "none, the same on the other 1.", text)
        png = os.path.join(self.dir, "chromatic.png")
        self.assertTrue(study.plot(chosen, tools, results, png))
        with open(png, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        self.assertFalse(study.plot(chosen, ["dsatur"], results, png + "2"))


class DecomposeStudy(Temp):
    def test_exact_references_equal_exact_count_on_the_whole_graph(self):
        from fractions import Fraction
        loose = tg.Graph(9, [(0, 1), (0, 1), (1, 2), (2, 0), (2, 3), (3, 4), (4, 5), (5, 3),
                             (5, 6), (6, 7)])  # a repeated edge, cut vertices, vertex 8 alone
        for graph, k, kind in [(decompose.triangles(4), 3, ("triangles", 4)),
                               (decompose.triangles(3), 4, ("triangles", 3)),
                               (decompose.random_tree(15, 2), 3, ("tree",)),
                               (decompose.grid_chain(3, 3), 3, ("blocks",)),
                               (tg.random_graph(24, 30, 5), 3, ("blocks",)),
                               (loose, 3, ("blocks",)),
                               (tg.square_torus(4), 3, ("torus", 4))]:
            with self.subTest(n=graph.n, k=k, kind=kind):
                case = decompose.Case("c", "c", graph, k, kind, None, None)
                got = decompose.reference(case, self.build, self.dir)
                count = tg.exact_counts(self.build, self.instance(graph), [k])[0].count
                self.assertEqual(got["p"], Fraction(count, k ** graph.n), got["how"])

    def test_a_block_exact_count_cannot_count_leaves_the_value_unknown(self):
        got = decompose.reference(decompose.Case("c", "c", tg.square_torus(12), 3, ("blocks",),
                                                 None, None), self.build, self.dir)
        self.assertIsNone(got["p"])
        self.assertIn("block of 144 vertices", got["how"])

    def test_comparison_with_the_exact_value_at_any_exponent(self):
        from fractions import Fraction
        for p, text in [(Fraction(2, 9) ** 500, "2.4759570816196082e-327"),
                        (Fraction(999999999999999999, 10 ** 421), "1.0000000000000000e-403"),
                        (Fraction(3, 8), "3.7500000000000000e-1")]:
            self.assertEqual(decompose.fraction_text(p), text)
        # (estimate, RE, exact, relative difference, z)
        for est, re_, p, rel, z in [("1.1e-400", 0.1, Fraction(1, 10 ** 400), 0.1, 1 / 1.1),
                                    ("0.9", 0.05, Fraction(1), -0.1, -0.1 / 0.045),
                                    ("2.5e-3", 0, Fraction(1, 400), 0.0, None),
                                    ("0", 0.3, Fraction(1, 3), -1.0, -math.inf)]:
            with self.subTest(est=est):
                got = decompose.versus_exact(est, re_, p)
                self.assertAlmostEqual(got[0], rel, delta=1e-12)
                if z is None or math.isinf(z):
                    self.assertEqual(got[1], z)
                else:
                    self.assertAlmostEqual(got[1], z, delta=1e-12)

    def test_reports_equal_apart_from_cpu_and_the_option_echo(self):
        a = ['{"type":"header","options":{"decompose":0,"N":1000}}',
             '{"type":"run","run":1,"estimate":{"text":"1e-9"},"cpu":0.5}',
             '{"type":"summary","average":{"text":"5e-10"},"cpu":0.5}']
        b = [a[0].replace('"decompose":0', '"decompose":1'), a[1].replace("0.5", "0.7"),
             a[2].replace("0.5}", "0.6}")]
        self.assertEqual(decompose.same_report("\n".join(a), "\n".join(b)), (True, []))
        for changed in (a[1].replace("1e-9", "2e-9"), a[1].replace('"run":1', '"run":2')):
            self.assertEqual(decompose.same_report("\n".join(a), "\n".join([a[0], changed,
                                                                             a[2]])),
                             (False, [1]))
        self.assertFalse(decompose.same_report("\n".join(a), "\n".join(a[:2]))[0])

    def test_a_miss_on_the_first_seed_stops_the_case_and_the_other_side(self):
        graph = tg.square_torus(12)  # one hard block, seconds of CPU to RE 0.1
        case = decompose.Case("t12", "torus 12x12", graph, 3, ("blocks",), None, None)
        store = decompose.Store(self.dir)
        res = decompose.study_case(case, self.build, store, self.dir, 0.3)
        self.assertEqual(len(res["sides"][1]), 1)
        first = res["sides"][1][0]
        self.assertEqual((first["hit"], first["capped"], first["end"]),
                         (False, True, "stopped at the cap"))
        self.assertTrue(0.3 <= first["cpu"] < 2, first["cpu"])  # stopped by its CPU time
        self.assertIn("1 split (144 vertices)", first["decomposed"])
        self.assertIsNone(res["sides"][0])
        # Run again, the study reads its results back instead of running.
        # Compared as JSON text: a run stopped before its first run has an
        # estimate and RE of NaN, which no NaN read back equals.
        again = decompose.study_case(case, self.build, decompose.Store(self.dir), self.dir,
                                     0.3)["sides"][1]
        self.assertEqual(json.dumps(again, sort_keys=True), json.dumps([first], sort_keys=True))

    def test_cpu_to_a_looser_target_is_read_from_the_run_lines(self):
        out = os.path.join(self.dir, "r.out")
        with open(out, "w") as f:  # RE after each run; every run takes 1 CPU s
            for i, re_ in enumerate([None, 0.5, 0.25, 0.18, 0.12], 1):
                f.write('{"type":"run","run":%d,"re":%s,"cpu":1.0}\n'
                        % (i, "null" if re_ is None else re_))
        # 2 CPU s outside the runs: the pilot, and the run stopped under way.
        self.assertEqual(decompose.cpu_to_targets(dict(out=out, cpu=7.0, end="signal")),
                         {0.3: 5.0, 0.2: 6.0, 0.15: 7.0})
        self.assertEqual(decompose.cpu_to_targets(dict(out=out, cpu=0.01, end="exact"), (0.1,)),
                         {0.1: 0.01})

    def test_quick_run_writes_the_report(self):
        out = os.path.join(self.dir, "decompose.md")
        r = run([os.path.join(SCRIPTS, "decompose-study"), "--quick", "--work-dir", self.dir,
                 "--out", out, "--build", os.path.dirname(BIN.tintara)])
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(out) as f:
            text = f.read()
        rows = [line[2:-2].split(" | ") for line in text.splitlines() if line.startswith("| ")
                and "CPU s, --decompose 1" not in line and line.count(" | ") == 13]
        self.assertEqual([row[0] for row in rows],
                         [c.name for c in decompose.cases(quick=True)])
        for row in rows[:4]:  # every block exact: the exact value, printed at once
            self.assertIn("0 split", row[7])
            diffs = [float(x) for x in row[10].replace("rel. diff. ", "").split(", ")]
            self.assertTrue(all(abs(x) < 1e-13 for x in diffs), row[10])
            self.assertRegex(row[11], r"^\*\*[\d.]+\*\*$")  # the whole graph reached 0.1
        self.assertIn("1 split (49 vertices)", rows[4][7])
        self.assertEqual(rows[4][10], rows[4][13])  # each seed's z
        torus = {}  # the runs' lines but their CPU, by setting and seed
        for line in text.splitlines():
            cells = line[2:-2].split(" | ")
            if cells[0] == "torus 7x7" and len(cells) == 10:
                torus.setdefault(cells[1], {})[cells[2]] = cells[4:]
        self.assertEqual(len(torus["1"]), 3)
        self.assertEqual(torus["1"], torus["0"])
        self.assertIn("**Reports: identical apart from CPU.** 3 of 3 pairs", text)
        self.assertRegex(text, r"less CPU on random, 60 vertices, average degree 2.5\*\*: both "
                               r"sides reached RE 0.1.*\*\*Met\*\*")


class PerformanceReport(unittest.TestCase):
    def test_crossover_section_is_replaced_in_place_and_kept(self):
        head = report.CROSSOVER_HEADING
        before, after = "# P\n\n## A\n\na\n", "## B\n\nb\n"
        for text, want in [(before + head + "\nold\n\n" + after, before + "NEW\n\n" + after),
                           (before + head + "\nold\n", before + "NEW\n"),
                           (before, before + "\nNEW\n")]:
            with self.subTest(text=text):
                self.assertEqual(report.splice_section(text, "NEW\n"), want)
        section = head + "\n\n### d\n\nx\n"
        self.assertEqual(report.kept_section(before + section + "\n" + after), section + "\n")
        self.assertIsNone(report.kept_section(before))


class CommandLines(unittest.TestCase):
    SCRIPTS = ["accuracy-study", "chromatic-study", "decompose-study", "fuzz-reader",
               "install-deps", "kernel-study", "lattice-study", "make-examples", "memcheck",
               "performance-report", "planted-graphs", "plot-convergence", "stop-and-resume"]

    def test_every_script_answers_help_and_refuses_a_bad_option_on_one_line(self):
        self.assertEqual(sorted(f for f in os.listdir(SCRIPTS) if "." not in f
                                and not f.startswith("__")), self.SCRIPTS)
        for name in self.SCRIPTS:
            path = os.path.join(SCRIPTS, name)
            with self.subTest(script=name):
                with open(path) as f:
                    shell = f.readline().startswith("#!/bin/sh")
                h = run((["sh"] if shell else []) + [path, "--help"])
                self.assertEqual(h.returncode, 0, h.stderr)
                self.assertGreater(len(h.stdout.splitlines()), 3)
                if not shell:
                    bad = run([path, "--no-such-option"])
                    self.assertEqual(bad.returncode, 2)
                    self.assertEqual(len(bad.stderr.splitlines()), 1, bad.stderr)

    def test_user_errors_are_one_line_without_traceback(self):
        for cmd in [["plot-convergence", "/no/such/report"],
                    ["chromatic-study", "--tools", "sat,bogus"],
                    ["chromatic-study", "--only", "nothing-matches-this"]]:
            with self.subTest(cmd=cmd):
                r = run([os.path.join(SCRIPTS, cmd[0])] + cmd[1:])
                self.assertEqual(r.returncode, 1)
                self.assertEqual(len(r.stderr.splitlines()), 1, r.stderr)
                self.assertTrue(r.stderr.startswith(cmd[0] + ": "))


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    ap.add_argument("--tintara", required=True)
    ap.add_argument("--exact-count", required=True)
    args, rest = ap.parse_known_args()
    BIN.tintara, BIN.exact_count = args.tintara, args.exact_count
    unittest.main(argv=[sys.argv[0]] + rest)
