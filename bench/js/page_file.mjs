// The page's file way in Debian's Chromium, headless: a file of 1,500,000
// short texts (50 MB, each 1 to 64 printable bytes, from the release
// build's `encrypt_spawn_timer make-texts`) chosen on the page and turned
// into its download, timed from the file input's change event to the
// download link shown; then, in the same browser and run, the floor: a page
// that merely reads the same file (File.stream()) and makes a Blob of the
// output's size from 4 MiB chunks, as many bytes as the page's download.
// Each is run ROUNDS times (default 5), taking turns; medians. The goal:
// at most 2 s, or at most 1.5 times the floor. From the top of the
// repository, after the release build and the package's (cd js && npm ci &&
// npm run build):
//
//     node bench/js/page_file.mjs [ROUNDS]
//
// With `decrypt`, the page then turns the lines it made back into the
// texts, timed the same way. CHROMIUM names the browser (/usr/bin/chromium).
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

import puppeteer from '../../js/node_modules/puppeteer-core/lib/esm/puppeteer/puppeteer-core.js';
import { serve } from '../../js/scripts/serve.mjs';

const rounds = Number(process.argv[2] ?? 5);
const root = fileURLToPath(new URL('../../', import.meta.url));
const cpu = execFileSync('lscpu', { encoding: 'utf8' }).match(/^Model name:\s*(.+)$/m)?.[1] ?? 'unknown CPU';
const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];

const scratch = mkdtempSync(join(tmpdir(), 'encrypt-page-file-'));
const texts = join(scratch, 'texts.txt');
execFileSync(join(root, 'build/release/bench/encrypt_spawn_timer'), ['make-texts', '1500000', texts]);
const lines = join(scratch, 'texts.txt.lines');
execFileSync('sh', ['-c', `'${join(root, 'build/release/encrypt-lines')}' < '${texts}' > '${lines}'`]);

const server = await serve();
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
  headless: true,
  protocolTimeout: Number(process.env.PROTOCOL_TIMEOUT ?? 600000),
  args: [...(process.getuid?.() === 0 ? ['--no-sandbox'] : []), '--disable-gpu'],
});

// The page's time for one file, from its choice to its download shown, and
// the download's size.
async function pageTime(tab, path, direction) {
  // A tab in the background gets no animation frames.
  await tab.bringToFront();
  await tab.click(`input[name="direction"][value="${direction}"]`);
  await tab.$eval('#download', (link) => {
    link.hidden = true;
    window.timed = new Promise((resolve) => {
      let start = 0;
      document.getElementById('file').addEventListener('change', () => (start = performance.now()), { capture: true, once: true });
      new MutationObserver((_, observer) => {
        if (!link.hidden) {
          observer.disconnect();
          resolve({ ms: performance.now() - start, status: document.getElementById('status').textContent, size: link.textContent });
        }
      }).observe(link, { attributes: true });
    });
  });
  await (await tab.$('#file')).uploadFile(path);
  return tab.evaluate(() => window.timed);
}

// The floor for the same file: read it, and make a Blob of `size` bytes.
async function floorTime(tab, path, size) {
  await tab.bringToFront();
  await (await tab.$('#file')).uploadFile(path);
  return tab.$eval('#file', async (input, size) => {
    const start = performance.now();
    const reader = input.files[0].stream().getReader();
    let read = 0;
    for (let chunk = await reader.read(); !chunk.done; chunk = await reader.read()) {
      read += chunk.value.length;
    }
    const chunks = [];
    for (let left = size; left > 0; left -= 4 << 20) {
      chunks.push(new Uint8Array(Math.min(left, 4 << 20)).fill(0x61));
    }
    const blob = new Blob(chunks);
    return { ms: performance.now() - start, read, made: blob.size };
  }, size);
}

try {
  const origin = `http://127.0.0.1:${server.address().port}`;
  const tab = await browser.newPage();
  await tab.goto(`${origin}/`, { waitUntil: 'load' });
  await tab.waitForFunction(() => document.getElementById('line').textContent !== '');
  const bare = await browser.newPage();
  await bare.setContent('<!doctype html><input type="file" id="file">');
  const outputSize = statSync(lines).size;
  console.log(`CPU: ${cpu}; ${await browser.version()}; ${statSync(texts).size.toLocaleString('en-US')} bytes of texts, ` +
    `${outputSize.toLocaleString('en-US')} bytes of lines; ${rounds} rounds`);

  const directions = process.argv.includes('decrypt') ? ['encrypt', 'decrypt'] : ['encrypt'];
  for (const direction of directions) {
    const input = direction === 'encrypt' ? texts : lines;
    const made = direction === 'encrypt' ? outputSize : statSync(texts).size;
    const page = [];
    const floor = [];
    for (let round = 0; round < rounds; round++) {
      const timed = await pageTime(tab, input, direction);
      if (!timed.size.includes(`(${made.toLocaleString('en-US')} bytes)`)) {
        throw new Error(`the page made ${timed.size}, not ${made} bytes: ${timed.status}`);
      }
      page.push(timed.ms);
      floor.push((await floorTime(bare, input, made)).ms);
    }
    const ratio = median(page) / median(floor);
    console.log(`${direction}: the page ${median(page).toFixed(0)} ms (${page.map((ms) => ms.toFixed(0)).join(', ')}); ` +
      `the floor, reading the file and making a Blob of the output's size, ${median(floor).toFixed(0)} ms ` +
      `(${floor.map((ms) => ms.toFixed(0)).join(', ')}); page / floor ${ratio.toFixed(2)}`);
  }
} finally {
  await browser.close();
  server.close();
  rmSync(scratch, { recursive: true, force: true });
}
