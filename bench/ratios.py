#!/usr/bin/env python3
"""Prints each benchmark's median wall time, and its median processor time,
as ratios of its "_Floor" twin."""
import json
import sys

medians = {}
for path in sys.argv[1:]:
    with open(path) as f:
        for b in json.load(f)["benchmarks"]:
            if b.get("aggregate_name", "median") != "median":
                continue
            name = b.get("run_name", b["name"])
            medians[name] = b["real_time"], b.get("time_unit", "ns"), b.get("cpu_time")

print(f"{'benchmark':50} {'median':>12} {'floor':>12} {'ratio':>7} {'cpu':>12} {'floor':>12} {'ratio':>7}")
for name, (time, unit, cpu) in sorted(medians.items()):
    base, _, args = name.partition("/")
    if base.endswith("_Floor"):
        continue
    floor_name = base + "_Floor" + ("/" + args if args else "")
    if floor_name in medians:
        floor, _, floor_cpu = medians[floor_name]
        line = f"{name:50} {time:10.3f}{unit:>2} {floor:10.3f}{unit:>2} {time / floor:7.3f}"
        if cpu is not None and floor_cpu:
            line += f" {cpu:10.3f}{unit:>2} {floor_cpu:10.3f}{unit:>2} {cpu / floor_cpu:7.3f}"
        print(line)
    else:
        print(f"{name:50} {time:10.3f}{unit:>2} {'-':>12} {'-':>7}")
