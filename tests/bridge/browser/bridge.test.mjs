// Pages in Debian's chromium (headless) signing through marqen-bridge; openssl checks the
// signatures. Needs MARQEN_BRIDGE, MARQEN_TOOL and OPENSSL in the environment.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, writeFileSync, rmSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import http from 'node:http';
import puppeteer from 'puppeteer-core';

const bridgeProgram = process.env.MARQEN_BRIDGE;
const openssl = process.env.OPENSSL || 'openssl';
const dir = mkdtempSync(join(tmpdir(), 'marqen-bridge-'));
const password = 'page pass';
// The bridge runs without a display, so an unknown origin is refused without a dialog.
const env = { ...process.env, XDG_CONFIG_HOME: join(dir, 'config'), HOME: dir,
  MARQEN_REGISTRY: join(dir, 'registry.json'), MARQEN_CERTSTORE: join(dir, 'certstore'),
  TZ: 'Europe/Berlin' };
delete env.DISPLAY;
delete env.WAYLAND_DISPLAY;

let bridge, bridgePort, browser, approved, unapproved, servers = [];

function run(program, args) {
  return execFileSync(program, args, { env, cwd: dir, encoding: 'utf8' });
}

function makeSigner() {
  const o = (...args) => run(openssl, args);
  o('req', '-x509', '-newkey', 'rsa:2048', '-nodes',
    '-keyout', 'root.key', '-out', 'root.pem', '-subj', '/CN=Bridge Test Root', '-days', '30',
    '-addext', 'basicConstraints=critical,CA:TRUE', '-addext', 'keyUsage=critical,keyCertSign');
  o('req', '-newkey', 'rsa:2048', '-nodes', '-keyout',
    'signer.key', '-out', 'signer.csr', '-subj', '/CN=Bridge Test Signer');
  writeFileSync(join(dir, 'ext.cnf'), 'keyUsage=critical,digitalSignature,nonRepudiation\n');
  o('x509', '-req', '-in', 'signer.csr', '-CA', 'root.pem', '-CAkey', 'root.key',
    '-CAcreateserial', '-out', 'signer.pem', '-days', '30', '-extfile', 'ext.cnf');
  o('pkcs12', '-export', '-in', 'signer.pem', '-inkey', 'signer.key', '-out', 'signer.pfx',
    '-passout', `pass:${password}`);
}

// The content of a Base64 signed message that openssl verifies against the test root.
function verified(base64, name) {
  writeFileSync(join(dir, `${name}.p7m`), Buffer.from(base64, 'base64'));
  run(openssl, ['cms', '-verify', '-inform', 'DER', '-in', `${name}.p7m`, '-CAfile', 'root.pem',
    '-purpose', 'any', '-out', `${name}.out`]);
  return readFileSync(join(dir, `${name}.out`), 'utf8');
}

function startBridge() {
  return new Promise((resolve, reject) => {
    bridge = spawn(bridgeProgram, ['--port', '0'], { env, stdio: ['ignore', 'pipe', 'inherit'] });
    let out = '';
    bridge.stdout.on('data', (chunk) => {
      out += chunk;
      const found = /listening on 127\.0\.0\.1:(\d+)/.exec(out);
      if (found) resolve(Number(found[1]));
    });
    bridge.on('exit', (code) => reject(new Error(`marqen-bridge exited with ${code}`)));
  });
}

function pageServer() {
  return new Promise((resolve) => {
    const server = http.createServer((request, response) => {
      response.writeHead(200, { 'content-type': 'text/html' });
      response.end(`<!doctype html><title>t</title>
        <script src="http://127.0.0.1:${bridgePort}/marqen.js"></script>`);
    });
    server.listen(0, '127.0.0.1', () => resolve(server));
  });
}

async function openPage(origin) {
  const page = await browser.newPage();
  await page.goto(`${origin}/`);
  return page;
}

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
  makeSigner();
  assert.match(run(bridgeProgram, ['install', '--port', '47215']), /registered MARQENI/);
  bridgePort = await startBridge();
  const [a, b] = servers = [await pageServer(), await pageServer()];
  approved = `http://127.0.0.1:${a.address().port}`;
  // Another port is another origin.
  unapproved = `http://127.0.0.1:${b.address().port}`;
  run(bridgeProgram, ['approve', approved]);
  assert.equal(run(bridgeProgram, ['list']), `${approved}\n`);
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: join(dir, 'chromium'),
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});

after(async () => {
  if (browser) await browser.close();
  servers.forEach((server) => server.close());
  if (bridge) bridge.kill('SIGTERM');
  rmSync(dir, { recursive: true, force: true });
});

test('a page signs through the bridge and openssl verifies the message', async () => {
  const page = await openPage(approved);
  const [data, signer, time, signature, status] = await signIn(page, 'pay 100 to Bob');
  assert.deepEqual([data, signer, time, status],
    [true, true, true, 'Operation Completed Successfully']);
  assert.equal(verified(signature, 'one'), 'pay 100 to Bob');
  const printed = execFileSync(openssl, ['cms', '-cmsout', '-print', '-inform', 'DER', '-in',
    join(dir, 'one.p7m')], { encoding: 'utf8' });
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

test('speed: round trips from a page', async () => {
  const page = await openPage(approved);
  const times = await page.evaluate(async (pfx, password) => {
    const control = await MarqenI.connect();
    await control.updateData('k'.repeat(1024));
    await control.setSigningCertFromFile(pfx, password);
    const measure = async (call, n) => {
      const start = performance.now();
      for (let i = 0; i < n; ++i) await call();
      return (performance.now() - start) / n;
    };
    return { getErrorMessage: await measure(() => control.getErrorMessage(), 200),
      sign1KiB: await measure(() => control.sign(), 20) };
  }, join(dir, 'signer.pfx'), password);
  console.log(`page round trip: getErrorMessage ${times.getErrorMessage.toFixed(3)} ms, ` +
    `1 KiB sign ${times.sign1KiB.toFixed(3)} ms`);
  await page.close();
});
