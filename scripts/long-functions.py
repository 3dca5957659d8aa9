#!/usr/bin/env python3
"""Lists the product's functions longer than a limit and its largest units, and the test share.

Usage: scripts/long-functions.py [--limit N] [--top N] [ROOT]

The product is setup/, loader/, plugin/ and engine/; the tests are tests/. A unit is one .cpp,
.c or .h file; its size is its count of physical lines (blank and comment lines included, as
`wc -l` counts them). A function's length runs from the first line of its signature to the line
of its closing brace. Functions are found by their braces, with comments, strings and character
literals blanked out first: a brace whose head (the text since the last ";", "{" or "}") holds a
parameter list and ends with ")" or a qualifier opens a function body; "namespace", "class",
"struct", "union", "enum" and 'extern "C"' heads open scopes that are searched further; any other
brace (an initialiser, a table) is data. Lambdas count in the function that holds them.
"""
import os
import re
import sys

PRODUCT = ["setup", "loader", "plugin", "engine"]
TESTS = ["tests"]
EXTENSIONS = (".cpp", ".c", ".h")


def source_files(root, folders):
    for folder in folders:
        for base, dirs, files in os.walk(os.path.join(root, folder)):
            dirs.sort()
            for name in sorted(files):
                if name.endswith(EXTENSIONS):
                    yield os.path.join(base, name)


def blanked(text):
    """The text with comments, string and character literals replaced by spaces (newlines kept)."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == 'R' and text.startswith('R"', i) and (i == 0 or not text[i - 1].isalnum()):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            if m:
                end = text.find(")" + m.group(1) + '"', i)
                j = n if end < 0 else end + len(m.group(1)) + 2
                out.append(re.sub(r"[^\n]", " ", text[i:j]))
                i = j
            else:
                out.append(c)
                i += 1
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == "#" and (i == 0 or text[i - 1] == "\n"):
            # Preprocessor lines (with continuations) hold no braces of the program's own.
            j = i
            while True:
                k = text.find("\n", j)
                if k < 0:
                    j = n
                    break
                if text[k - 1] == "\\":
                    j = k + 1
                    continue
                j = k
                break
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


SCOPE = re.compile(r'\b(namespace|class|struct|union|enum)\b|extern\s*$')
MACRO_LINE = re.compile(r"\s*[A-Z_][A-Z0-9_]*\([^;{}\n]*\)[ \t]*\n")
BODY_END = re.compile(r"\)\s*((const|override|final|noexcept|volatile|mutable|&|&&)\s*)*$")


def matching_brace(text, open_at):
    depth = 0
    for i in range(open_at, len(text)):
        if text[i] == "{":
            depth += 1
        elif text[i] == "}":
            depth -= 1
            if depth == 0:
                return i
    return len(text) - 1


def function_name(head):
    depth = 0
    for i, c in enumerate(head):
        if c == "(" and depth == 0:
            m = re.search(r"([~\w:<>=!+\-*/\[\]&|^%]+)\s*$", head[:i])
            return m.group(1) if m else "?"
        if c in "<":
            depth += 0
    return "?"


def functions(text):
    """(name, first line, last line) of every function body in the text."""
    found = []
    head_start = 0
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c in ";}":
            head_start = i + 1
        elif c == "{":
            head = text[head_start:i]
            # Macro invocations without a ";" of their own ("IMPLEMENT_THING(A, B)") end there.
            while True:
                m = MACRO_LINE.match(head)
                if not m:
                    break
                head_start += m.end()
                head = head[m.end():]
            stripped = head.strip()
            if SCOPE.search(stripped.rsplit(")", 1)[-1]):
                head_start = i + 1  # a scope: its contents are searched as they come
            elif "(" in stripped and "=" not in re.sub(r"\([^()]*\)", "", stripped) and \
                    BODY_END.search(stripped) or re.search(r"\)\s*:\s*.*\)\s*$", stripped, re.S):
                close = matching_brace(text, i)
                first = head_start + (len(head) - len(head.lstrip()))
                start_line = text.count("\n", 0, first) + 1
                end_line = text.count("\n", 0, close) + 1
                found.append((function_name(stripped), start_line, end_line))
                i = close
                head_start = close + 1
            else:
                i = matching_brace(text, i)  # data: an initialiser or a table
                # The data belongs to the head that follows it ("T x = {...};").
        i += 1
    return found


def line_count(path):
    with open(path, "rb") as f:
        return f.read().count(b"\n")


def main(argv):
    limit, top, root = 80, 10, "."
    args = list(argv)
    while args:
        a = args.pop(0)
        if a == "--limit":
            limit = int(args.pop(0))
        elif a == "--top":
            top = int(args.pop(0))
        else:
            root = a
    root = os.path.abspath(root)

    units = []
    long_ones = []
    longest = None
    for path in source_files(root, PRODUCT):
        rel = os.path.relpath(path, root)
        units.append((line_count(path), rel))
        with open(path, encoding="latin-1") as f:
            text = blanked(f.read())
        for name, first, last in functions(text):
            length = last - first + 1
            if longest is None or length > longest[0]:
                longest = (length, rel, first, name)
            if length > limit:
                long_ones.append((length, rel, first, name))

    product = sum(u[0] for u in units)
    tests = sum(line_count(p) for p in source_files(root, TESTS))

    print("Product functions over %d lines (lines, unit:line, function):" % limit)
    for length, rel, first, name in sorted(long_ones, reverse=True):
        print("  %5d  %s:%d  %s" % (length, rel, first, name))
    if not long_ones:
        print("  none")
    if longest:
        print("Longest product function: %s (%s:%d), %d lines" %
              (longest[3], longest[1], longest[2], longest[0]))
    print("Largest product units (lines, unit):")
    for lines, rel in sorted(units, reverse=True)[:top]:
        print("  %5d  %s" % (lines, rel))
    print("Product lines (%s; %s): %d" % (", ".join(PRODUCT), "/".join(EXTENSIONS), product))
    print("Test lines (%s; same files): %d" % (", ".join(TESTS), tests))
    if product:
        print("Test share (test lines / product lines): %.2f" % (tests / product))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
