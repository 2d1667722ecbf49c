#!/usr/bin/env bash
# The JavaScript stage: builds the WebAssembly module and the npm package
# encrypt-wasm, runs its tests against the native build, packs it and uses
# the tarball from a scratch project by import and by require, and drives
# the page in headless Chromium. Under CI (CI set) it installs what a fresh
# Debian 12 machine lacks; elsewhere it skips, with a warning, when a tool
# is missing. Exits non-zero on the first failure.
set -euo pipefail
if [[ -n ${ENCRYPT_JS_APART:-} ]]; then
    echo "the JavaScript stage runs apart (ENCRYPT_JS_APART is set)"
    exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
cd "$here"

step() { printf '\n== [js %ds] %s\n' "$SECONDS" "$*"; }

# Debian's package of each tool; emscripten brings its own clang and node.
declare -A package_of=([emcc]=emscripten [node]=nodejs [npm]=npm [chromium]=chromium)
missing=()
for tool in emcc node npm chromium; do
    command -v "$tool" > /dev/null || missing+=("$tool")
done
if ((${#missing[@]})); then
    if [[ -z ${CI:-} ]]; then
        packages=()
        for tool in "${missing[@]}"; do packages+=("${package_of[$tool]}"); done
        echo "WARNING: the JavaScript stage is SKIPPED: ${missing[*]} not found" \
            "(apt-get install -y ${packages[*]})" >&2
        exit 0
    fi
    packages=()
    for tool in "${missing[@]}"; do packages+=("${package_of[$tool]}"); done
    step "installing ${packages[*]}"
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${packages[@]}"
fi
node_major=$(node -p 'process.versions.node.split(".")[0]')
((node_major >= 18)) || { echo "node $(node --version) is too old: the package needs 18 or later"; exit 1; }
echo "node $(node --version), npm $(npm --version), $(emcc --version | head -n 1), $(chromium --version 2>/dev/null | tail -n 1)"

# The native build the tests compare with: ENCRYPT_LINES, or the release tree's.
lines=${ENCRYPT_LINES:-$root/build/release/encrypt-lines}
if [[ ! -x $lines ]]; then
    step "the native encrypt-lines (release build)"
    (cd "$root" && cmake --preset release > /dev/null && cmake --build --preset release --target encrypt-lines)
fi

step "development dependencies (puppeteer-core, no browser download)"
PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --prefer-offline

step "the WebAssembly module and the package's dist/"
npm run --silent build
node -e '
const wasm = require("fs").readFileSync("dist/encrypt.wasm");
const module = new WebAssembly.Module(wasm);
const imports = WebAssembly.Module.imports(module);
console.log("imports:", JSON.stringify(imports));
console.log("exports:", WebAssembly.Module.exports(module).map((e) => e.name).join(" "));
if (imports.length !== 0) process.exit(1);'

step "node --test: the package against $lines; beside it, the page in headless Chromium"
# The browser waits on the page and the 64 MiB test on fresh memory more
# than either works: run together, they take little more than the longer.
browser_log=$(mktemp)
npm run --silent test:browser > "$browser_log" 2>&1 &
browser=$!
# Two test files at a time where node can (20.10 on), for the same reason.
concurrency=()
node --test-concurrency=2 -e '' 2> /dev/null && concurrency=(--test-concurrency=2)
status=0
ENCRYPT_LINES=$lines node --test "${concurrency[@]}" --expose-gc test/*.test.mjs || status=$?
browser_status=0
wait "$browser" || browser_status=$?
step "the page in headless Chromium (run beside the node tests)"
cat "$browser_log"
rm -f "$browser_log"
((status == 0 && browser_status == 0)) || exit 1

step "npm pack, and the tarball installed offline into a scratch project, by import and by require"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
tarball=$scratch/$(npm pack --silent --pack-destination "$scratch")
listing=$(tar -tzf "$tarball" | sort | tr '\n' ' ')
echo "$(basename "$tarball"): $listing"
expected="package/LICENSE package/README.md package/dist/encrypt.wasm package/dist/index.cjs package/dist/index.d.cts package/dist/index.d.ts package/dist/index.mjs package/dist/slim.cjs package/dist/slim.d.cts package/dist/slim.d.ts package/dist/slim.mjs package/package.json "
[[ $listing == "$expected" ]] || { echo "the tarball should hold exactly: $expected"; exit 1; }
mkdir "$scratch/app"
cp test/consumer/* "$scratch/app/"
(cd "$scratch/app" && npm install --offline --no-audit --no-fund "$tarball" > /dev/null &&
    node use.mjs && node use.cjs && "$here/node_modules/.bin/tsc" -p . && echo "types: tsc finds no error")

step "the JavaScript stage passed"
