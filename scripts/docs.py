#!/usr/bin/env python3
"""The Markdown pages: their links checked, and the reference made from the help files.

  scripts/docs.py links ROOT       every relative link in ROOT/README.md and ROOT/docs/*.md
                                   names a file that exists and, with #anchor, a heading
  scripts/docs.py reference ROOT   docs/reference.md holds the help files' text as they are
  scripts/docs.py reference ROOT --write   rewrites that part of docs/reference.md
Exits 1 naming each broken link or a stale reference.
"""
import os
import re
import sys

BEGIN, END = "<!-- help begin -->", "<!-- help end -->"


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


if __name__ == "__main__":
    mode, root = sys.argv[1], sys.argv[2]
    ok = links(root) if mode == "links" else reference(root, "--write" in sys.argv)
    sys.exit(0 if ok else 1)
