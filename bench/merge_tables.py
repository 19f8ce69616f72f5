#!/usr/bin/env python3
"""Merges the side-by-side benchmark's outputs (tab-separated lines of floor_bench,
operation_counts and the JVM program, in any order on standard input or in the files named) into
one table per native and the throughput table, and checks the targets:
  a warm call: library <= 1.3 x floor and <= JNDI pooled; wSearchNodes <= 1.2 x floor and <= JNDI;
  wVerifyPassword <= 1.2 x floor; the bulk job ("bulk: ...") <= JNDI pooled only (its floor, one
  read a user, is shown for scale); pooled reads: 8 threads >= 1.5 x the throughput of one."""
import fileinput
import sys

READ_LIMIT = 1.3
VERIFY_LIMIT = 1.2
SEARCH_LIMIT = 1.2
THREAD_GAIN = 1.5


def parse(lines):
    latency, ops, floor_ops, throughput, order = {}, {}, {}, {}, []
    for line in lines:
        fields = line.rstrip("\n").split("\t")
        kind = fields[0]
        if kind in ("library", "floor", "jndi") and len(fields) >= 3:
            name = fields[1]
            if name not in order:
                order.append(name)
            latency[(kind, name)] = None if fields[2] == "FAILED" else (float(fields[2]), float(fields[3]))
        elif kind == "ops" and len(fields) == 3:
            ops[fields[1]] = fields[2]
        elif kind == "floor-ops" and len(fields) == 3:
            floor_ops[fields[1]] = fields[2]
        elif kind == "throughput" and len(fields) >= 5:
            side, name, threads = fields[1], fields[2], int(fields[3])
            throughput[(side, name, threads)] = None if fields[4] == "FAILED" else float(fields[4])
    return latency, ops, floor_ops, throughput, order


def cell(pair):
    return "failed" if pair is None else f"{pair[0]:.3f} / {pair[1]:.3f}"


def ratio(numerator, denominator):
    if numerator is None or denominator is None or denominator[0] <= 0:
        return None
    return numerator[0] / denominator[0]


def text(value):
    return "-" if value is None else f"{value:.2f}x"


def verdict(name, to_floor, to_jndi):
    if to_floor is None:
        return "no figure"
    if name.startswith("wVerifyPassword"):
        return "met" if to_floor <= VERIFY_LIMIT else f"MISSED (> {VERIFY_LIMIT}x floor)"
    missed = []
    limit = SEARCH_LIMIT if name.startswith("wSearchNodes") else READ_LIMIT
    if to_floor > limit and not name.startswith("bulk"):
        missed.append(f"> {limit}x floor")
    if to_jndi is None or to_jndi > 1.0:
        missed.append("slower than JNDI")
    return "met" if not missed else "MISSED (" + ", ".join(missed) + ")"


def print_table(headers, rows):
    widths = [max(len(str(row[i])) for row in [headers] + rows) for i in range(len(headers))]
    line = lambda row: "| " + " | ".join(str(v).ljust(w) for v, w in zip(row, widths)) + " |"
    print(line(headers))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for row in rows:
        print(line(row))


def main():
    latency, ops, floor_ops, throughput, order = parse(fileinput.input(sys.argv[1:]))
    missed = 0
    natives = []
    for name in order:
        native = name.split(" ")[0]
        if native not in natives:
            natives.append(native)
    headers = ["case", "library ms (median / p90)", "floor ms", "JNDI pooled ms", "library/floor",
               "library/JNDI", "LDAP ops (library / floor)", "target"]
    for native in natives:
        rows = []
        for name in (n for n in order if n.split(" ")[0] == native):
            library, floor, jndi = (latency.get((k, name)) for k in ("library", "floor", "jndi"))
            to_floor, to_jndi = ratio(library, floor), ratio(library, jndi)
            result = verdict(name, to_floor, to_jndi)
            missed += result != "met"
            rows.append([name, cell(library), cell(floor), cell(jndi), text(to_floor), text(to_jndi),
                         f"{ops.get(name, '?')} / {floor_ops.get(name, '?')}", result])
        print(f"\n{native}\n")
        print_table(headers, rows)

    cases = []
    for side, name, _ in throughput:
        if name not in cases:
            cases.append(name)
    rows = []
    for name in cases:
        for side in ("library", "jndi"):
            figures = [throughput.get((side, name, t)) for t in (1, 8, 32)]
            if all(f is None for f in figures):
                continue
            gain = figures[1] / figures[0] if figures[0] and figures[1] is not None else None
            result = "no figure" if gain is None else ("met" if gain >= THREAD_GAIN else f"MISSED (< {THREAD_GAIN}x)")
            if side == "jndi" or name.startswith("wVerifyPassword"):
                result = "-"  # the target is the library's pooled reads
            missed += result.startswith(("MISSED", "no figure"))
            rows.append([name, side] + ["failed" if f is None else f"{f:.0f}" for f in figures] +
                        [text(gain), result])
    print("\nThroughput (calls/s)\n")
    print_table(["case", "side", "1 thread", "8 threads", "32 threads", "8 vs 1", "target"], rows)
    print(f"\n{missed} target(s) missed" if missed else "\nall targets met")


if __name__ == "__main__":
    main()
