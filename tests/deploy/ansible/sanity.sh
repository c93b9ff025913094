#!/usr/bin/env bash
# The korvel.admin collection's own checks, offline: ansible-test's sanity tests that run on Debian's
# packages (no Python package index is reached), then the module utilities' unit tests with pytest.
# ansible-test wants the collection under .../ansible_collections/korvel/admin, so it runs on a copy.
set -euo pipefail

source=${1:?usage: sanity.sh COLLECTION_DIR}
here=$(dirname "$(readlink -f "$0")")
# Debian's Python, whose packages (ansible-core, pylint, pytest, ...) the tests use, whatever else is on PATH.
python=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
collection=$work/ansible_collections/korvel/admin
mkdir -p "$collection"
cp -r "$source"/. "$collection"
cd "$collection"

export ANSIBLE_HOME=$work/home HOME=$work
tests=(validate-modules pylint pep8 yamllint compile import shebang ansible-doc)
"$python" "$here/ansible-test-offline.py" sanity --local --python "$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')" \
  $(printf -- '--test %s ' "${tests[@]}") --color no
PYTHONPATH=$work "$python" -m pytest -q -p no:cacheprovider tests/unit
