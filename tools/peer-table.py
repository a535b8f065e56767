#!/usr/bin/env python3
"""Joins the JSON files of orbelt-peer-bench runs into one Markdown table.

    python3 tools/peer-table.py part1.json part2.json ... > table.md

Rows keep the order of the files and of the rows inside them; a set and
condition seen twice keeps its last result (a rerun replaces an older one).
"""
import json
import sys


def cell(result):
    if result.get("error") == "not run":
        return "–", "–"
    if result.get("bad1") is None:
        return "failed", "–"
    return f"{result['bad1']:.2f}", f"{result['seconds']:.2f}"


def main(paths):
    if not paths:
        sys.exit(__doc__)
    rows = {}
    for path in paths:
        with open(path) as f:
            for row in json.load(f)["rows"]:
                rows[(row["set"], row["condition"])] = row
    print("| set | condition | mask | Orbelt logchrom bad1 % | s | Orbelt rgb bad1 % | s | SGBM bad1 % | s |")
    print("| --- | --- | --- | ---: | ---: | ---: | ---: | ---: | ---: |")
    for row in rows.values():
        cells = [*cell(row["orbelt_logchrom"]), *cell(row["orbelt_rgb"]), *cell(row["opencv_sgbm"])]
        print(f"| {row['set']} | {row['condition']} | {row['mask']} | " + " | ".join(cells) + " |")


if __name__ == "__main__":
    main(sys.argv[1:])
