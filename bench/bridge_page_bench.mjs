// Round trips from a page in headless chromium through marqen-bridge: one getErrorMessage and
// one 1 KiB sign with a key file. marqen_bridge_bench gives the same calls in process.
// Needs MARQEN_BRIDGE and OPENSSL in the environment, and the browser tests' npm packages.
import { Harness } from '../tests/bridge/browser/harness.mjs';

const password = 'bench pass';
const harness = new Harness('marqen-page-bench-');
delete harness.env.DISPLAY;
try {
  const pfx = harness.makePfxSigner(password);
  await harness.startBridge();
  const origin = await harness.pageOrigin();
  harness.run(process.env.MARQEN_BRIDGE, ['approve', origin]);
  await harness.launchBrowser();
  const page = await harness.openPage(origin);
  const times = await page.evaluate(async (pfx, password) => {
    const control = await MarqenI.connect();
    if (!await control.updateData('k'.repeat(1024)) ||
        !await control.setSigningCertFromFile(pfx, password))
      throw new Error(await control.getErrorMessage());
    const measure = async (call, n) => {
      await call();  // the first call warms the connection and the library
      const start = performance.now();
      for (let i = 0; i < n; ++i) await call();
      return (performance.now() - start) / n;
    };
    const signed = await control.sign();
    if (!signed) throw new Error(await control.getErrorMessage());
    return { getErrorMessage: await measure(() => control.getErrorMessage(), 200),
      sign: await measure(() => control.sign(), 20) };
  }, pfx, password);
  console.log('from a page through marqen-bridge (chromium, headless), mean of 200 and 20 calls');
  console.log(`  getErrorMessage        ${times.getErrorMessage.toFixed(3)} ms`);
  console.log(`  sign, 1 KiB, key file  ${times.sign.toFixed(3)} ms`);
} finally {
  await harness.close();
}
