#!/usr/bin/python3
"""The chromatic polynomial of the Petersen graph, P(G, k) for k = 2..6:
Tintara's estimates (the whole graph split, --decompose 0) and its count by
parts (exact here: the graph is one block small enough to eliminate) against
the exact values, from Whitney's expansion over the 2^15 edge subsets, and a
plot of both.

    PYTHONPATH=build/python examples/python/petersen_polynomial.py [--out FILE.png]
"""
import argparse
import collections
import itertools

import matplotlib
import networkx as nx

import tintara

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def chromatic_polynomial(graph):
    """P(G, k) as a function of k: the sum over edge subsets S of
    (-1)^|S| k^c(S), c(S) the connected components of (V, S) (Whitney's
    expansion, exact in integers)."""
    nodes = list(graph)
    index = {v: i for i, v in enumerate(nodes)}
    edges = [(index[u], index[v]) for u, v in graph.edges()]
    terms = collections.Counter()  # (sign, components) -> subsets
    for size in range(len(edges) + 1):
        for subset in itertools.combinations(edges, size):
            parent = list(range(len(nodes)))
            components = len(nodes)
            for u, v in subset:
                while parent[u] != u:
                    u = parent[u]
                while parent[v] != v:
                    v = parent[v]
                if u != v:
                    parent[u] = v
                    components -= 1
            terms[(-1) ** size, components] += 1
    return lambda k: sum(sign * count * k ** c for (sign, c), count in terms.items())


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--out", default="petersen_polynomial.png", help="the plot (PNG)")
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()

    graph = nx.petersen_graph()
    n = graph.number_of_nodes()
    polynomial = chromatic_polynomial(graph)
    rows = []
    print("%-3s%-12s%-20s%-24s%s" % ("k", "exact", "by parts (end)", "split whole (RE)",
                                      "within 2 RE"))
    for k in range(2, 7):
        exact = polynomial(k)
        by_parts = tintara.count(graph, k, seed=args.seed)
        try:
            split = tintara.count(graph, k, seed=args.seed, decompose=False)
            estimate, re = 10 ** split.log10_count, split.re
        except tintara.NoEstimate:
            # No proper colouring reached: the pilot run stagnates (k = 2).
            estimate, re = 0.0, float("nan")
        counted = round(10 ** by_parts.log10_count) if by_parts.probability > 0 else 0
        within = abs(estimate - exact) <= 2 * re * exact if exact else estimate == 0
        rows.append((k, exact, estimate, re))
        print("%-3d%-12d%-20s%-24s%s" % (
            k, exact, "%d (%s)" % (counted, by_parts.end), "%.6g (%.3f)" % (estimate, re),
            "yes" if within else "no"))

    shown = [r for r in rows if r[1] > 0]  # P(G, 2) = 0: nothing on a log scale
    ks = [r[0] for r in shown]
    figure, (counts, ratios) = plt.subplots(1, 2, figsize=(10, 4))
    counts.semilogy(ks, [r[1] for r in shown], "k-", label="exact P(G, k)")
    counts.semilogy(ks, [r[2] for r in shown], "o", label="tintara.count, split whole")
    counts.set_xlabel("colors k")
    counts.set_ylabel("proper k-colorings")
    counts.legend()
    ratios.axhline(1.0, color="k")
    ratios.errorbar(ks, [r[2] / r[1] for r in shown], yerr=[2 * r[3] * r[2] / r[1] for r in shown],
                    fmt="o", capsize=4)
    ratios.set_xlabel("colors k")
    ratios.set_ylabel("estimate / exact (bars: 2 RE)")
    figure.suptitle("Chromatic polynomial of the Petersen graph (n = %d), seed %d"
                    % (n, args.seed))
    figure.tight_layout()
    plt.savefig(args.out, dpi=100)
    print("plot:", args.out)


if __name__ == "__main__":
    main()
