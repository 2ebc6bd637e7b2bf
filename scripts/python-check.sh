#!/usr/bin/env bash
# Builds the Python package's wheel with pip and no package index, installs
# it into a fresh virtual environment that sees the system's numpy and
# pytest, checks that it carries its licence, uses it and runs the package's
# tests against the installed copy; installs the source tree with pip
# install . into another fresh environment and runs the README's line there.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
python=${QOLA_PYTHON:-/usr/bin/python3}
work=${TMPDIR:-/tmp}/qola-python-check
rm -rf "$work"
"$python" -m venv --system-site-packages "$work/venv"
venv=$work/venv/bin
"$venv/pip" wheel --quiet --no-index --no-deps --wheel-dir "$work/dist" .
"$venv/pip" install --quiet --no-index "$work"/dist/qola-*.whl

cd "$work"
cp "$root/samples/demo.wav" .
"$venv/python" - <<'PY'
import qola, sys
from importlib import metadata
assert qola.__file__.startswith(sys.prefix), qola.__file__
# The licence travels with the wheel: its SPDX name and its text.
assert metadata.metadata("qola")["License-Expression"] == "BSD-3-Clause"
assert any(f.name == "LICENSE" for f in metadata.files("qola")), "the wheel holds no LICENSE"
report = qola.compress_file("demo.wav", "demo.wav.qla")
data, samplerate = qola.read("demo.wav.qla")
print(f"qola {qola.library_version()}: {data.shape[0]} frames x {data.shape[1]} channels "
      f"{data.dtype} at {samplerate} Hz, ratio {report.ratio:.3f}")
PY
# The README's way: pip install . from the source tree into another fresh
# environment (the backend reuses the wheel's build folder), then its line.
"$python" -m venv --system-site-packages "$work/venv-source"
(cd "$root" && "$work/venv-source/bin/pip" install --quiet --no-index .)
(cd "$root" && "$work/venv-source/bin/python" -c \
  "import qola, tempfile, os; out = os.path.join(tempfile.mkdtemp(), 'demo.wav.qla'); qola.compress_file('samples/demo.wav', out); print(qola.read(out))")

"$venv/python" -m pytest -q -p no:cacheprovider "$root/python/tests"
echo "python check: wheel built offline and installed in a fresh environment, pip install . in another, tests pass"
