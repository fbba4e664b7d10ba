"""Graph builders and instance-file helpers shared by the study and example
scripts. A graph is (n, edges) with 0-based vertex ids and edges (u, v), u < v.
"""
import random


def cycle(n):
    return n, [(min(i, (i + 1) % n), max(i, (i + 1) % n)) for i in range(n)]


def grid(rows, cols):
    edges = []
    for r in range(rows):
        for c in range(cols):
            v = r * cols + c
            if c + 1 < cols:
                edges.append((v, v + 1))
            if r + 1 < rows:
                edges.append((v, v + cols))
    return rows * cols, edges


def petersen():
    edges = []
    for i in range(5):
        edges.append((i, (i + 1) % 5))          # outer 5-cycle
        edges.append((i, i + 5))                # spokes
        edges.append((5 + i, 5 + (i + 2) % 5))  # inner pentagram
    return 10, sorted((min(u, v), max(u, v)) for u, v in edges)


def mycielskian(graph):
    """Vertices v, shadows n + v joined to the neighbours of v, apex 2n."""
    n, edges = graph
    out = list(edges)
    for u, v in edges:
        out.append((u, n + v))
        out.append((v, n + u))
    out.extend((n + v, 2 * n) for v in range(n))
    return 2 * n + 1, sorted((min(u, v), max(u, v)) for u, v in out)


def mycielski(k):
    """The Mycielski graph M_k (k >= 2): M_2 = K2, M_3 = C5, M_4 = Groetzsch;
    its chromatic number is k and it has no triangle."""
    g = (2, [(0, 1)])
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
    return n * n, edges


def random_graph(n, m, seed):
    """n vertices and m distinct edges drawn uniformly, from a fixed seed."""
    rng = random.Random(seed)
    edges = set()
    while len(edges) < m:
        u, v = rng.sample(range(n), 2)
        edges.add((min(u, v), max(u, v)))
    return n, sorted(edges)


def instance_text(graph, comment=None):
    n, edges = graph
    lines = []
    if comment:
        lines += ["c " + line for line in comment.splitlines()]
    lines.append("p %d" % n)
    lines += ["e %d %d" % e for e in edges]
    return "\n".join(lines) + "\n"


def write_instance(path, graph, comment=None):
    with open(path, "w") as f:
        f.write(instance_text(graph, comment))
