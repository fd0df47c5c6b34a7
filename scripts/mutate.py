#!/usr/bin/env python3
"""Mutation run: applies each mutant of tests/mutants.txt to its module, one at a time,
rebuilds that module's builds in the release tree (the delivered module, the compared
builds, the Octave module), runs every test of the tree named after the module, and
says which test killed the mutant or that it survived.

    scripts/mutate.py [--build build/release] [--list tests/mutants.txt] [--only REGEX]
                      [--check] [--jobs N]

Tests are chosen by a regular expression on the module's name (Permanent.*,
Paths.PermanentOnRandomTables, Largest.PermanentOf..., octave.permanent, and whatever
runs are added later under such names); the macOS suites are left out, as they run the
macOS bundles, which this tree does not rebuild. A first run on the unchanged tree must
pass; its times order the tests cheapest first, and each mutant stops at its first
failing test. The sources and the builds are restored at the end, also when the run is
interrupted, and checked: modules/ as committed, each rebuilt file with its old bytes.
"""

import argparse
import glob
import hashlib
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MODULES = os.path.join(ROOT, "modules")

LINE = re.compile(r"^(?P<file>[\w.]+)(?: after `(?P<anchor>[^`]+)`)?: `(?P<orig>[^`]+)` -> "
                  r"`(?P<repl>[^`]*)`(?:\s+equivalent:\s*(?P<reason>\S.*?))?\s*$")
EXCLUDE = "macos"      # suites on the macOS bundles, not rebuilt here
CHEAP = 1.0            # seconds: tests below this run in one ctest call, in tree order


class ListError(Exception):
    pass


class Interrupted(Exception):
    pass


def log(*args):
    print(*args, flush=True)


def run(cmd, cwd=None):
    """Runs cmd in its own process group, which an interruption ends with it."""
    proc = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, errors="replace", start_new_session=True)
    try:
        out, _ = proc.communicate()
    except BaseException:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        proc.wait()
        raise
    return proc.returncode, out


class Mutant:
    def __init__(self, number, src_line, file, anchor, orig, repl, reason):
        self.number, self.src_line = number, src_line
        self.file, self.anchor, self.orig, self.repl = file, anchor, orig, repl
        self.reason = reason
        self.module = os.path.splitext(file)[0]
        self.line = None        # line of the module it changes
        self.result = None      # killed, survived, equivalent, bad
        self.detail = ""

    def where(self):
        return f"{self.file}:{self.line}"

    def apply_to(self, text):
        start = 0
        if self.anchor:
            start = text.find(self.anchor)
            if start < 0:
                raise ListError(f"`{self.anchor}` is not in {self.file}")
        at = text.find(self.orig, start)
        if at < 0:
            raise ListError(f"`{self.orig}` is not in {self.file}"
                            + (f" after `{self.anchor}`" if self.anchor else ""))
        if not self.anchor and text.find(self.orig, at + 1) >= 0:
            raise ListError(f"`{self.orig}` occurs more than once in {self.file}: "
                            "name an anchor")
        self.line = text.count("\n", 0, at) + 1
        return text[:at] + self.repl + text[at + len(self.orig):]


def read_list(path):
    mutants = []
    with open(path) as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            m = LINE.match(line)
            if not m:
                raise ListError(f"{path}:{number}: not a mutant line: {line}")
            if m["orig"] == m["repl"]:
                raise ListError(f"{path}:{number}: the replacement is the original")
            if not os.path.isfile(os.path.join(MODULES, m["file"])):
                raise ListError(f"{path}:{number}: no modules/{m['file']}")
            mutants.append(Mutant(len(mutants) + 1, number, m["file"], m["anchor"],
                                  m["orig"], m["repl"], m["reason"]))
    return mutants


def name_regex(module):
    """permanent -> [Pp]ermanent, expandTally -> [Ee]xpand[Tt]ally."""
    out = ""
    for i, c in enumerate(module):
        out += f"[{c.upper()}{c.lower()}]" if c.isalpha() and (i == 0 or c.isupper()) else re.escape(c)
    return out


def cache_value(build, key):
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith(key + ":"):
                return line.split("=", 1)[1].strip()
    return ""


class Tree:
    def __init__(self, build, jobs):
        self.build, self.jobs = build, jobs
        rc, out = run(["cmake", "--build", build, "--target", "help"])
        if rc != 0:
            sys.exit(f"mutate: {build} is not a configured build tree (make dist-linux)")
        self.targets = set(re.findall(r"^\.\.\. (\S+)", out, re.M))
        self.mex_dir = cache_value(build, "MEX_OUTPUT_DIR")
        self.octave_dir = cache_value(build, "OCTAVE_OUTPUT_DIR")

    def module_targets(self, module):
        names = [module, module + "_baseline", module + "_portable", "octave_modules"]
        return [t for t in names if t in self.targets]

    def built_files(self, module):
        files = []
        for d in (self.mex_dir, os.path.join(self.build, "modules_baseline"),
                  os.path.join(self.build, "modules_portable"), self.octave_dir):
            files += sorted(glob.glob(os.path.join(d, module + ".mex*")))
        return files

    def digests(self, module):
        out = {}
        for path in self.built_files(module):
            with open(path, "rb") as f:
                out[path] = hashlib.sha256(f.read()).hexdigest()
        return out

    def rebuild(self, module):
        return run(["cmake", "--build", self.build, "-j", str(self.jobs), "--target"]
                   + self.module_targets(module))

    def list_tests(self, regex):
        rc, out = run(["ctest", "-N", "-R", regex, "-E", EXCLUDE], cwd=self.build)
        if rc != 0:
            sys.exit(f"mutate: ctest -N failed:\n{out}")
        return re.findall(r"^\s*Test\s+#\d+: (\S+)\s*$", out, re.M)

    def ctest(self, names, timeout, stop):
        regex = "^(" + "|".join(re.escape(n) for n in names) + ")$"
        cmd = ["ctest", "-R", regex, "--timeout", str(int(timeout))]
        if stop:
            cmd.append("--stop-on-failure")
        return run(cmd, cwd=self.build)


def first_failure(out):
    """The first test ctest lists as failed, with how it failed."""
    listed = out.split("The following tests FAILED:", 1)
    if len(listed) == 2:
        m = re.search(r"^\s*\d+ - (\S+) \((.+?)\)\s*$", listed[1], re.M)
        if m:
            return m[1], m[2]
    m = re.search(r"Test\s+#\d+: (\S+) \.*\s*\*+\s*(\S[^\n]*?)\s+[\d.]+ sec", out)
    if m:
        return m[1], m[2]
    return None, None


def select_tests(tree, module):
    names = tree.list_tests(name_regex(module))
    cap = module[0].upper() + module[1:]
    kinds = {"module suite": rf"(^|\.){cap}\.", "path suite": r"(^|\.)Paths\.",
             "largest cases": r"(^|\.)Largest\.", "Octave suite": r"(^|\.)octave\."}
    missing = [k for k, rx in kinds.items() if not any(re.search(rx, n) for n in names)]
    if missing:
        sys.exit(f"mutate: the tests chosen for {module} lack the " + ", ".join(missing)
                 + ": " + " ".join(names))
    return names


def time_tests(tree, module, names):
    """Runs the module's tests on the unchanged tree; returns the groups to run per
    mutant, cheapest first, each with its timeout."""
    rc, out = tree.ctest(names, 3600, stop=False)
    times = {n: float(t) for n, t in
             re.findall(r"Test\s+#\d+: (\S+) \.+\s+Passed\s+([\d.]+) sec", out)}
    failed = [n for n in names if n not in times]
    if rc != 0 or failed:
        sys.exit(f"mutate: before any mutant, these {module} tests fail: "
                 + " ".join(failed) + "\n" + out[-3000:])
    cheap = [n for n in names if times[n] < CHEAP]
    groups = [cheap] if cheap else []
    groups += [[n] for n in sorted((n for n in names if times[n] >= CHEAP), key=times.get)]
    return [(g, max(60.0, 10 * max(times[n] for n in g) + 30)) for g in groups], sum(times.values())


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    ap.add_argument("--list", default=os.path.join(ROOT, "tests", "mutants.txt"))
    ap.add_argument("--only", help="run the mutants whose module, file:line or text match")
    ap.add_argument("--check", action="store_true", help="only check that each mutant applies")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    args = ap.parse_args()
    started = time.monotonic()

    try:
        mutants = read_list(args.list)
        originals = {}
        for m in mutants:
            path = os.path.join(MODULES, m.file)
            if path not in originals:
                with open(path) as f:
                    originals[path] = f.read()
            m.apply_to(originals[path])
    except ListError as e:
        sys.exit(f"mutate: {e}")
    total = len(mutants)
    if args.only:
        rx = re.compile(args.only)
        mutants = [m for m in mutants
                   if rx.search(m.module) or rx.search(m.where()) or rx.search(m.orig)]
    if args.check:
        for m in mutants:
            log(f"{m.number:3} {m.where():20} `{m.orig}` -> `{m.repl}`"
                + ("  (equivalent)" if m.reason else ""))
        log(f"{len(mutants)} mutants apply")
        return 0

    if subprocess.run(["git", "diff", "--quiet", "--", "modules/"], cwd=ROOT).returncode != 0:
        sys.exit("mutate: modules/ has uncommitted changes; commit or stash them first (a run "
                 "killed outright leaves its mutant there: git checkout modules/)")
    build = os.path.abspath(args.build)
    tree = Tree(build, args.jobs)
    modules = sorted({m.module for m in mutants}, key=[m.module for m in mutants].index)
    for mod in modules:     # builds up to date with the sources, to compare with at the end
        rc, out = tree.rebuild(mod)
        if rc != 0:
            sys.exit(f"mutate: {mod} does not build unchanged:\n{out[-2000:]}")
    before = {mod: tree.digests(mod) for mod in modules}
    plans = {}
    for mod in modules:
        names = select_tests(tree, mod)
        plans[mod], seconds = time_tests(tree, mod, names)
        log(f"{mod}: {len(names)} tests, {seconds:.0f} s unchanged; per mutant in this "
            "order, stopping at the first failure:")
        for group, timeout in plans[mod]:
            log(f"    {' '.join(group)}  (timeout {timeout:.0f} s)")

    def on_signal(signum, frame):
        raise Interrupted(signal.Signals(signum).name)
    for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(s, on_signal)

    dirty = set()           # modules whose builds hold a mutant
    interrupted = None

    def restore(mod):
        path = os.path.join(MODULES, mod + ".cpp")
        with open(path) as f:
            same = f.read() == originals[path]
        if not same:
            with open(path, "w") as f:
                f.write(originals[path])
        if mod in dirty:
            rc, out = tree.rebuild(mod)
            if rc != 0:
                raise RuntimeError(f"rebuilding {mod} after restoring it failed:\n{out[-2000:]}")
            dirty.discard(mod)

    try:
        for m in mutants:
            for other in list(dirty):
                if other != m.module:
                    restore(other)
            path = os.path.join(MODULES, m.file)
            t0 = time.monotonic()
            log(f"[{m.number:2}/{total}] {m.where()}: `{m.orig}` -> `{m.repl}`")
            with open(path, "w") as f:
                f.write(m.apply_to(originals[path]))
            dirty.add(m.module)
            rc, out = tree.rebuild(m.module)
            result, detail = "survived", ""
            if rc != 0:
                errors = [l for l in out.splitlines() if "error" in l.lower()]
                result, detail = "bad", "does not compile: " + (errors[0] if errors else "")
            else:
                for group, timeout in plans[m.module]:
                    rc, out = tree.ctest(group, timeout, stop=True)
                    if rc != 0:
                        name, how = first_failure(out)
                        if name is None:
                            result, detail = "bad", "ctest failed naming no test:\n" + out[-1500:]
                        else:
                            result = "killed"
                            detail = name + ("" if how == "Failed" else f" ({how})")
                        break
            if m.reason and result == "survived":
                result, detail = "equivalent", m.reason
            elif m.reason and result == "killed":
                detail += "; it is marked equivalent: fix the list"
            m.result, m.detail = result, detail
            seconds = time.monotonic() - t0
            text = {"killed": f"killed by {m.detail}", "survived": "survived",
                    "equivalent": "survived (equivalent)", "bad": f"BAD MUTANT, {m.detail}"}
            log(f"        {text[m.result]}  [{seconds:.0f} s]")
            with open(path, "w") as f:
                f.write(originals[path])
    except (KeyboardInterrupt, Interrupted) as e:
        interrupted = str(e) or "SIGINT"
    finally:
        for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(s, signal.SIG_IGN)
        log("restoring the sources and the builds ...")
        problems = []
        for mod in modules:
            try:
                restore(mod)
            except RuntimeError as e:
                problems.append(str(e))
            changed = [p for p, d in tree.digests(mod).items() if before[mod].get(p) != d]
            if changed:
                problems.append("rebuilt with other bytes: " + " ".join(changed))
        if subprocess.run(["git", "diff", "--quiet", "--", "modules/"], cwd=ROOT).returncode != 0:
            problems.append("modules/ differs from the commit (git diff modules/)")
        log("\n".join(problems) if problems else
            "restored: modules/ as committed, every rebuilt module with its old bytes")

    done = [m for m in mutants if m.result]
    count = {r: sum(m.result == r for m in done) for r in ("killed", "survived", "equivalent", "bad")}
    log("")
    for m in done:
        if m.result in ("survived", "bad"):
            log(f"{m.result.upper():9} {m.where()}: `{m.orig}` -> `{m.repl}`")
    if interrupted:
        log(f"interrupted ({interrupted}) after {len(done)} of {len(mutants)} mutants")
    minutes = (time.monotonic() - started) / 60
    line = (f"mutants {len(done)}, killed {count['killed']}, survived {count['survived']}, "
            f"equivalent {count['equivalent']}")
    if count["bad"]:
        line += f", bad {count['bad']} (fix the list)"
    scored = len(done) - count["equivalent"] - count["bad"]
    if scored:
        line += f"; {100 * count['killed'] / scored:.0f}% of the others killed"
    log(f"{line}; {minutes:.1f} minutes")
    return 1 if problems or interrupted or count["bad"] else 0


if __name__ == "__main__":
    sys.exit(main())
