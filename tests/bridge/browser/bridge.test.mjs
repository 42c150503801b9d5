// Pages in Debian's chromium (headless) signing through marqen-bridge; openssl checks the
// signatures. Needs MARQEN_BRIDGE, MARQEN_TOOL and OPENSSL in the environment.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { join } from 'node:path';
import http from 'node:http';
import { Harness, openssl } from './harness.mjs';

const password = 'page pass';
// The bridge runs without a display, so an unknown origin is refused without a dialog.
const harness = new Harness('marqen-bridge-', { TZ: 'Europe/Berlin' });
delete harness.env.DISPLAY;
const { dir } = harness;
const openPage = (origin) => harness.openPage(origin);
const verified = (base64, name) => harness.verified(base64, name).content;
let bridgePort, approved, unapproved;

// Connects and signs `text` in the page with the test signer; the control's own results.
function signIn(page, text) {
  return page.evaluate(async (text, pfx, password) => {
    const control = await MarqenI.connect();
    const results = [await control.updateData(text),
      await control.setSigningCertFromFile(pfx, password),
      await control.setSigningTime(new Date(Date.UTC(2023, 10, 14, 22, 13, 20))),
      await control.sign(), await control.getErrorMessage()];
    control.close();
    return results;
  }, text, join(dir, 'signer.pfx'), password);
}

function rawHandshake(headers) {
  return new Promise((resolve) => {
    const request = http.request({ host: '127.0.0.1', port: bridgePort, path: '/control',
      headers: { Connection: 'Upgrade', Upgrade: 'websocket', 'Sec-WebSocket-Version': '13',
        'Sec-WebSocket-Key': 'dGhlIHNhbXBsZSBub25jZQ==', ...headers } });
    request.on('upgrade', (response, socket) => { socket.destroy(); resolve(101); });
    request.on('response', (response) => { response.resume(); resolve(response.statusCode); });
    request.on('error', () => resolve(0));
    request.end();
  });
}

before(async () => {
  harness.makePfxSigner(password);
  bridgePort = await harness.startBridge();
  approved = await harness.pageOrigin();
  // Another port is another origin.
  unapproved = await harness.pageOrigin();
  harness.run(process.env.MARQEN_BRIDGE, ['approve', approved]);
  assert.equal(harness.run(process.env.MARQEN_BRIDGE, ['list']), `${approved}\n`);
  await harness.launchBrowser();
});

after(() => harness.close());

test('a page signs through the bridge and openssl verifies the message', async () => {
  const page = await openPage(approved);
  const [data, signer, time, signature, status] = await signIn(page, 'pay 100 to Bob');
  assert.deepEqual([data, signer, time, status],
    [true, true, true, 'Operation Completed Successfully']);
  assert.equal(verified(signature, 'one'), 'pay 100 to Bob');
  const printed = harness.run(openssl, ['cms', '-cmsout', '-print', '-inform', 'DER', '-in',
    'one.p7m']);
  assert.match(printed, /UTCTIME:Nov 14 22:13:20 2023 GMT/);
  await page.close();
});

test('two pages keep separate state', async () => {
  const [first, second] = [await openPage(approved), await openPage(approved)];
  const sign = (page, text) => page.evaluate(async (text, pfx, password) => {
    window.control = window.control || await MarqenI.connect();
    await window.control.updateData(text);
    await window.control.setSigningCertFromFile(pfx, password);
    return true;
  }, text, join(dir, 'signer.pfx'), password);
  await sign(first, 'first page');
  await sign(second, 'second page');
  const signed = await Promise.all([first, second].map(
    (page) => page.evaluate(() => window.control.sign())));
  assert.equal(verified(signed[0], 'first'), 'first page');
  assert.equal(verified(signed[1], 'second'), 'second page');
  await first.close();
  await second.close();
});

test('an unapproved origin gets nothing', async () => {
  const page = await openPage(unapproved);
  const outcome = await page.evaluate(() => MarqenI.connect().then(
    () => 'connected', (e) => `refused: ${e.message}`));
  assert.match(outcome, /^refused/);
  await page.close();
});

test('handshakes with a foreign Host or no Origin are refused', async () => {
  const host = `127.0.0.1:${bridgePort}`;
  assert.equal(await rawHandshake({ Host: host, Origin: approved }), 101);
  assert.equal(await rawHandshake({ Host: `localhost:${bridgePort}`, Origin: approved }), 101);
  assert.equal(await rawHandshake({ Host: `attacker.example:${bridgePort}`, Origin: approved }),
    403);
  assert.equal(await rawHandshake({ Host: host }), 403);
  assert.equal(await rawHandshake({ Host: host, Origin: unapproved }), 403);
});

test('oversized and malformed messages close or answer only that connection', async () => {
  const page = await openPage(approved);
  const outcome = await page.evaluate(async (port) => {
    const keep = await MarqenI.connect();
    const raw = new WebSocket(`ws://127.0.0.1:${port}/control`);
    await new Promise((resolve) => { raw.onopen = resolve; });
    const answer = new Promise((resolve) => { raw.onmessage = (e) => resolve(JSON.parse(e.data)); });
    raw.send('{"id": 1, "method": ');
    const malformed = await answer;
    const big = await MarqenI.connect();
    const lost = await big.updateData('x'.repeat(17 * 1024 * 1024)).then(
      () => 'answered', (e) => `rejected: ${e.message}`);
    return { malformed, lost, still: await keep.getErrorMessage() };
  }, bridgePort);
  assert.equal(outcome.malformed.id, null);
  assert.ok(outcome.malformed.error);
  assert.match(outcome.lost, /^rejected/);
  assert.equal(typeof outcome.still, 'string');
  await page.close();
});
