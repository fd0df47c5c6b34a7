#!/usr/bin/env python3
"""The files MATLAB reads beside the modules, checked where they ship.

  matlab_files_test.py signatures SOURCE_DIR OCTAVE_CLI MODULE_DIR FOLDER...
      help/functionSignatures.json parses with no key given twice; each function of
      modules/ has an entry whose inputs and outputs are those of its help file's
      function line, all double; each FOLDER holds it beside the functions and in
      resources/; and the modules in MODULE_DIR (the Octave build) take a call with
      that many inputs and outputs past their count check, and refuse one input more.
  matlab_files_test.py mpackage SOURCE_DIR FOLDER...
      FOLDER/resources/mpackage.json parses with no key given twice and holds the
      package manager's fields: the project's version, the toolbox file's identifier,
      no dependencies, the package root as the folder on the path, and as its one
      platform the platform of the modules the folder holds.
"""
import json
import os
import re
import subprocess
import sys
import uuid

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def refuse_duplicates(pairs):
    keys = [k for k, _ in pairs]
    for k in set(keys):
        if keys.count(k) > 1:
            raise ValueError("key %r given twice" % k)
    return dict(pairs)


def load(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f, object_pairs_hook=refuse_duplicates)


def modules(src):
    return sorted(f[:-4] for f in os.listdir(os.path.join(src, "modules")) if f.endswith(".cpp"))


def help_call(src, name):
    """([outputs], [inputs]) of the help file's function line."""
    with open(os.path.join(src, "help", name + ".m"), encoding="utf-8") as f:
        line = f.readline()
    m = re.match(r"function\s+(?:\[([^\]]*)\]|(\w+))\s*=\s*(\w+)\s*\(([^)]*)\)", line)
    if not m or m.group(3) != name:
        raise ValueError("help/%s.m: no function line for %s: %r" % (name, name, line))
    outs = m.group(1) if m.group(1) is not None else m.group(2)
    split = lambda s: [w.strip() for w in s.split(",") if w.strip()]
    return split(outs), split(m.group(4))


def signatures(src, octave, module_dir, folders):
    path = os.path.join(src, "help", "functionSignatures.json")
    sig = load(path)
    if sig.get("_schemaVersion") != "1.0.0":
        fail("_schemaVersion is %r, want '1.0.0'" % sig.get("_schemaVersion"))
    names = modules(src)
    listed = sorted(k for k in sig if not k.startswith("_"))
    if listed != names:
        fail("functions %s, the modules are %s" % (listed, names))
    counts = {}
    for name in names:
        entry = sig.get(name, {})
        if sorted(entry) != ["inputs", "outputs"]:
            fail("%s: properties %s, want inputs and outputs" % (name, sorted(entry)))
        outs, ins = help_call(src, name)
        got_ins = [a.get("name") for a in entry.get("inputs", [])]
        got_outs = [a.get("name") for a in entry.get("outputs", [])]
        if got_ins != ins:
            fail("%s: inputs %s, the help file's %s" % (name, got_ins, ins))
        if got_outs != outs:
            fail("%s: outputs %s, the help file's %s" % (name, got_outs, outs))
        for a in entry.get("inputs", []):
            if a.get("kind") != "required" or a.get("type") != ["double"] or not a.get("purpose"):
                fail("%s: input %s is not a required double with a purpose" % (name, a.get("name")))
        for a in entry.get("outputs", []):
            if a.get("type") != ["double"]:
                fail("%s: output %s is not double" % (name, a.get("name")))
        counts[name] = (len(got_ins), len(got_outs))
    with open(path, "rb") as f:
        source = f.read()
    for folder in folders:
        for copy in ("functionSignatures.json", os.path.join("resources", "functionSignatures.json")):
            p = os.path.join(folder, copy)
            if not os.path.isfile(p):
                fail("%s missing" % p)
                continue
            with open(p, "rb") as f:
                if f.read() != source:
                    fail("%s differs from help/functionSignatures.json" % p)
    # Each module called with the declared counts, then with one input more: the first
    # must pass the count check ("Needs ..."), the second must not.
    calls = []
    for name, (n_in, n_out) in counts.items():
        for extra in (0, 1):
            calls.append("try, in = num2cell (zeros (1, %d)); [o{1:%d}] = %s (in{:}); msg = '';"
                         " catch e, msg = e.message; end; printf ('%s %d %%d\\n', "
                         "numel (strfind (msg, 'Needs ')) > 0);"
                         % (n_in + extra, n_out, name, name, extra))
    run = subprocess.run([octave, "--no-gui", "--norc", "--quiet", "--no-history",
                          "--path", module_dir, "--eval", " ".join(calls)],
                         capture_output=True, text=True)
    if run.returncode != 0:
        fail("octave: %s" % run.stderr.strip())
    answers = dict((" ".join(l.split()[:2]), l.split()[2]) for l in run.stdout.splitlines()
                   if len(l.split()) == 3)
    for name, (n_in, n_out) in counts.items():
        if answers.get("%s 0" % name) != "0":
            fail("%s with %d inputs and %d outputs fails the count check" % (name, n_in, n_out))
        if answers.get("%s 1" % name) != "1":
            fail("%s with %d inputs passes the count check" % (name, n_in + 1))
    print("signatures: %d functions, %d folders" % (len(counts), len(folders)))


PLATFORMS = {".mexa64": "linux", ".mexw64": "windows", ".mexmaci64": "macos", ".mexmaca64": "macos"}


def mpackage(src, folders):
    with open(os.path.join(src, "CMakeLists.txt"), encoding="utf-8") as f:
        version = re.search(r"project\(mexmodules VERSION ([0-9.]+)", f.read()).group(1)
    with open(os.path.join(src, "scripts", "package_toolbox.m"), encoding="utf-8") as f:
        toolbox_id = re.search(r"ToolboxOptions\(\w+, '([0-9a-f-]+)'\)", f.read()).group(1)
    for folder in folders:
        path = os.path.join(folder, "resources", "mpackage.json")
        try:
            pkg = load(path)
        except (OSError, ValueError) as e:
            fail("%s: %s" % (path, e))
            continue
        want = {"name": "mexmodules", "version": version, "id": toolbox_id, "formerNames": [],
                "folders": [], "dependencies": [], "releaseCompatibility": ">=R2024b"}
        for key, value in want.items():
            if pkg.get(key) != value:
                fail("%s: %s is %r, want %r" % (path, key, pkg.get(key), value))
        try:
            if str(uuid.UUID(pkg.get("id", ""))) != pkg.get("id"):
                fail("%s: id %r is not a UUID in its usual form" % (path, pkg.get("id")))
        except ValueError:
            fail("%s: id %r is not a UUID" % (path, pkg.get("id")))
        for key in ("displayName", "summary", "description"):
            if not isinstance(pkg.get(key), str) or not pkg.get(key):
                fail("%s: no %s" % (path, key))
        provider = pkg.get("provider")
        if not isinstance(provider, dict) or not provider.get("name"):
            fail("%s: provider has no name" % path)
        if not re.fullmatch(r"[0-9]+\.[0-9]+\.[0-9]+", str(pkg.get("schemaVersion"))):
            fail("%s: schemaVersion %r" % (path, pkg.get("schemaVersion")))
        kinds = sorted({PLATFORMS[os.path.splitext(f)[1]] for f in os.listdir(folder)
                        if os.path.splitext(f)[1] in PLATFORMS})
        got = pkg.get("supportedPlatforms")
        if len(kinds) != 1 or got != [{"platform": kinds[0], "architectures": ["any"]}]:
            fail("%s: supportedPlatforms %r, the folder holds modules for %s" % (path, got, kinds))
        unknown = sorted(set(pkg) - set(want) - {"displayName", "summary", "description",
                                                 "provider", "schemaVersion", "supportedPlatforms"})
        if unknown:
            fail("%s: fields %s not checked here" % (path, unknown))
    print("mpackage: %d folders, version %s, id %s" % (len(folders), version, toolbox_id))


def main(argv):
    folders = argv[5:] if argv[1:2] == ["signatures"] else argv[3:]
    for folder in folders:
        if not os.path.isdir(folder):
            print("not built: " + folder)
            return 77
    if len(argv) >= 5 and argv[1] == "signatures":
        signatures(argv[2], argv[3], argv[4], argv[5:])
    elif len(argv) >= 3 and argv[1] == "mpackage":
        mpackage(argv[2], argv[3:])
    else:
        sys.exit(__doc__)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
