#!/usr/bin/python3
"""A batch from a graph6 file: every connected graph on 7 vertices, counted
at k = 3 by tintara.count in a Python loop, against the exact count by brute
force over the 3^7 colourings.

The file is written by nauty's `geng -c 7` when geng is installed, and from
networkx's atlas of all graphs up to 7 vertices otherwise (853 connected
graphs on 7 vertices either way). Each graph is counted twice: by parts (the
program's default, which counts such small blocks exactly) and with the
whole graph split (decompose=False), whose estimates should lie within a
few relative errors of the truth.

    PYTHONPATH=build/python examples/python/batch_graph6.py [--graph6 FILE]
"""
import argparse
import itertools
import os
import shutil
import subprocess
import tempfile

import networkx as nx

import tintara

K = 3
N_VERTICES = 7


def write_graph6(path):
    """Every connected graph on 7 vertices, one graph6 line each; says where
    they came from."""
    geng = shutil.which("geng") or shutil.which("nauty-geng")
    if geng:
        with open(path, "wb") as f:
            subprocess.run([geng, "-c", "-q", str(N_VERTICES)], stdout=f, check=True)
        return "nauty's geng"
    with open(path, "wb") as f:
        for g in nx.graph_atlas_g():
            if g.number_of_nodes() == N_VERTICES and nx.is_connected(g):
                f.write(nx.to_graph6_bytes(g, header=False))
    return "networkx's graph atlas"


def brute_force(graph):
    """The proper K-colourings of `graph`, all K^n colourings tried."""
    nodes = list(graph)
    index = {v: i for i, v in enumerate(nodes)}
    edges = [(index[u], index[v]) for u, v in graph.edges()]
    return sum(all(c[u] != c[v] for u, v in edges)
               for c in itertools.product(range(K), repeat=len(nodes)))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--graph6", help="read this graph6 file instead of writing one")
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()

    source = args.graph6
    with tempfile.TemporaryDirectory() as folder:
        if not source:
            source = os.path.join(folder, "connected7.g6")
            print("graphs from", write_graph6(source))
        graphs = nx.read_graph6(source)
    graphs = graphs if isinstance(graphs, list) else [graphs]

    exact_agree = 0
    split_within = {1: 0, 2: 0, 3: 0}
    split_made = 0
    uncolorable = 0
    missed = 0
    worst = 0.0
    for g in graphs:
        truth = brute_force(g)
        by_parts = tintara.count(g, K, seed=args.seed)
        exact_agree += round(10 ** by_parts.log10_count) == truth if truth else \
            by_parts.probability == 0
        try:
            split = tintara.count(g, K, seed=args.seed, decompose=False)
        except tintara.NoEstimate:
            # The pilot found no proper colouring: right when there is none.
            uncolorable += truth == 0
            missed += truth > 0
            continue
        split_made += 1
        error = abs(10 ** split.log10_count - truth) / truth
        worst = max(worst, error / split.re)
        for m in split_within:
            split_within[m] += error <= m * split.re

    print("%d graphs on %d vertices, k = %d" % (len(graphs), N_VERTICES, K))
    print("by parts: %d of %d equal to the brute-force count" % (exact_agree, len(graphs)))
    print("split whole: %d estimates; %d graphs without a proper coloring (no estimate, "
          "rightly); %d colorable graphs without an estimate" % (split_made, uncolorable, missed))
    for m, count in split_within.items():
        print("  within %d RE of the truth: %d (%.1f%%)" % (m, count, 100.0 * count / split_made))
    print("  largest error: %.2f RE" % worst)


if __name__ == "__main__":
    main()
