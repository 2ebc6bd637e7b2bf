"""Builds the qola Python package: CMake compiles the native module, this
file writes the wheel. It needs nothing beyond the standard library, CMake
and a C++ compiler, so ``pip install .`` works without a package index."""

from __future__ import annotations

import base64
import hashlib
import io
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import zipfile
from pathlib import Path
from typing import Any, Optional

ROOT = Path(__file__).resolve().parents[2]
PACKAGE = ROOT / "python" / "qola"
SUMMARY = "Lossless compression of 8/16-bit PCM audio: read and write .qla files as numpy arrays"
LICENSE = "BSD-3-Clause"  # SPDX identifier of the LICENSE file, which every wheel carries


def _version() -> str:
    text = (ROOT / "CMakeLists.txt").read_text()
    match = re.search(r"project\(qola\s+VERSION\s+([0-9.]+)", text)
    if match is None:
        raise RuntimeError("no project version in CMakeLists.txt")
    return match.group(1)


def _tag() -> str:
    python = f"cp{sys.version_info.major}{sys.version_info.minor}"
    platform = re.sub(r"[^A-Za-z0-9]", "_", sysconfig.get_platform())
    return f"{python}-{python}{getattr(sys, 'abiflags', '')}-{platform}"


def _metadata() -> str:
    readme = (ROOT / "python" / "README.md").read_text()
    return (f"Metadata-Version: 2.4\nName: qola\nVersion: {_version()}\nSummary: {SUMMARY}\n"
            f"License-Expression: {LICENSE}\nLicense-File: LICENSE\n"
            "Requires-Python: >=3.9\nRequires-Dist: numpy\n"
            f"Description-Content-Type: text/markdown\n\n{readme}")


def _build_module(settings: dict[str, Any]) -> Path:
    """Configures and builds the native module; returns its path."""
    build = Path(settings.get("build-dir", ROOT / "build" / "python-wheel"))
    configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                 f"-DPython_EXECUTABLE={sys.executable}", "-DBUILD_SHARED_LIBS=OFF",
                 "-DBUILD_TESTING=OFF", "-DQOLA_BUILD_GUI=OFF", "-DQOLA_BUILD_BENCH=OFF",
                 "-DQOLA_BUILD_GSTREAMER=OFF", "-DQOLA_BUILD_PYTHON=ON"]
    if shutil.which("ninja") and not (build / "CMakeCache.txt").exists():
        configure += ["-G", "Ninja"]
    subprocess.run(configure, check=True, stdout=sys.stderr)
    subprocess.run(["cmake", "--build", str(build), "--target", "qola_python", "--parallel"],
                   check=True, stdout=sys.stderr)
    suffix = sysconfig.get_config_var("EXT_SUFFIX")
    module = build / "python" / "qola" / f"_qola{suffix}"
    if not module.exists():
        raise RuntimeError(f"{module} was not built (are the Python and pybind11 development files installed?)")
    return module


def _record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def build_wheel(wheel_directory: str, config_settings: Optional[dict[str, Any]] = None,
                metadata_directory: Optional[str] = None) -> str:
    module = _build_module(config_settings or {})
    version = _version()
    name = f"qola-{version}-{_tag()}.whl"
    dist_info = f"qola-{version}.dist-info"
    files = {f"qola/{path.name}": path.read_bytes() for path in sorted(PACKAGE.iterdir())
             if path.is_file() and path.suffix in (".py", ".pyi", ".typed")}
    files[f"qola/{module.name}"] = module.read_bytes()
    files[f"{dist_info}/METADATA"] = _metadata().encode()
    files[f"{dist_info}/licenses/LICENSE"] = (ROOT / "LICENSE").read_bytes()
    files[f"{dist_info}/WHEEL"] = (f"Wheel-Version: 1.0\nGenerator: qola_build\nRoot-Is-Purelib: false\n"
                                   f"Tag: {_tag()}\n").encode()
    records = [_record_line(path, data) for path, data in files.items()]
    records.append(f"{dist_info}/RECORD,,")
    files[f"{dist_info}/RECORD"] = ("\n".join(records) + "\n").encode()
    with zipfile.ZipFile(Path(wheel_directory) / name, "w", zipfile.ZIP_DEFLATED) as wheel:
        for path, data in files.items():
            info = zipfile.ZipInfo(path, date_time=(2020, 1, 1, 0, 0, 0))
            info.external_attr = (0o755 if path.endswith(".so") else 0o644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
    return name


def build_sdist(sdist_directory: str, config_settings: Optional[dict[str, Any]] = None) -> str:
    """The repository's tracked files (or every file outside build/ without git)."""
    version = _version()
    name = f"qola-{version}.tar.gz"
    try:
        listed = subprocess.run(["git", "ls-files", "-z"], cwd=ROOT, check=True, capture_output=True).stdout
        paths = [Path(p) for p in listed.decode().split("\0") if p]
    except (OSError, subprocess.CalledProcessError):
        paths = [p.relative_to(ROOT) for p in ROOT.rglob("*")
                 if p.is_file() and p.relative_to(ROOT).parts[0] not in ("build", ".git")]
    with tarfile.open(Path(sdist_directory) / name, "w:gz") as archive:
        for path in paths:
            if (ROOT / path).is_file():
                archive.add(ROOT / path, arcname=f"qola-{version}/{path}")
        pkg_info = _metadata().encode()
        info = tarfile.TarInfo(f"qola-{version}/PKG-INFO")
        info.size = len(pkg_info)
        archive.addfile(info, io.BytesIO(pkg_info))
    return name


def get_requires_for_build_wheel(config_settings: Optional[dict[str, Any]] = None) -> list[str]:
    return []


def get_requires_for_build_sdist(config_settings: Optional[dict[str, Any]] = None) -> list[str]:
    return []


if __name__ == "__main__":  # python3 python/backend/qola_build.py DIR: a wheel without pip
    target = Path(sys.argv[1] if len(sys.argv) > 1 else ROOT / "dist")
    target.mkdir(parents=True, exist_ok=True)
    print(build_wheel(str(target)))
