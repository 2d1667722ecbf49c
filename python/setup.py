"""Builds the module from the library's own sources in this repository, one
abi3 extension (Python's stable ABI from 3.11 on) for every later Python:

    pip install --no-build-isolation ./python
"""

import glob
import os
import re

from setuptools import Extension, setup

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(here)


def project_version():
    """The version that CMakeLists.txt gives the whole project."""
    with open(os.path.join(root, "CMakeLists.txt"), encoding="utf-8") as cmake:
        return re.search(r"^\s*VERSION\s+([0-9.]+)\s*$", cmake.read(), re.MULTILINE).group(1)


def relative(path):
    return os.path.relpath(path, here)


version = project_version()
library_sources = sorted(glob.glob(os.path.join(root, "src", "*.cpp")))

setup(
    version=version,
    packages=["encrypt"],
    package_data={"encrypt": ["py.typed", "_encrypt.pyi"]},
    ext_modules=[
        Extension(
            "encrypt._encrypt",
            sources=[relative(os.path.join(here, name)) for name in ("_encrypt.cpp", "_decrypt.cpp")]
            + [relative(p) for p in library_sources],
            include_dirs=[relative(os.path.join(root, "include")), relative(os.path.join(root, "src"))],
            define_macros=[("Py_LIMITED_API", "0x030B0000"), ("ENCRYPT_VERSION", '"%s"' % version)],
            extra_compile_args=["-std=c++20", "-O2", "-fno-exceptions", "-fvisibility=hidden"],
            language="c++",
            py_limited_api=True,
        )
    ],
    options={"bdist_wheel": {"py_limited_api": "cp311"}},
)
