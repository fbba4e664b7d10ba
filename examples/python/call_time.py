#!/usr/bin/python3
"""The time per graph of many small graphs: one tintara.count call each,
against writing each graph to an instance file and running the program once
per graph (what a script did before the module), on the connected graphs on
7 vertices at k = 3. Both ways give the same figures for a seed; the module
saves the process start, the file and the report's parsing.

    PYTHONPATH=build/python examples/python/call_time.py [--tintara build/tintara]
"""
import argparse
import json
import os
import subprocess
import tempfile
import time

import networkx as nx

import tintara


def instance_text(graph):
    index = {v: i for i, v in enumerate(graph)}
    return "p %d\n" % len(index) + "".join(
        "e %d %d\n" % (index[u], index[v]) for u, v in graph.edges())


def program_count(tintara_path, folder, graph, options):
    """The program's average for `graph`, from its JSON report."""
    path = os.path.join(folder, "graph.txt")
    with open(path, "w") as f:
        f.write(instance_text(graph))
    out = subprocess.run([tintara_path, "--problem", path, "--format", "json"] + options,
                         capture_output=True, text=True)
    for line in out.stdout.splitlines():
        o = json.loads(line)
        if o.get("type") == "summary":
            return o["average"]["mantissa"] if o["average"] else None
    return None


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--tintara", default="build/tintara", help="the program")
    ap.add_argument("--graphs", type=int, default=853, help="how many graphs (from the first)")
    args = ap.parse_args()

    graphs = [g for g in nx.graph_atlas_g() if g.number_of_nodes() == 7 and nx.is_connected(g)]
    graphs = graphs[:args.graphs]
    print("%d connected graphs on 7 vertices, k = 3, seed 1" % len(graphs))
    for label, keywords, options in [
            ("by parts (exact)", {}, []),
            ("split whole, N=200, terr=0.1", dict(decompose=False, N=200, terr=0.1),
             ["--decompose", "0", "--N", "200", "--terr", "0.1"])]:
        started = time.perf_counter()
        module = []
        for g in graphs:
            try:
                module.append(tintara.count(g, 3, seed=1, **keywords).mantissa)
            except tintara.NoEstimate:
                module.append(None)
        per_call = (time.perf_counter() - started) / len(graphs)
        with tempfile.TemporaryDirectory() as folder:
            started = time.perf_counter()
            program = [program_count(args.tintara, folder, g, ["--colors", "3", "--seed", "1"]
                                     + options) for g in graphs]
            per_run = (time.perf_counter() - started) / len(graphs)
        same = sum(a == b for a, b in zip(module, program))
        print("%-30s module %8.2f ms a call   program %8.2f ms a run   (%.0fx)   "
              "same average: %d of %d" % (label, 1e3 * per_call, 1e3 * per_run,
                                          per_run / per_call, same, len(graphs)))


if __name__ == "__main__":
    main()
