#!/usr/bin/env python3
"""Joins the JSON files of orbelt-peer-bench runs into Markdown tables.

    /usr/bin/python3 tools/peer-table.py part1.json part2.json ... > table.md

Rows are keyed by set and condition and keep the order in which they are
first seen. Each method's result comes from the last file that ran it, so a
part that ran only some methods adds its columns to the rows of other parts,
and a rerun replaces an older result.

Prints two tables, one per view:
  holes bad    unknown pixels count as bad: the map a user gets;
  filled       after the same background fill for every method (each hole
               takes the lower of its row's nearest known disparities).
Then, per view, which rows break the two goals: the best documented
configuration (orbelt_refined) has the fewest bad pixels of every method, and
the default configuration (orbelt_logchrom) beats plain SGBM. Last, the
seconds each refinement step adds.
"""
import json
import statistics
import sys

METHODS = [
    ("orbelt_logchrom", "Orbelt logchrom"),
    ("orbelt_rgb", "Orbelt rgb"),
    ("orbelt_refined", "Orbelt rgb refined"),
    ("opencv_census_sgm", "census SGM"),
    ("opencv_sgbm_wls", "SGBM+WLS"),
    ("opencv_sgbm", "SGBM"),
]
VIEWS = [("bad1", "holes counted as bad"), ("bad1_filled", "after the same background fill")]
BEST, DEFAULT, PLAIN = "orbelt_refined", "orbelt_logchrom", "opencv_sgbm"


def ran(result):
    return result is not None and result.get("error") != "not run"


def value(row, method, key):
    result = row.get(method)
    if not ran(result) or result.get(key) is None:
        return None
    return result[key]


def text(row, method, key, digits=2):
    result = row.get(method)
    if not ran(result):
        return "–"
    v = result.get(key)
    return "failed" if v is None else f"{v:.{digits}f}"


def join(paths):
    rows = {}
    for path in paths:
        with open(path) as f:
            for part in json.load(f)["rows"]:
                key = (part["set"], part["condition"])
                row = rows.setdefault(key, {"set": part["set"], "condition": part["condition"], "mask": part["mask"]})
                for method, _ in METHODS:
                    if ran(part.get(method)):
                        row[method] = part[method]
    return list(rows.values())


def print_table(rows, key, title, with_seconds):
    print(f"### bad > 1 px, %, {title}\n")
    head = ["set", "condition", "mask"]
    for _, name in METHODS:
        head += [name, "s"] if with_seconds else [name]
    print("| " + " | ".join(head) + " |")
    print("| --- | --- | --- | " + " | ".join("---:" for _ in head[3:]) + " |")
    for row in rows:
        cells = [row["set"], row["condition"], row["mask"]]
        for method, _ in METHODS:
            cells.append(text(row, method, key))
            if with_seconds:
                cells.append(text(row, method, "seconds"))
        print("| " + " | ".join(cells) + " |")
    print()


def print_goals(rows, key, title):
    complete = [r for r in rows if all(value(r, m, key) is not None for m, _ in METHODS)]
    best_losses, default_losses = [], []
    for r in complete:
        best = value(r, BEST, key)
        rivals = {m: value(r, m, key) for m, _ in METHODS if m != BEST}
        winner = min(rivals, key=rivals.get)
        if rivals[winner] <= best:
            best_losses.append(f"{r['set']} {r['condition']} ({dict(METHODS)[winner]} {rivals[winner]:.2f} vs {best:.2f})")
    for r in rows:
        d, p = value(r, DEFAULT, key), value(r, PLAIN, key)
        if d is not None and p is not None and d >= p:
            default_losses.append(f"{r['set']} {r['condition']} ({d:.2f} vs {p:.2f})")
    compared = sum(1 for r in rows if value(r, DEFAULT, key) is not None and value(r, PLAIN, key) is not None)
    print(f"**{title}.** Refined Orbelt has the fewest bad pixels in "
          f"{len(complete) - len(best_losses)} of the {len(complete)} rows with every method; "
          + ("not in: " + "; ".join(best_losses) if best_losses else "every one")
          + f". The default configuration beats plain SGBM in {compared - len(default_losses)} of {compared} rows"
          + ("; not in: " + "; ".join(default_losses) if default_losses else "") + ".\n")


def print_step_costs(rows):
    steps = {}
    ratios = []
    for r in rows:
        refined = r.get(BEST)
        if not ran(refined) or "step_seconds" not in refined:
            continue
        base = refined["seconds"] - sum(refined["step_seconds"].values())
        for name, seconds in refined["step_seconds"].items():
            steps.setdefault(name, []).append(seconds)
        if base > 0:
            ratios.append(refined["seconds"] / base)
    if not steps:
        return
    print(f"**Seconds each refinement step adds** (median over {len(ratios)} rows, measured in the same run as the "
          "rgb map it refines):")
    for name, values in steps.items():
        print(f"- {name}: median {statistics.median(values):.3f} s, range {min(values):.3f}–{max(values):.3f} s")
    if ratios:
        print(f"- refined run / plain rgb run: median {statistics.median(ratios):.2f}×")
    print()


def main(paths):
    if not paths:
        sys.exit(__doc__)
    rows = join(paths)
    for key, title in VIEWS:
        print_table(rows, key, title, with_seconds=key == "bad1")
    for key, title in VIEWS:
        print_goals(rows, key, title[0].upper() + title[1:])
    print_step_costs(rows)


if __name__ == "__main__":
    main(sys.argv[1:])
