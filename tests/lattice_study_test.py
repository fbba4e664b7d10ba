"""scripts/lattice-study's pieces in scripts/tintara_tools.py: the torus
generators, the transfer-matrix counts against brute force, the reading of
reports whose numbers lie below a double's range, and the fit of W; and how
the study stops, resumes and finishes a size by the program's exit status.

    python3 tests/lattice_study_test.py
"""
import argparse
import decimal
import math
import os
import random
import shutil
import sys
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCRIPTS = os.path.join(ROOT, "scripts")
sys.path.insert(0, SCRIPTS)
import tintara_tools as tg  # noqa: E402

study = tg.load_script("lattice-study")


def brute_force_count(graph, q):
    """Proper q-colourings by backtracking over the vertices in order."""
    adj = [[] for _ in range(graph.n)]
    for u, v in graph.edges:
        adj[max(u, v)].append(min(u, v))  # earlier neighbours are coloured first
    colour = [0] * graph.n

    def extend(v):
        if v == graph.n:
            return 1
        total = 0
        for c in range(q):
            if all(colour[u] != c for u in adj[v]):
                colour[v] = c
                total += extend(v + 1)
        return total

    return extend(0)


class Tori(unittest.TestCase):
    def test_every_vertex_has_the_lattice_degree(self):
        for torus, degree in [(tg.square_torus, 4), (tg.triangular_torus, 6)]:
            for width, height in [(3, 3), (4, 3), (3, 5), (6, 6), (24, 24)]:
                with self.subTest(torus=torus.__name__, width=width, height=height):
                    g = torus(width, height)
                    self.assertEqual(g.n, width * height)
                    self.assertEqual(len(g.edges), g.n * degree // 2)  # no edge lost or merged
                    seen = [0] * g.n
                    for u, v in g.edges:
                        self.assertTrue(0 <= u < v < g.n)
                        seen[u] += 1
                        seen[v] += 1
                    self.assertEqual(set(seen), {degree})
        with self.assertRaises(tg.ScriptError):
            tg.square_torus(2, 5)

    def test_three_by_three_square_torus_has_the_twelve_latin_squares(self):
        self.assertEqual(brute_force_count(tg.square_torus(3), 3), 12)


class TransferMatrix(unittest.TestCase):
    def test_counts_match_brute_force_in_int64_and_by_crt(self):
        for lattice, torus, q, width, height in [
                ("square", tg.square_torus, 3, 3, 3), ("square", tg.square_torus, 3, 4, 3),
                ("square", tg.square_torus, 3, 3, 4), ("square", tg.square_torus, 3, 4, 4),
                ("square", tg.square_torus, 4, 3, 3),
                ("triangular", tg.triangular_torus, 4, 3, 3),
                ("triangular", tg.triangular_torus, 4, 4, 3),
                ("triangular", tg.triangular_torus, 4, 3, 4),
                ("triangular", tg.triangular_torus, 5, 3, 3)]:
            with self.subTest(lattice=lattice, q=q, width=width, height=height):
                want = brute_force_count(torus(width, height), q)
                self.assertGreater(want, 0)
                count, method = tg.transfer_count(lattice, q, width, height)
                self.assertEqual((count, method), (want, "int64"))
                # Primes below 2^5 force several residues through the CRT.
                count, method = tg.transfer_count(lattice, q, width, height, prime_bits=5)
                self.assertEqual(count, want)
                self.assertRegex(method, r"^CRT, [2-9]\d* primes below 2\^5$")
        self.assertAlmostEqual(tg.transfer_eigen_count(3, 4) / 2970, 1, delta=1e-12)

    def test_column_states_are_the_proper_colourings_of_a_cycle(self):
        for q, height in [(3, 3), (3, 7), (3, 12), (4, 6)]:
            states, T = tg.transfer_matrix("square", q, height)
            self.assertEqual(len(states), (q - 1) ** height + (q - 1) * (-1) ** height)
            self.assertEqual(T.shape, (len(states), len(states)))
            self.assertTrue((T == T.T).all())  # the square lattice's T is symmetric


class Reports(unittest.TestCase):
    # A report in text, as the study saved them before it asked for JSON.
    REPORT = ("Starting  experiments for f using N=1000, rho=0.2 and target relative error=0.1\n"
              "***\n# LEVELS = 412\n***\n"
              "1 1.07e-340 5.35e-341 0.707107 12.5\n"
              "2 3.1e-340 1.39e-340 0.5 12.25\n"
              "***\n**********************    Result Summary    ****\n"
              "estimator  |  RE  |  CPU\n***\n1.39e-340 0.5 24.75\n***\n")

    def test_numbers_below_a_double_keep_their_digits(self):
        f = tg.counting_figures(self.REPORT)
        D = decimal.Decimal
        self.assertEqual((f.levels, f.estimates, f.average, f.re, f.cpu),
                         (412, [D("1.07e-340"), D("3.1e-340")], D("1.39e-340"), 0.5, 24.75))
        for broken in ["1 1.07e-340 5.35e-341 0.707107\n", "1 -1e-3 1 1 1\n", "1 x 1 1 1\n"]:
            with self.subTest(broken=broken), self.assertRaises(tg.ScriptError):
                tg.counting_figures(self.REPORT.replace("1 1.07e-340 5.35e-341 0.707107 12.5\n",
                                                        broken))


class Resume(unittest.TestCase):
    """run_size against a stand-in that prints a JSON report of STUB_RUNS runs
    and exits with STUB_STATUS, logging its command lines."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="lattice study ")
        self.stub = os.path.join(self.dir, "tintara")
        # The JSON report the study asks for (--format json), cut to the
        # fields it reads.
        wide = '{"text": "%s", "mantissa": %s, "exponent10": -340}'
        lines = ['{"type": "header", "mode": "counting", "seed": 1, "options": {"problem": "x",'
                 ' "colors": 3, "N": 1000, "rho": 0.2, "terr": 0.05}}',
                 '{"type": "levels", "levels": 412, "journalled_runs": 0}']
        run = ('{"type": "run", "run": $i, "estimate": %s, "average": %s, "re": 0.5, '
               '"cpu": 1.5}' % (wide % ("2.0e-340", 2), wide % ("1e-340", 1)))
        summary = ('{"type": "summary", "average": %s, "re": 0.25, "cpu": 3.0, '
                   '"plain_mean": %s, "plain_re": 0, "end": "target-met", "during_pilot": false, '
                   '"exit_status": 0}' % (wide % ("1.5e-340", 1.5), wide % ("2e-340", 2)))
        with open(self.stub, "w") as f:
            f.write('#!/bin/sh\necho "$*" >> "$STUB_LOG"\n'
                    + "".join("echo '%s'\n" % line for line in lines)
                    + 'i=1; while [ $i -le $STUB_RUNS ]; do echo "%s"; i=$((i+1)); done\n'
                    % run.replace('"', '\\"')
                    + "echo '%s'\nexit $STUB_STATUS\n" % summary)
        os.chmod(self.stub, 0o755)
        self.log = os.path.join(self.dir, "calls")
        os.environ["STUB_LOG"] = self.log
        self.progress, study.log = study.log, lambda message: None

    def tearDown(self):
        study.log = self.progress
        shutil.rmtree(self.dir)

    def calls(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return f.read().splitlines()

    def size(self, status, runs, max_runs=None, L=6, deadline=None):
        os.environ.update(STUB_STATUS=str(status), STUB_RUNS=str(runs))
        args = argparse.Namespace(quick=False, seed=1, workers=2, max_runs=max_runs)
        return study.run_size(args, self.stub, study.LATTICES[0], L, self.dir,
                              time.monotonic() + 3600 if deadline is None else deadline)

    def test_budget_stops_then_the_journal_resumes_and_the_report_is_kept(self):
        with self.assertRaises(study.Stop) as stop:
            self.size(3, 2)
        self.assertEqual(stop.exception.args[0], 3)
        first = self.calls()[0].split()
        self.assertIn("--journal", first)
        self.assertIn("--max-time", first)
        r = self.size(0, 3)
        self.assertEqual((r.runs, r.capped, r.levels), (3, False, 412))
        self.assertEqual(r.mean, decimal.Decimal("2.0e-340"))  # below a double
        self.assertEqual(first, self.calls()[1].split())  # the same journal
        self.assertEqual(self.size(1, 0), r)  # read back: the program is not run
        self.assertEqual(len(self.calls()), 2)
        with self.assertRaises(study.Stop) as stop:  # no time left: nothing starts
            self.size(0, 3, L=8, deadline=time.monotonic())
        self.assertEqual((stop.exception.args[0], len(self.calls())), (3, 2))

    def test_a_run_cap_keeps_its_re_until_the_cap_is_raised(self):
        self.assertTrue(self.size(3, 4, max_runs=4).capped)
        self.assertTrue(self.size(3, 4, max_runs=4).capped)
        self.assertEqual(len(self.calls()), 1)
        self.assertFalse(self.size(0, 6, max_runs=8).capped)
        self.assertEqual(len(self.calls()), 2)

    def test_interruption_and_failure(self):
        for L, status, raised in [(4, 143, study.Stop), (5, 130, study.Stop),
                                  (7, 1, tg.ScriptError)]:
            with self.subTest(status=status), self.assertRaises(raised) as e:
                self.size(status, 1, L=L)
            if raised is study.Stop:
                self.assertEqual(e.exception.args[0], status)


class Fit(unittest.TestCase):
    SIZES = list(range(6, 25, 2))

    def synthetic(self, W, a, rng=None):
        sigmas = [0.05 / L ** 2 for L in self.SIZES]
        ys = [math.log(W) + a / L ** 2 + (rng.gauss(0, s) if rng else 0)
              for L, s in zip(self.SIZES, sigmas)]
        return ys, sigmas

    def test_recovers_w_and_a_and_its_error_matches_the_scatter(self):
        W, a = (4 / 3) ** 1.5, 1.07
        f = study.fit_w(self.SIZES, *self.synthetic(W, a))
        self.assertAlmostEqual(f["W"], W, delta=1e-12)
        self.assertAlmostEqual(f["a"], a, delta=1e-9)
        self.assertAlmostEqual(f["chi2"], 0, delta=1e-12)
        rng = random.Random(5)
        fits = [study.fit_w(self.SIZES, *self.synthetic(W, a, rng)) for _ in range(400)]
        spread = math.sqrt(sum((g["W"] - W) ** 2 for g in fits) / len(fits))
        self.assertAlmostEqual(spread / fits[0]["sigma_W"], 1, delta=0.15)
        self.assertAlmostEqual(sum(g["chi2"] for g in fits) / len(fits), len(self.SIZES) - 2,
                               delta=1.0)
        c, b = tg.power_law_fit([8, 12, 24], [3 * L ** 4.5 for L in (8, 12, 24)])
        self.assertAlmostEqual(c, 3, delta=1e-9)
        self.assertAlmostEqual(b, 4.5, delta=1e-12)


if __name__ == "__main__":
    unittest.main()
