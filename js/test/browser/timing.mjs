// A key's times on a page, for the browser test and bench/js/page.mjs.

// Presses `key` in the focused box of `tab` (a puppeteer page); resolves to
// the milliseconds from the key's event to the frame painted after it, and
// to the line shown (`#line` no longer busy; at once where there is none).
export async function timedKey(tab, key) {
  await tab.evaluate(() => {
    window.keyTiming = new Promise((resolve) => {
      addEventListener('keydown', (event) => {
        const start = event.timeStamp;
        requestAnimationFrame(() => setTimeout(() => {
          const painted = performance.now() - start;
          const shown = () => {
            if (document.getElementById('line')?.hasAttribute('aria-busy')) {
              requestAnimationFrame(shown);
            } else {
              resolve({ painted, shown: performance.now() - start });
            }
          };
          shown();
        }));
      }, { once: true, capture: true });
    });
  });
  await tab.keyboard.press(key);
  return tab.evaluate(() => window.keyTiming);
}
