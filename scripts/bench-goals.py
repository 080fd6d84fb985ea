#!/usr/bin/env python3
"""Reads the JSON results of scripts/bench.sh and prints, for each goal, the
measured figure (a ratio against its floor, or a time) beside the goal and
whether it is met.
"""
import json
import os
import re
import sys


def load(folder, name):
    path = os.path.join(folder, name + ".json")
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return json.load(f).get("benchmarks", [])


def median_time(benches, name):
    """Real time (ns) of a benchmark: its median aggregate, else its only run."""
    for b in benches:
        if b.get("run_name") == name and b.get("aggregate_name") == "median":
            return to_ns(b)
    runs = [b for b in benches if b.get("run_name", b["name"]) == name and b.get("run_type") != "aggregate"]
    return to_ns(runs[0]) if runs else None


def to_ns(b):
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
    return b["real_time"] * scale


rows = []


def goal(text, measured, limit, at_most=True, unit=""):
    if measured is None:
        rows.append((text, "-", "", "not run"))
        return
    met = measured <= limit if at_most else measured >= limit
    rows.append((text, f"{measured:.3g}{unit}", f"{'<=' if at_most else '>='} {limit:g}{unit}",
                 "met" if met else "NOT MET"))


def main(folder):
    da = load(folder, "dataaccess")
    for backend, direct in (("PG", "libpq"), ("FBEmbedded", "fbclient")):
        for op in ("Select", "Update"):
            ours = median_time(da, f"BM_{backend}_{op}_TKVQuery")
            base = median_time(da, f"BM_{backend}_{op}_{direct}")
            goal(f"data access {backend} {op}: TKVQuery / {direct}",
                 ours / base if ours and base else None, 1.10)

    tr = load(folder, "sqltranslate")
    for dialect in ("FB", "PG", "Ora"):
        fresh = median_time(tr, f"Fresh/{dialect}/mixed1k")
        goal(f"translation 1 KB fresh, {dialect}", fresh / 1e3 if fresh else None, 20, unit=" us")
    for dialect in ("FB", "PG", "Ora"):
        hit = median_time(tr, f"MemoHit/{dialect}/mixed1k")
        goal(f"translation 1 KB memo hit, {dialect}", hit / 1e3 if hit else None, 1, unit=" us")

    wo = load(folder, "writeoff")
    growth = {}
    for b in wo:
        m = re.search(r"backend:(\d)/orders:(\d+)/files:(\d+)/runs:(\d+)", b["name"])
        if not m or "run_vs_replay" not in b:
            continue
        backend = "PG" if m.group(1) == "0" else "FBEmbedded"
        orders, runs = int(m.group(2)), int(m.group(4))
        goal(f"write-off {backend} {orders} orders / {runs} run(s): run / replay throughput",
             b["run_vs_replay"], 0.9, at_most=False)
        if runs == 10:
            growth[(backend, orders)] = b.get("peak_growth_MB")
        elif orders == 1000:
            growth[(backend, 1000)] = b.get("peak_growth_MB")
    for backend in ("PG", "FBEmbedded"):
        small, large = growth.get((backend, 1000)), growth.get((backend, 10000))
        if small is not None and large is not None:
            rows.append((f"write-off {backend} peak memory growth, 10,000 orders in 10 runs - 1,000",
                         f"{large - small:+.1f} MB", "about 0", ""))

    ex = load(folder, "export")
    for b in ex:
        if "run_s" in b and "fixed_waits_s" in b:
            goal("export run / its fixed waits", b["run_s"] / b["fixed_waits_s"], 1.05)

    width = max(len(r[0]) for r in rows) if rows else 10
    print(f"{'goal':<{width}}  {'measured':>10}  {'goal':<10} result")
    for text, measured, limit, result in rows:
        print(f"{text:<{width}}  {measured:>10}  {limit:<10} {result}")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "bench-results")
