// The page with big input, in Debian's Chromium, headless, 360 pixels wide:
// 10 MiB pasted into "Text", then keys typed after it, each timed from its
// event to the frame painted after it and to its line shown; beside it, in
// the same run, a bare <textarea> holding the same 10 MiB, the least a box
// of that text costs a key. The goal: a key paints within 100 ms, or within
// 1.2 times the bare box's time, and its line follows within 1 s. From the
// top of the repository, after the package's build (cd js && npm ci &&
// npm run build):
//
//     node bench/js/page.mjs [KEYS]
//
// KEYS keys are typed on the page (default 20); the bare box, whose keys
// take seconds, gets 3. CHROMIUM names the browser (/usr/bin/chromium).
import { execFileSync } from 'node:child_process';

import puppeteer from '../../js/node_modules/puppeteer-core/lib/esm/puppeteer/puppeteer-core.js';
import { serve } from '../../js/scripts/serve.mjs';
import { timedKey } from '../../js/test/browser/timing.mjs';

const keys = Number(process.argv[2] ?? 20);
const cpu = execFileSync('lscpu', { encoding: 'utf8' }).match(/^Model name:\s*(.+)$/m)?.[1] ?? 'unknown CPU';
const sentence = 'The quick brown fox jumps over the lazy dog. Zwölf Boxkämpfer jagen Viktor. ';
const big = sentence.repeat(Math.ceil((10 << 20) / Buffer.byteLength(sentence)));

const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];
const server = await serve();
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
  headless: true,
  protocolTimeout: 600000,
  args: [...(process.getuid?.() === 0 ? ['--no-sandbox'] : []), '--disable-gpu'],
});
try {
  const tab = await browser.newPage();
  await tab.setViewport({ width: 360, height: 800 });
  console.log(`CPU: ${cpu}; ${(await browser.version())}; ${Buffer.byteLength(big).toLocaleString('en-US')} bytes pasted`);

  await tab.goto(`http://127.0.0.1:${server.address().port}/`, { waitUntil: 'load' });
  await tab.waitForFunction(() => document.getElementById('line').textContent !== '');
  const pasted = await tab.$eval('#text', (box, text) => {
    box.focus();
    const data = new DataTransfer();
    data.setData('text/plain', text);
    const start = performance.now();
    box.dispatchEvent(new ClipboardEvent('paste', { clipboardData: data, bubbles: true, cancelable: true }));
    return new Promise((resolve) => {
      const shown = () => {
        if (document.getElementById('line').hasAttribute('aria-busy')) {
          requestAnimationFrame(shown);
        } else {
          resolve(performance.now() - start);
        }
      };
      requestAnimationFrame(shown);
    });
  }, big);
  const page = [];
  for (let i = 0; i < keys; i++) {
    page.push(await timedKey(tab, 'abcdefghij'[i % 10]));
  }

  await tab.setContent('<!doctype html><textarea id="box" rows="3" style="width: 100%"></textarea>');
  await tab.$eval('#box', (box, text) => {
    box.value = text;
    box.focus();
  }, big);
  const bare = [];
  for (let i = 0; i < 3; i++) {
    bare.push(await timedKey(tab, 'abc'[i]));
  }

  const ms = (values) => `median ${median(values).toFixed(0)} ms, at most ${Math.max(...values).toFixed(0)} ms`;
  console.log(`the page, its line after the paste: ${pasted.toFixed(0)} ms`);
  console.log(`the page, ${keys} keys: painted ${ms(page.map((key) => key.painted))}; line shown ${ms(page.map((key) => key.shown))}`);
  console.log(`a bare textarea, 3 keys: painted ${ms(bare.map((key) => key.painted))}`);
  console.log(`the page's median key / the bare box's: ${(median(page.map((key) => key.painted)) / median(bare.map((key) => key.painted))).toFixed(3)}`);
} finally {
  await browser.close();
  server.close();
}
