#!/usr/bin/env python3
"""The end of scripts/run-tests.sh: every test's result in each tree, the i686 result beside its
x86_64 twin's, counts per Windows version, the cases that reported themselves not runnable on
an emulated CPU, and the tests that passed only on their second run.

    tree-summary.py <tree>=<build folder>... [--i686-mode=<mode>] [--i686-excluded=<regex>]

Reads <build folder>/Testing/run-tests.log (ctest's output) and Testing/not-runnable.txt (one
line "<program>: <case>: <reason>" per test case that skipped itself). A test program's run is
named <program>.<version>[.<variant>]; the twins are the same program and variant run as the
same family: win95 (i686) beside win98 (x86_64), nt40 beside win2k, nt351 beside nt351.
"""
import os
import re
import sys

FAMILY = {"win95": "9x", "win98": "9x", "nt40": "NT", "win2k": "NT", "nt351": "NT 3.51"}
LINE = re.compile(r"Test +#\d+: (\S+) \.*\s*(\*\*\*)?([A-Za-z]+(?: Run)?)")


def read_results(log):
    """name -> list of the statuses of its runs, in order."""
    runs = {}
    with open(log, errors="replace") as f:
        for line in f:
            m = LINE.search(line)
            if m:
                runs.setdefault(m.group(1), []).append(m.group(3))
    return runs


def split_name(name):
    parts = name.split(".")
    for i, p in enumerate(parts):
        if p in FAMILY:
            return ".".join(parts[:i]), p, ".".join(parts[i + 1:])
    return name, "", ""


def main(argv):
    trees, mode, excluded = {}, "", ""
    for a in argv:
        if a.startswith("--i686-mode="):
            mode = a.split("=", 1)[1]
        elif a.startswith("--i686-excluded="):
            excluded = a.split("=", 1)[1]
        else:
            k, v = a.split("=", 1)
            trees[k] = v
    results, not_runnable = {}, {}
    for tree, folder in trees.items():
        log = os.path.join(folder, "Testing", "run-tests.log")
        results[tree] = read_results(log) if os.path.exists(log) else {}
        nr = os.path.join(folder, "Testing", "not-runnable.txt")
        if os.path.exists(nr):
            with open(nr, errors="replace") as f:
                not_runnable[tree] = sorted(set(l.strip() for l in f if l.strip()))

    # One row per program, family and variant; a column per tree.
    rows = {}
    for tree, runs in results.items():
        for name, statuses in runs.items():
            base, version, variant = split_name(name)
            key = (base, FAMILY.get(version, "-"), variant)
            rows.setdefault(key, {})[tree] = (version, statuses[-1])
    names = list(trees)
    if rows:
        print("Results, each tree's run beside its twin's:")
        width = max(len(k[0] + (("." + k[2]) if k[2] else "")) for k in rows) + 2
        print("  " + "test".ljust(width) + "family   " + "".join(n.ljust(22) for n in names))
        for key in sorted(rows):
            label = key[0] + (("." + key[2]) if key[2] else "")
            cells = []
            for n in names:
                if n in rows[key]:
                    version, status = rows[key][n]
                    cells.append(((version + " " if version else "") + status).ljust(22))
                else:
                    cells.append("-".ljust(22))
            print("  " + label.ljust(width) + key[1].ljust(9) + "".join(cells))
    print()
    for tree in names:
        per_version = {}
        for name, statuses in results[tree].items():
            version = split_name(name)[1] or "other"
            c = per_version.setdefault(version, {})
            c[statuses[-1]] = c.get(statuses[-1], 0) + 1
        how = " (32-bit Wine: %s)" % mode if tree == "i686" and mode else ""
        if not per_version:
            print("%s%s: no results (the tree did not run)" % (tree, how))
            continue
        print("%s%s:" % (tree, how))
        for version in sorted(per_version):
            c = per_version[version]
            passed = c.pop("Passed", 0)
            failed = sum(v for k, v in c.items() if k not in ("Skipped", "Not Run"))
            skipped = c.get("Skipped", 0) + c.get("Not Run", 0)
            print("    %-6s %d passed, %d failed, %d skipped" % (version, passed, failed, skipped))
        cases = not_runnable.get(tree, [])
        if cases:
            print("    not runnable under emulation (%d cases; they ran as skipped, never as passed):"
                  % len(cases))
            for c in cases:
                print("        " + c)
        if tree == "i686" and excluded:
            print("    left out on the emulated CPU (the x86_64 tree runs them): " + excluded)
    retried = []
    for tree, runs in results.items():
        for name, statuses in runs.items():
            if len(statuses) > 1 and statuses[-1] == "Passed":
                retried.append("%s: %s" % (tree, name))
    print()
    if retried:
        print("Passed only on the second run (intermittent: look into each):")
        for r in sorted(retried):
            print("    " + r)
    else:
        print("No test needed a second run.")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
