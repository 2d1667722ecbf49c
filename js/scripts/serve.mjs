// A static server for the page (web/) on this machine only, with the
// Content-Security-Policy the page is made to work under. Run it as
// `node scripts/serve.mjs [PORT]` to open the page at http://127.0.0.1:PORT/;
// the browser test starts it on a free port.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

export const root = fileURLToPath(new URL('../../web/', import.meta.url));
export const policy = "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'";

const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.png': 'image/png',
  '.svg': 'image/svg+xml',
  '.wasm': 'application/wasm',
};

// Resolves to the listening server; `server.address().port` is its port.
// The browser test serves the page under other policies too.
export function serve(port = 0, pagePolicy = policy) {
  const server = createServer(async (request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://localhost').pathname));
    const file = join(root, path.endsWith('/') ? `${path}index.html` : path);
    try {
      if (!file.startsWith(root) || file.split(sep).includes('..')) {
        throw new Error('outside the page');
      }
      const body = await readFile(file);
      response.writeHead(200, {
        'Content-Type': types[extname(file)] ?? 'application/octet-stream',
        'Content-Security-Policy': pagePolicy,
        'Cache-Control': 'no-store',
      });
      response.end(body);
    } catch {
      response.writeHead(404, { 'Content-Type': 'text/plain' });
      response.end('not found\n');
    }
  });
  return new Promise((resolve) => server.listen(port, '127.0.0.1', () => resolve(server)));
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const server = await serve(Number(process.argv[2] ?? 8080));
  console.log(`the page: http://127.0.0.1:${server.address().port}/ (Ctrl-C stops)`);
}
