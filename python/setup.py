"""Builds the module from the library's own sources in this repository, one
abi3 extension (Python's stable ABI from 3.11 on) for every later Python:

    pip install --no-build-isolation ./python
"""

import glob
import os
import re

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(here)

# The version that CMakeLists.txt gives the whole project.
with open(os.path.join(root, "CMakeLists.txt"), encoding="utf-8") as cmake:
    version = re.search(r"^\s*VERSION\s+([0-9.]+)\s*$", cmake.read(), re.MULTILINE).group(1)

sources = glob.glob(os.path.join(here, "_*.cpp")) + glob.glob(os.path.join(root, "src", "*.cpp"))



class build_ext_for_the_compiler(build_ext):
    """Clang makes decrypting's tables at compile time only when allowed more
    steps than by default; GCC needs no such flag and knows none."""

    def build_extensions(self):
        if "clang" in os.path.basename(self.compiler.compiler_so[0]):
            for extension in self.extensions:
                extension.extra_compile_args.append("-fconstexpr-steps=16777216")
        super().build_extensions()


setup(
    version=version,
    cmdclass={"build_ext": build_ext_for_the_compiler},
    packages=["encrypt"],
    package_data={"encrypt": ["py.typed", "_encrypt.pyi"]},
    ext_modules=[
        Extension(
            "encrypt._encrypt",
            sources=sorted(os.path.relpath(path, here) for path in sources),
            include_dirs=[os.path.relpath(os.path.join(root, folder), here) for folder in ("include", "src")],
            define_macros=[("Py_LIMITED_API", "0x030B0000"), ("ENCRYPT_VERSION", '"%s"' % version)],
            extra_compile_args=["-std=c++20", "-O2", "-fno-exceptions", "-fvisibility=hidden", "-fno-math-errno"],
            language="c++",
            py_limited_api=True,
        )
    ],
    options={"bdist_wheel": {"py_limited_api": "cp311"}},
)
