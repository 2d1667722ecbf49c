// The page in Debian's Chromium, headless, served from this machine under
// its Content-Security-Policy, 360 pixels wide: a typed text's line, that
// line back to its text, a line without one, and a file each way through the
// worker, read from the download. Saves a screenshot (SCREENSHOT, by default
// docs/images/web-page.png). CHROMIUM names the browser (/usr/bin/chromium).
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import { existsSync } from 'node:fs';
import { mkdtemp, readdir, readFile, rm, writeFile, mkdir } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { after, before, test } from 'node:test';
import { setTimeout as sleep } from 'node:timers/promises';

import { CAPTION, hex, initSync, resultLine } from '../../dist/index.mjs';
import { serve } from '../../scripts/serve.mjs';

const chromium = process.env.CHROMIUM ?? '/usr/bin/chromium';
const screenshot =
  process.env.SCREENSHOT ?? fileURLToPath(new URL('../../../docs/images/web-page.png', import.meta.url));
const skip = !existsSync(chromium) && `no browser at ${chromium}: apt-get install chromium, or set CHROMIUM`;

initSync();
let server;
let browser;
let page;
let scratch;
const strayRequests = [];
const problems = [];

before(async () => {
  if (skip) {
    return;
  }
  const { default: puppeteer } = await import('puppeteer-core');
  scratch = await mkdtemp(join(tmpdir(), 'encrypt-page-'));
  server = await serve();
  const origin = `http://127.0.0.1:${server.address().port}`;
  // No network here: nothing of the browser's own may try to reach one.
  browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    userDataDir: join(scratch, 'profile'),
    args: [
      ...(process.getuid?.() === 0 ? ['--no-sandbox'] : []),
      '--headless', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1',
    ],
  });
  page = await browser.newPage();
  await page.setViewport({ width: 360, height: 800 });
  // Every request must stay on this server: the browser resolves no other
  // name, and the test sees every request the page and its worker make.
  page.on('request', (request) => {
    if (!/^(blob:|data:)/.test(request.url()) && !request.url().startsWith(`${origin}/`)) {
      strayRequests.push(request.url());
    }
  });
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  page.on('console', (message) => {
    if (message.type() === 'error' || message.type() === 'warning') {
      problems.push(`console ${message.type()}: ${message.text()}`);
    }
  });
  await page.evaluateOnNewDocument(() => {
    document.addEventListener('securitypolicyviolation', (event) => {
      console.error(`CSP violation: ${event.violatedDirective} ${event.blockedURI}`);
    });
  });
  await page.goto(`${origin}/`, { waitUntil: 'load' });
  await page.waitForFunction(() => document.getElementById('line').textContent !== '');
});

after(async () => {
  await browser?.close();
  server?.close();
  if (scratch) {
    await rm(scratch, { recursive: true, force: true });
  }
});

const textOf = (selector) => page.$eval(selector, (element) => element.textContent);

async function typeInto(selector, text) {
  await page.$eval(selector, (element) => {
    element.value = '';
  });
  await page.type(selector, text);
}

test('a typed text shows its line as it is typed', { skip }, async () => {
  assert.equal(await textOf('#line'), CAPTION, 'the empty text');
  await typeInto('#text', 'ab');
  assert.equal(await textOf('#line'), resultLine('ab'));
  await page.type('#text', 'c é');
  assert.equal(await textOf('#line'), resultLine('abc é'));
  assert.equal(await textOf('#text-size'), '6 bytes (UTF-8)');
});

test('a pasted line shows its text, and its bytes where they are not UTF-8, or why it has none', { skip }, async () => {
  const cases = [
    [resultLine('abc é'), 'abc é', null],
    [hex('Hello, world!'), 'Hello, world!', null],
    [hex(Uint8Array.of(0xff, 0xfe, 0x41)), '\ufffd\ufffdA', 'Not valid UTF-8 (\ufffd stands for what is not); its 3 bytes: ff fe 41'],
    [CAPTION, '', 'The empty text.'],
    ['25da76d9', 'No text: not a result line.', null],
    ['121a394b27334', 'No text: 2 texts give this line.', null],
  ];
  for (const [line, shown, note] of cases) {
    await typeInto('#line-in', line);
    assert.equal(await textOf('#text-out'), shown, line);
    assert.equal(await page.$eval('#text-bytes', (element) => (element.hidden ? null : element.textContent)), note, line);
  }
  // Typed back: the line of the text typed above.
  await typeInto('#line-in', await textOf('#line'));
  assert.equal(await textOf('#text-out'), 'abc é');
});

// Chooses `content` as a file, waits for the worker, and reads the download.
async function throughFile(name, content, direction, separator) {
  await page.click(`input[name="direction"][value="${direction}"]`);
  await page.click(`input[name="separator"][value="${separator}"]`);
  const path = join(scratch, name);
  await writeFile(path, content);
  const downloads = join(scratch, `downloads-${name}`);
  await mkdir(downloads);
  const session = await page.createCDPSession();
  await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  await page.$eval('#download', (link) => {
    link.hidden = true;
  });
  const input = await page.$('#file');
  await input.uploadFile(path);
  await page.waitForSelector('#download:not([hidden])', { timeout: 60000 }).catch(async (error) => {
    throw new Error(`${error.message}; the page says: ${await textOf('#status')}`);
  });
  await page.click('#download');
  const expected = `${name}.${direction === 'encrypt' ? 'lines' : 'texts'}`;
  for (let waited = 0; !(await readdir(downloads)).includes(expected); waited += 50) {
    assert.ok(waited < 20000, `no download of ${expected}`);
    await sleep(50);
  }
  return { bytes: await readFile(join(downloads, expected)), status: await textOf('#status') };
}

test('a file gives the line of every text, and those lines give the texts back', { skip }, async () => {
  // Texts as encrypt-lines reads them: an empty one, a carriage return that
  // stays, a last one without its line feed; and enough of them for the
  // worker to read the file in several chunks.
  const texts = ['abc', '', 'c\r', 'é', ...Array.from({ length: 300000 }, (_, i) => `text number ${i}`), 'last'];
  const lines = await throughFile('texts.txt', texts.join('\n'), 'encrypt', 10);
  assert.equal(lines.bytes.toString('latin1'), texts.map((text) => `${resultLine(text)}\n`).join(''));
  assert.match(lines.status, /^300,005 lines from texts\.txt\.$/);

  // Back, each text ended by a zero byte, with a line that has no text.
  const back = await throughFile('texts.txt.lines', Buffer.concat([lines.bytes, Buffer.from('25da76d9\n')]), 'decrypt', 0);
  assert.equal(back.bytes.toString('utf8'), texts.map((text) => `${text}\0`).join(''));
  assert.match(back.status, /^300,005 texts from texts\.txt\.lines; 1 line without one text, left out:$/);
  assert.equal(await textOf('#failures'), 'line 300006: not a result line');
});

test('in the browser, without Node\'s Buffer, a text of several pieces gives the same digits and comes back', { skip }, async () => {
  // The same bytes here and in the page, from the same arithmetic.
  const length = (3 << 20) + 1;
  const inPage = await page.evaluate(async (length) => {
    const { hex, decrypt } = await import('./lib/encrypt-wasm.mjs');
    const text = Uint8Array.from({ length }, (_, i) => Math.imul(i, 2654435761) >>> 24 || 1);
    const digits = hex(text);
    const digest = await crypto.subtle.digest('SHA-256', new TextEncoder().encode(digits));
    const back = decrypt(digits);
    return {
      length: digits.length,
      sha256: Array.from(new Uint8Array(digest), (byte) => byte.toString(16).padStart(2, '0')).join(''),
      back: back.length === text.length && back.every((byte, i) => byte === text[i]),
    };
  }, length);
  const digits = hex(Uint8Array.from({ length }, (_, i) => Math.imul(i, 2654435761) >>> 24 || 1));
  assert.deepEqual(inPage, { length: digits.length, sha256: createHash('sha256').update(digits).digest('hex'), back: true });
});

test('the page fits 360 pixels, made no request off this machine and reported nothing wrong', { skip }, async () => {
  const width = await page.evaluate(() => document.documentElement.scrollWidth);
  assert.ok(width <= 360, `the page is ${width} pixels wide`);
  assert.deepEqual(strayRequests, []);
  assert.deepEqual(problems, []);
  await mkdir(dirname(screenshot), { recursive: true });
  await page.screenshot({ path: screenshot, fullPage: true });
});
