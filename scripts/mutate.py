#!/usr/bin/env python3
"""Mutation run: applies each mutant of tests/mutants.txt to its module, one at a time,
rebuilds that module's builds for the mutant's architecture, runs every test named
after the module that runs those builds, and says which test killed the mutant or that
it survived.

    scripts/mutate.py [--arch x86-64|arm64] [--list tests/mutants.txt] [--only REGEX]
                      [--check] [--jobs N] [--release DIR] [--macos-arm64 DIR]
                      [--linux-arm64 DIR]

A mutant is x86-64's unless its line says `on arm64`, and the run has a part for each
architecture:
- x86-64 rebuilds the release tree (the delivered module, the compared builds, the
  Octave module) and runs its tests, but the macOS suites, which run the macOS x86-64
  bundles that no part rebuilds;
- arm64 rebuilds the macOS arm64 tree (the .mexmaca64 bundles and their compared
  builds) and the Linux AArch64 tree (its modules and compared builds), and runs the
  latter tree's tests, which run both under qemu-aarch64.
Tests are chosen by a regular expression on the module's name (Permanent.*,
Paths.PermanentOnRandomTables, arm64.Paths.Permanent..., octave.permanent, and
whatever runs are added later under such names), but those labelled slow, which the
trees' runs leave out. A first run on the unchanged trees
must pass; its times order the tests cheapest first, and each mutant stops at its
first failing test. The sources and the builds are restored at the end, also when the
run is interrupted, and checked: modules/ and host/ as committed, each rebuilt file
with its old bytes. The counts and times are given per architecture.

A mutant of a host header (host/NAME.h, listed in HEADERS) rebuilds the test programs
that check it, and with them the modules, and runs the tests named after it.
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
# The host headers that mutants may change: the test programs that check each, and
# the tests besides those named after it that run them (the emulated processors').
HEADERS = {"cpu_features": (["paths_tests", "module_tests"], r"|^(qemu64|Haswell)\.")}

LINE = re.compile(r"^(?P<file>[\w./]+)(?: on (?P<arch>[\w-]+))?(?: after `(?P<anchor>[^`]+)`)?: "
                  r"`(?P<orig>[^`]+)` -> `(?P<repl>[^`]*)`"
                  r"(?:\s+equivalent:\s*(?P<reason>\S.*?))?\s*$")
ARCHES = ("x86-64", "arm64")
CHEAP = 1.0            # seconds: tests below this run in one ctest call, in tree order
RESULTS = ("killed", "survived", "equivalent", "bad")


class ListError(Exception):
    pass


def source_path(file):
    """A file of modules/, or host/NAME.h."""
    return os.path.join(ROOT, file) if "/" in file else os.path.join(MODULES, file)


def module_names():
    return sorted(os.path.splitext(f)[0] for f in os.listdir(MODULES) if f.endswith(".cpp"))


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
    def __init__(self, number, src_line, file, arch, anchor, orig, repl, reason):
        self.number, self.src_line = number, src_line
        self.file, self.arch = file, arch
        self.anchor, self.orig, self.repl = anchor, orig, repl
        self.reason = reason
        self.module = os.path.splitext(os.path.basename(file))[0]
        self.line = None        # line of the module it changes
        self.result = None      # one of RESULTS
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
            name = os.path.splitext(os.path.basename(m["file"]))[0]
            known = (m["file"] == f"host/{name}.h" and name in HEADERS) if "/" in m["file"] \
                else True
            if not known or not os.path.isfile(source_path(m["file"])):
                raise ListError(f"{path}:{number}: no modules/{m['file']}, nor a header of "
                                "HEADERS")
            arch = m["arch"] or ARCHES[0]
            if arch not in ARCHES:
                raise ListError(f"{path}:{number}: no architecture {arch} (" +
                                ", ".join(ARCHES) + ")")
            mutants.append(Mutant(len(mutants) + 1, number, m["file"], arch, m["anchor"],
                                  m["orig"], m["repl"], m["reason"]))
    return mutants


def name_regex(module):
    """permanent -> [Pp]ermanent, expandTally -> [Ee]xpand[Tt]ally,
    cpu_features -> [Cc]pu[Ff]eatures."""
    out = ""
    for i, c in enumerate(module):
        start = i == 0 or c.isupper() or module[i - 1] == "_"
        if c != "_":
            out += f"[{c.upper()}{c.lower()}]" if c.isalpha() and start else re.escape(c)
    return out


def cache_value(build, key):
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith(key + ":"):
                return line.split("=", 1)[1].strip()
    return ""


class Tree:
    """A configured build tree, whose builds of a module a mutant is rebuilt into."""

    def __init__(self, build, jobs, made_by):
        self.build, self.jobs = build, jobs
        rc, out = run(["cmake", "--build", build, "--target", "help"])
        if rc != 0:
            sys.exit(f"mutate: {build} is not a configured build tree ({made_by})")
        self.targets = set(re.findall(r"^\.\.\. (\S+)", out, re.M))
        self.mex_dir = cache_value(build, "MEX_OUTPUT_DIR")
        self.octave_dir = os.path.join(build, "octave")

    def module_targets(self, module):
        names = HEADERS[module][0] if module in HEADERS else [
            module, module + "_baseline", module + "_avx2", module + "_portable",
            "octave_modules"]
        return [t for t in names if t in self.targets]

    def built_files(self, module):
        files = []
        for d in (self.mex_dir, os.path.join(self.build, "modules_baseline"),
                  os.path.join(self.build, "modules_avx2"),
                  os.path.join(self.build, "modules_portable"), self.octave_dir):
            for m in module_names() if module in HEADERS else [module]:
                files += sorted(glob.glob(os.path.join(d, m + ".mex*")))
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

    def list_tests(self, regex, exclude):
        rc, out = run(["ctest", "-N", "-LE", "slow", "-R", regex]
                      + (["-E", exclude] if exclude else []), cwd=self.build)
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


class Part:
    """The mutants of one architecture: the trees they are rebuilt in, the tree whose
    tests run those builds, and the suites each module's tests must include ({cap}:
    the module's name capitalised)."""

    def __init__(self, arch, trees, tests, exclude, suites):
        self.arch, self.trees, self.exclude, self.suites = arch, trees, exclude, suites
        self.tests = tests      # the Tree whose ctest runs the builds
        self.plans = {}         # module -> groups of tests, each with its timeout
        self.dirty = set()      # modules whose builds hold a mutant
        self.before = {}        # module -> digests of its unchanged builds
        self.seconds = 0.0

    def rebuild(self, module):
        for tree in self.trees:
            rc, out = tree.rebuild(module)
            if rc != 0:
                return rc, out
        return 0, ""

    def digests(self, module):
        out = {}
        for tree in self.trees:
            out.update(tree.digests(module))
        return out

    def select_tests(self, module):
        names = self.tests.list_tests(name_regex(module) + HEADERS.get(module, ("", ""))[1],
                                      self.exclude)
        cap = module[0].upper() + module[1:]
        missing = [k for k, rx in self.suites.items() if module not in HEADERS and
                   not any(re.search(rx.format(cap=cap), n) for n in names)]
        if not names:
            missing = ["tests named after it"]
        if missing:
            sys.exit(f"mutate: the {self.arch} tests chosen for {module} lack the "
                     + ", ".join(missing) + ": " + " ".join(names))
        return names

    def prepare(self, module):
        """Builds the module unchanged and runs its tests; keeps the groups to run per
        mutant, cheapest first, each with its timeout."""
        rc, out = self.rebuild(module)
        if rc != 0:
            sys.exit(f"mutate: {module} does not build unchanged for {self.arch}:\n{out[-2000:]}")
        self.before[module] = self.digests(module)
        names = self.select_tests(module)
        rc, out = self.tests.ctest(names, 3600, stop=False)
        times = {n: float(t) for n, t in
                 re.findall(r"Test\s+#\d+: (\S+) \.+\s+Passed\s+([\d.]+) sec", out)}
        failed = [n for n in names if n not in times]
        if rc != 0 or failed:
            sys.exit(f"mutate: before any mutant, these {self.arch} {module} tests fail: "
                     + " ".join(failed) + "\n" + out[-3000:])
        cheap = [n for n in names if times[n] < CHEAP]
        groups = [cheap] if cheap else []
        groups += [[n] for n in sorted((n for n in names if times[n] >= CHEAP), key=times.get)]
        self.plans[module] = [(g, max(60.0, 10 * max(times[n] for n in g) + 30)) for g in groups]
        log(f"{self.arch} {module}: {len(names)} tests, {sum(times.values()):.0f} s unchanged; "
            "per mutant in this order, stopping at the first failure:")
        for group, timeout in self.plans[module]:
            log(f"    {' '.join(group)}  (timeout {timeout:.0f} s)")

    def try_mutant(self, m):
        """Rebuilds m's module, which holds m, and runs its tests: the result and detail."""
        self.dirty.add(m.module)
        rc, out = self.rebuild(m.module)
        if rc != 0:
            errors = [l for l in out.splitlines() if "error" in l.lower()]
            return "bad", "does not compile: " + (errors[0] if errors else "")
        for group, timeout in self.plans[m.module]:
            rc, out = self.tests.ctest(group, timeout, stop=True)
            if rc != 0:
                name, how = first_failure(out)
                if name is None:
                    return "bad", "ctest failed naming no test:\n" + out[-1500:]
                return "killed", name + ("" if how == "Failed" else f" ({how})")
        return "survived", ""

    def restore(self, module):
        """Rebuilds the module's builds from the restored source, if they hold a mutant."""
        if module in self.dirty:
            rc, out = self.rebuild(module)
            if rc != 0:
                raise RuntimeError(f"rebuilding {module} for {self.arch} after restoring it "
                                   f"failed:\n{out[-2000:]}")
            self.dirty.discard(module)


def make_part(arch, args):
    def tree(build, made_by):
        return Tree(os.path.abspath(build), args.jobs, made_by)

    if arch == "x86-64":
        release = tree(args.release, "make dist-linux")
        return Part(arch, [release], release, exclude="macos",
                    suites={"module suite": r"^{cap}\.", "path suite": r"^Paths\.",
                            "largest cases": r"^Largest\.", "Octave suite": r"^octave\."})
    linux = tree(args.linux_arm64, "make arm64")
    return Part(arch, [tree(args.macos_arm64, "make dist-macos"), linux], linux, exclude=None,
                suites={"module suite": r"^arm64\.{cap}\.", "path suite": r"^arm64\.Paths\.",
                        "macOS module suite": r"^macos-arm64\.{cap}\.",
                        "macOS path suite": r"^macos-arm64\.Paths\."})


def counts(mutants):
    return {r: sum(m.result == r for m in mutants) for r in RESULTS}


def figures(mutants):
    c = counts(mutants)
    line = (f"mutants {len(mutants)}, killed {c['killed']}, survived {c['survived']}, "
            f"equivalent {c['equivalent']}")
    if c["bad"]:
        line += f", bad {c['bad']} (fix the list)"
    scored = len(mutants) - c["equivalent"] - c["bad"]
    if scored:
        line += f"; {100 * c['killed'] / scored:.0f}% of the others killed"
    return line


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--arch", choices=ARCHES, help="run this architecture's mutants only")
    ap.add_argument("--list", default=os.path.join(ROOT, "tests", "mutants.txt"))
    ap.add_argument("--only", help="run the mutants whose module, file:line or text match")
    ap.add_argument("--check", action="store_true", help="only check that each mutant applies")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    ap.add_argument("--release", default=os.path.join(ROOT, "build", "release"),
                    help="the x86-64 tree")
    ap.add_argument("--macos-arm64", default=os.path.join(ROOT, "build", "macos-arm64"),
                    help="the tree of the macOS arm64 bundles")
    ap.add_argument("--linux-arm64", default=os.path.join(ROOT, "build", "arm64"),
                    help="the Linux AArch64 tree, whose tests run the arm64 builds")
    args = ap.parse_args()
    started = time.monotonic()

    try:
        mutants = read_list(args.list)
        originals = {}
        paths = {m.module: source_path(m.file) for m in mutants}
        for m in mutants:
            path = paths[m.module]
            if path not in originals:
                with open(path) as f:
                    originals[path] = f.read()
            m.apply_to(originals[path])
    except ListError as e:
        sys.exit(f"mutate: {e}")
    total = len(mutants)
    if args.arch:
        mutants = [m for m in mutants if m.arch == args.arch]
    if args.only:
        rx = re.compile(args.only)
        mutants = [m for m in mutants
                   if rx.search(m.module) or rx.search(m.where()) or rx.search(m.orig)]
    mutants.sort(key=lambda m: ARCHES.index(m.arch))     # one part after the other
    if args.check:
        for m in mutants:
            log(f"{m.number:3} {m.arch:6} {m.where():20} `{m.orig}` -> `{m.repl}`"
                + ("  (equivalent)" if m.reason else ""))
        log(f"{len(mutants)} mutants apply")
        return 0

    if subprocess.run(["git", "diff", "--quiet", "--", "modules/", "host/"], cwd=ROOT).returncode != 0:
        sys.exit("mutate: modules/ or host/ has uncommitted changes; commit or stash them first "
                 "(a run killed outright leaves its mutant there: git checkout modules/ host/)")
    parts = {}
    for arch in ARCHES:     # trees up to date with the sources, tests timed on them
        todo = [m for m in mutants if m.arch == arch]
        if todo:
            t0 = time.monotonic()
            parts[arch] = part = make_part(arch, args)
            for mod in sorted({m.module for m in todo}, key=[m.module for m in todo].index):
                part.prepare(mod)
            part.seconds += time.monotonic() - t0

    def on_signal(signum, frame):
        raise Interrupted(signal.Signals(signum).name)
    for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(s, on_signal)

    def restore_source(mod):
        path = paths[mod]
        with open(path) as f:
            same = f.read() == originals[path]
        if not same:
            with open(path, "w") as f:
                f.write(originals[path])

    interrupted = None
    try:
        for m in mutants:
            part = parts[m.arch]
            for other in parts.values():    # the builds of other modules and parts
                for mod in list(other.dirty):
                    if other is not part or mod != m.module:
                        t0 = time.monotonic()
                        restore_source(mod)
                        other.restore(mod)
                        other.seconds += time.monotonic() - t0
            t0 = time.monotonic()
            path = paths[m.module]
            log(f"[{m.number:2}/{total}] {m.arch} {m.where()}: `{m.orig}` -> `{m.repl}`")
            with open(path, "w") as f:
                f.write(m.apply_to(originals[path]))
            result, detail = part.try_mutant(m)
            if m.reason and result == "survived":
                result, detail = "equivalent", m.reason
            elif m.reason and result == "killed":
                detail += "; it is marked equivalent: fix the list"
            m.result, m.detail = result, detail
            seconds = time.monotonic() - t0
            part.seconds += seconds
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
        for part in parts.values():
            t0 = time.monotonic()
            for mod in part.before:
                restore_source(mod)
                try:
                    part.restore(mod)
                except RuntimeError as e:
                    problems.append(str(e))
                changed = [p for p, d in part.digests(mod).items() if part.before[mod].get(p) != d]
                if changed:
                    problems.append("rebuilt with other bytes: " + " ".join(changed))
            part.seconds += time.monotonic() - t0
        if subprocess.run(["git", "diff", "--quiet", "--", "modules/", "host/"],
                          cwd=ROOT).returncode != 0:
            problems.append("modules/ or host/ differs from the commit (git diff modules/ host/)")
        log("\n".join(problems) if problems else
            "restored: modules/ and host/ as committed, every rebuilt module with its old bytes")

    done = [m for m in mutants if m.result]
    log("")
    for m in done:
        if m.result in ("survived", "bad"):
            log(f"{m.result.upper():9} {m.arch} {m.where()}: `{m.orig}` -> `{m.repl}`")
    if interrupted:
        log(f"interrupted ({interrupted}) after {len(done)} of {len(mutants)} mutants")
    for arch, part in parts.items():
        ran = [m for m in done if m.arch == arch]
        log(f"{arch}: {figures(ran)}; {part.seconds / 60:.1f} minutes")
        for mod in part.before:
            log(f"    {mod}: {figures([m for m in ran if m.module == mod])}")
    log(f"{figures(done)}; {(time.monotonic() - started) / 60:.1f} minutes")
    return 1 if problems or interrupted or counts(done)["bad"] else 0


if __name__ == "__main__":
    sys.exit(main())
