#!/usr/bin/env python3
"""The Markdown pages: their links checked, the reference made from the help files, and
the speed figures of the README and of help/edgejoin.m made from the bench table.

  scripts/docs.py links ROOT       every relative link in ROOT/README.md and ROOT/docs/*.md
                                   names a file that exists and, with #anchor, a heading
  scripts/docs.py reference ROOT   docs/reference.md holds the help files' text as they are
  scripts/docs.py speed ROOT       the README's speed and join cost paragraphs and the
                                   "Cost:" paragraph of help/edgejoin.m say what the table
                                   of docs/performance.md (written by make bench) says
  scripts/docs.py MODE ROOT --write   rewrites those parts instead
Exits 1 naming each broken link or a stale part.
"""
import math
import os
import re
import sys
import textwrap

BEGIN, END = "<!-- help begin -->", "<!-- help end -->"
KEEP = "\x01"   # a space that wrap keeps


def anchor(heading):
    """GitHub's anchor of a heading: lower case, punctuation dropped, spaces to hyphens."""
    text = re.sub(r"[^\w\- ]", "", heading.strip().lower())
    return text.replace(" ", "-")


def anchors(path):
    """Every anchor of a Markdown file's headings, numbered as GitHub numbers repeats."""
    seen, out = {}, set()
    fenced = False
    for line in open(path, encoding="utf-8"):
        if line.startswith("```"):
            fenced = not fenced
        m = None if fenced else re.match(r"#{1,6}\s+(.*?)\s*#*\s*$", line)
        if m:
            a = anchor(m.group(1))
            n = seen.get(a, 0)
            seen[a] = n + 1
            out.add(a if n == 0 else "%s-%d" % (a, n))
    return out


def links(root):
    pages = [os.path.join(root, "README.md")]
    docs = os.path.join(root, "docs")
    pages += sorted(os.path.join(docs, f) for f in os.listdir(docs) if f.endswith(".md"))
    broken, count = [], 0
    for page in pages:
        text = re.sub(r"```.*?```", "", open(page, encoding="utf-8").read(), flags=re.S)
        for target in re.findall(r"\]\(([^)\s]+)\)", text):
            if re.match(r"[a-z]+:", target):
                continue
            count += 1
            name, _, frag = target.partition("#")
            path = os.path.normpath(os.path.join(os.path.dirname(page), name)) if name else page
            if not os.path.exists(path):
                broken.append("%s: %s: no such file" % (os.path.relpath(page, root), target))
            elif frag and path.endswith(".md") and frag not in anchors(path):
                broken.append("%s: %s: no such heading" % (os.path.relpath(page, root), target))
    for b in broken:
        print(b)
    print("%d pages, %d relative links, %d broken" % (len(pages), count, len(broken)))
    return not broken


def help_text(path):
    """The comment block that help shows, without its leading %."""
    lines = open(path, encoding="utf-8").read().splitlines()[1:]
    out = []
    for line in lines:
        if not line.startswith("%"):
            break
        out.append(line[1:].rstrip())
    return out


def modules(root, text):
    """One module per modules/NAME.cpp: in the order the page gives them, new ones last."""
    names = sorted(f[:-4] for f in os.listdir(os.path.join(root, "modules"))
                   if f.endswith(".cpp"))
    listed = re.findall(r"^## (\w+)$", text.split(BEGIN, 1)[1].split(END, 1)[0], re.M)
    return [m for m in listed if m in names] + [m for m in names if m not in listed]


def reference(root, write):
    page = os.path.join(root, "docs", "reference.md")
    text = open(page, encoding="utf-8").read()
    parts = []
    for m in modules(root, text):
        body = help_text(os.path.join(root, "help", m + ".m"))
        parts.append("## %s\n\nFrom [help/%s.m](../help/%s.m), as `help %s` shows it:\n\n"
                     "```text\n%s\n```\n" % (m, m, m, m, "\n".join(body)))
    head, rest = text.split(BEGIN + "\n", 1)
    tail = rest.split(END, 1)[1]
    new = head + BEGIN + "\n" + "\n".join(parts) + END + tail
    if write:
        open(page, "w", encoding="utf-8").write(new)
        return True
    if new != text:
        print("docs/reference.md differs from help/*.m: run scripts/docs.py reference . --write")
        return False
    return True


def bench_figures(root):
    """What the bench table of docs/performance.md says: machine, date, the ranges of
    speedups and of times over the limit, edgejoin's times by size, the crossover."""
    text = open(os.path.join(root, "docs", "performance.md"), encoding="utf-8").read()
    table = text.split("<!-- bench begin -->", 1)[1].split("<!-- bench end -->", 1)[0]
    machine = re.search(r"Measured by `make bench` on (.*?) \((\d+) cores.*?, (\d{4}-\d\d-\d\d):",
                        table)
    cells = lambda line: [c.strip() for c in line.strip().strip("|").split("|")]
    # Columns by their headers, as make bench may add a column per compared build.
    header = next((cells(l) for l in table.splitlines() if l.startswith("| module |")), [])
    wanted = ("module", "workload", "module ms", "speedup", "time / limit", "plain -O2 ms",
              "limit ms")
    if any(h not in header for h in wanted):
        sys.exit("docs/performance.md: the bench table has no column %s" %
                 ", ".join(repr(h) for h in wanted if h not in header))
    module, workload, ms, speedup, over, plain, limit = (header.index(h) for h in wanted)
    rows = [cells(line) for line in table.splitlines() if line.startswith("| `")]
    # The ratios are the times' (within the times' rounding), or a column was misread.
    for r in rows:
        for ratio, num, den in ((speedup, plain, ms), (over, ms, limit)):
            if abs(float(r[ratio]) - float(r[num]) / float(r[den])) > 0.03 * float(r[ratio]):
                sys.exit("docs/performance.md: %s, %s: %s is not %s / %s" %
                         (r[module], r[workload], header[ratio], header[num], header[den]))
    joins = {int(m.group(1)): float(r[ms]) for r in rows
             for m in [re.match(r"p = q = (\d+), about 1 match per row", r[workload])]
             if r[module] == "`edgejoin`" and m}
    cross = re.search(r"beats edgejoin from p = q = (\d+) on", table)
    if not (machine and rows and len(joins) >= 2 and cross):
        sys.exit("docs/performance.md: no bench table with edgejoin's sizes and crossover")
    return {"model": machine.group(1), "cores": machine.group(2), "date": machine.group(3),
            "speedup": sorted(float(r[speedup]) for r in rows),
            "over_limit": sorted(float(r[over]) for r in rows),
            "joins": sorted(joins.items()), "cross": int(cross.group(1))}


def duration(ms):
    """To two significant digits, in ms or s; KEEP joins what wrap must not break."""
    value, unit = (ms, "ms") if ms < 1000 else (ms / 1000, "s")
    value = round(value, 1 - int(math.floor(math.log10(value)))) if value > 0 else 0
    return format(value, "g") + KEEP + unit


def join_cost(b, example):
    times = " and ".join("%s for %s" % (duration(ms), format(n, ",")) for n, ms in b["joins"])
    return ("edgejoin compares every row of E1 with every row of E2, p*q pairs however few of "
            "them join, so its time grows with p*q: %s rows each, measured by make bench on %s (%s "
            "cores, %s). From about %s rows each a sort-based join in plain MATLAB or Octave is "
            "faster; %s gives the same rows in the same order."
            % (times, b["model"], b["cores"], b["date"], format(b["cross"], ","), example))


def wrap(text, width, prefix):
    lines = textwrap.wrap(text, width, initial_indent=prefix, subsequent_indent=prefix,
                          break_long_words=False, break_on_hyphens=False)
    return [l.replace(KEEP, " ") for l in lines]


def replace_between(text, begin, end, body, page):
    if begin not in text or end not in text:
        sys.exit("%s: no %s ... %s" % (page, begin, end))
    head, rest = text.split(begin, 1)
    return head + begin + "\n" + body + end + rest.split(end, 1)[1]


def speed(root, write):
    b = bench_figures(root)
    readme_path = os.path.join(root, "README.md")
    readme = open(readme_path, encoding="utf-8").read()
    summary = ("Each module runs %s to %s times as fast as the same loops written plainly and "
               "built with `-O2`, within %s to %s times this machine's limit for the same work "
               "(`make bench` on %s, %s cores, %s: [docs/performance.md](docs/performance.md)):"
               % (b["speedup"][0], b["speedup"][-1], b["over_limit"][0], b["over_limit"][-1],
                  b["model"], b["cores"], b["date"]))
    cost = join_cost(b, "[examples/join_sorted.m](examples/join_sorted.m), which you can copy,")
    cost = cost.replace("edgejoin", "`edgejoin`", 1).replace("p*q", "p·q")
    new_readme = replace_between(readme, "<!-- speed begin -->", "<!-- speed end -->",
                                 "\n".join(wrap(summary, 88, "")) + "\n", "README.md")
    new_readme = replace_between(new_readme, "<!-- join cost begin -->", "<!-- join cost end -->",
                                 "\n".join(wrap(cost, 88, "")) + "\n", "README.md")
    help_path = os.path.join(root, "help", "edgejoin.m")
    help_lines = open(help_path, encoding="utf-8").read().split("\n")
    at = next((i for i, l in enumerate(help_lines) if l.startswith("%   Cost: ")), None)
    if at is None:
        sys.exit("help/edgejoin.m: no paragraph starting \"%   Cost: \"")
    to = next(i for i in range(at, len(help_lines)) if help_lines[i].strip() == "%")
    paragraph = wrap("Cost: " + join_cost(b, "examples/join_sorted.m in the source tree"),
                     86, "%   ")
    new_help = "\n".join(help_lines[:at] + paragraph + help_lines[to:])
    stale = [p for p, old, new in ((readme_path, readme, new_readme),
                                   (help_path, "\n".join(help_lines), new_help)) if old != new]
    if write:
        for p, new in ((readme_path, new_readme), (help_path, new_help)):
            open(p, "w", encoding="utf-8").write(new)
        return True
    for p in stale:
        print("%s differs from docs/performance.md's bench table: run scripts/docs.py speed . "
              "--write" % os.path.relpath(p, root))
    return not stale


if __name__ == "__main__":
    mode, root = sys.argv[1], sys.argv[2]
    write = "--write" in sys.argv
    ok = {"links": lambda: links(root), "reference": lambda: reference(root, write),
          "speed": lambda: speed(root, write)}[mode]()
    sys.exit(0 if ok else 1)
