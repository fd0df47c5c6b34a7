#!/bin/sh
# The build job, in a debian:12 container as root: what make test needs before it can
# install the rest itself (make; node and npm for the workflow lint), then .ci/run.
set -eu
cd "$(dirname "$0")/.."
# The checkout belongs to the runner's user, and git reads no repository of another
# owner; the build takes its SOURCE_DATE_EPOCH from the last commit.
git config --global --add safe.directory "$PWD"
git log -1 --format='last commit %H, %ct'
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    make nodejs npm >/dev/null
exec sh .ci/run
