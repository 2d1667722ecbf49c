// Loads the page's module, app.js, and says why and what to do where it
// cannot load at all: opened as a file:// address, where browsers run no
// module, or served without the files `npm run build` makes. (Where the
// module runs but WebAssembly cannot start, app.js says so itself.)
'use strict';
(() => {
  function stop(why) {
    const problem = document.getElementById('problem');
    problem.textContent = why;
    problem.hidden = false;
    document.querySelector('main').inert = true;
  }

  const app = document.createElement('script');
  app.type = 'module';
  app.src = 'app.js';
  app.addEventListener('error', () => {
    const why =
      location.protocol === 'file:'
        ? 'This page cannot start from a file: browsers run no module of a page opened as a file:// address. ' +
          'Serve its folder and open it from there: in the repository, `node js/scripts/serve.mjs 8080`, ' +
          'then http://127.0.0.1:8080/ (or `python3 -m http.server 8080` in the folder web/).'
        : "This page cannot start: its script (app.js, or lib/encrypt-wasm.mjs, which `npm run build` makes in " +
          "the repository's js/ folder) did not load. Reload the page; if that does not help, tell whoever serves it.";
    if (document.readyState === 'loading') {
      document.addEventListener('DOMContentLoaded', () => stop(why));
    } else {
      stop(why);
    }
  });
  document.head.append(app);
})();
