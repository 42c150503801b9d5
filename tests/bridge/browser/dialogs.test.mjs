// The dialogs marqen-bridge shows on a display (a private Xvfb): the certificate picker a page
// opens, and the question about an unknown origin. xdotool answers them from outside, as a user
// would; chromium stays headless. Needs MARQEN_BRIDGE, MARQEN_TOOL, OPENSSL, XVFB, XDOTOOL and
// UI_LEAKS (the GTK leak suppressions) in the environment.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFile } from 'node:child_process';
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { promisify } from 'node:util';
import { Harness, openssl } from './harness.mjs';

const bridgeProgram = process.env.MARQEN_BRIDGE;
const xdotool = process.env.XDOTOOL || 'xdotool';
const password = 'store pass';
const signers = ['Alice Signer', 'Bob Signer', 'Carol Signer'];
// Nothing a dialog waits for may hold the run longer than this.
const dialogWait = 20000;
const pickerTitle = 'Select a Certificate';
const approvalTitle = 'Signing request from a web page';

// GTK on the bridge's worker thread: no accessibility bus or settings daemon to wait for, and
// its allocations that live until exit not counted as leaks.
const harness = new Harness('marqen-dialogs-', {
  NO_AT_BRIDGE: '1', GTK_A11Y: 'none', GSETTINGS_BACKEND: 'memory', GDK_BACKEND: 'x11',
  TZ: 'UTC0', STORE_PASSWORD: password,
  LSAN_OPTIONS: `suppressions=${process.env.UI_LEAKS}:print_suppressions=0` });
const { dir, env } = harness;
const run = (program, args) => harness.run(program, args, dialogWait);
const openPage = (origin) => harness.openPage(origin);
const verified = (base64, name) => harness.verified(base64, name);
let xvfb, approved, unknown;

// The common names in MY in the order the picker lists them: the store's own.
function rows() {
  return [...run(process.env.MARQEN_TOOL, ['certstore', 'list', '--store', 'MY'])
    .matchAll(/subject: .*?CN=([^,\n]+)/g)].map((found) => found[1]);
}

// A root in ROOT and three signers with their keys in MY, imported as a user would.
function fillStore() {
  const o = (...args) => run(openssl, args);
  o('req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', 'root.key', '-out', 'root.pem',
    '-subj', '/CN=Dialog Test Root/O=Marqen Test', '-days', '365',
    '-addext', 'basicConstraints=critical,CA:TRUE', '-addext', 'keyUsage=critical,keyCertSign');
  writeFileSync(join(dir, 'ext.cnf'), 'keyUsage=critical,digitalSignature,nonRepudiation\n');
  run(process.env.MARQEN_TOOL, ['certstore', 'import', 'root.pem', '--store', 'ROOT']);
  signers.forEach((name, n) => {
    o('req', '-newkey', 'rsa:2048', '-nodes', '-keyout', `signer${n}.key`, '-out',
      `signer${n}.csr`, '-subj', `/CN=${name}/O=Marqen Test`);
    o('x509', '-req', '-in', `signer${n}.csr`, '-CA', 'root.pem', '-CAkey', 'root.key',
      '-set_serial', `${0x5100 + n}`, '-out', `signer${n}.pem`, '-days', '30',
      '-extfile', 'ext.cnf');
    o('pkcs12', '-export', '-in', `signer${n}.pem`, '-inkey', `signer${n}.key`,
      '-out', `signer${n}.pfx`, '-passout', 'env:STORE_PASSWORD');
    run(process.env.MARQEN_TOOL, ['certstore', 'import', `signer${n}.pfx`,
      '--password-env', 'STORE_PASSWORD']);
  });
}

// A private X server; its number comes back once it accepts connections.
function startXvfb() {
  return new Promise((resolve, reject) => {
    xvfb = spawn(process.env.XVFB || 'Xvfb', ['-displayfd', '3', '-screen', '0', '1024x768x24',
      '-nolisten', 'tcp', '-noreset'], { stdio: ['ignore', 'ignore', 'inherit', 'pipe'] });
    let out = '';
    const timer = setTimeout(() => reject(new Error('Xvfb gave no display')), dialogWait);
    xvfb.stdio[3].on('data', (chunk) => {
      out += chunk;
      if (!out.includes('\n')) return;
      clearTimeout(timer);
      resolve(`:${out.trim()}`);
    });
    xvfb.on('error', reject);
    xvfb.on('exit', (code) => reject(new Error(`Xvfb exited with ${code}`)));
  });
}

const xdo = (...args) => promisify(execFile)(xdotool, args, { env, timeout: dialogWait });

// Waits until the bridge shows a window with exactly this title, then types the keys into it.
async function answer(title, keys) {
  const deadline = Date.now() + dialogWait;
  for (;;) {
    const found = await xdo('search', '--onlyvisible', '--name', `^${title}$`).then(
      (r) => r.stdout.trim(), () => '');
    if (found) break;
    if (Date.now() > deadline) throw new Error(`no window titled "${title}" appeared`);
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  // Drawn and focused before the first key, as a person would see it.
  await new Promise((resolve) => setTimeout(resolve, 300));
  await xdo('key', '--delay', '50', ...keys);
}

// What a page's call that waits for a person gives once the keys were typed.
async function whileAnswering(call, title, keys) {
  const [result] = await Promise.all([call, answer(title, keys)]);
  return result;
}

before(async () => {
  fillStore();
  env.DISPLAY = await startXvfb();
  await harness.startBridge();
  approved = await harness.pageOrigin();
  unknown = await harness.pageOrigin();
  run(bridgeProgram, ['approve', approved]);
  await harness.launchBrowser();
});

after(async () => {
  await harness.close();
  if (xvfb) xvfb.kill('SIGTERM');
});

test('the signer chosen in the picker signs, and openssl verifies the message', async () => {
  const page = await openPage(approved);
  await page.evaluate(async () => {
    window.control = await MarqenI.connect();
    await window.control.updateData('pay 200 to Dave');
  });
  const chosen = await whileAnswering(
    page.evaluate(() => window.control.selectSigningCertFromUI()),
    pickerTitle, ['Down', 'Down', 'Tab', 'Return']);
  const second = rows()[1];
  const [status, issuedTo, signature] = await page.evaluate(async () => [
    await window.control.getErrorMessage(),
    await window.control.getSelectedSignerCertDetails(1), await window.control.sign()]);
  assert.deepEqual([chosen, status, issuedTo],
    [true, 'Operation Completed Successfully', second]);
  const { content, signer } = verified(signature, 'picked');
  assert.equal(content, 'pay 200 to Dave');
  assert.match(signer, new RegExp(`^subject=CN = ${second}, O = Marqen Test$`, 'm'));
  await page.close();
});

test('cancel in the picker answers false, and the bridge then picks and signs again', async () => {
  const page = await openPage(approved);
  await page.evaluate(async () => {
    window.control = await MarqenI.connect();
    await window.control.updateData('second try');
  });
  const pick = () => page.evaluate(async () => [await window.control.selectSigningCertFromUI(),
    await window.control.getErrorMessage()]);
  assert.deepEqual(await whileAnswering(pick(), pickerTitle, ['Down', 'Escape']),
    [false, 'Error in selectSigningCertFromUI']);
  assert.deepEqual(await whileAnswering(pick(), pickerTitle, ['Down', 'Down', 'Down', 'Tab',
    'Return']), [true, 'Operation Completed Successfully']);
  const { content, signer } = verified(await page.evaluate(() => window.control.sign()),
    'again');
  assert.equal(content, 'second try');
  assert.match(signer, new RegExp(`^subject=CN = ${rows()[2]},`, 'm'));
  await page.close();
});

// An unknown origin waits on the question; what the user answers decides the connection.
const connectFrom = (page) => page.evaluate(() => MarqenI.connect().then(
  async (control) => `connected: ${await control.updateData('from a new page')}`,
  (e) => `refused: ${e.message}`));
const approvals = [
  { answer: 'allow once', keys: ['alt+o'], outcome: 'connected: true' },
  { answer: 'deny', keys: ['alt+d'], outcome: 'refused' },
  // The default button is Deny: an Enter typed by habit lets nobody in.
  { answer: 'Enter', keys: ['Return'], outcome: 'refused' },
];
for (const { answer: said, keys, outcome } of approvals) {
  test(`an unknown origin asks the user, who answers ${said}`, async () => {
    const page = await openPage(unknown);
    const result = await whileAnswering(connectFrom(page), approvalTitle, keys);
    assert.equal(result.startsWith(outcome), true, result);
    // Allowing once does not remember the origin.
    assert.equal(run(bridgeProgram, ['list']), `${approved}\n`);
    await page.close();
  });
}

test('an origin always allowed is remembered and connects again without a question', async () => {
  const page = await openPage(unknown);
  assert.equal(await whileAnswering(connectFrom(page), approvalTitle, ['alt+a']),
    'connected: true');
  assert.deepEqual(run(bridgeProgram, ['list']).split('\n').filter(Boolean).sort(),
    [approved, unknown].sort());
  // A question shown again would hold the page; it must not be waited for.
  let timer;
  const again = await Promise.race([connectFrom(page),
    new Promise((resolve) => { timer = setTimeout(() => resolve('still waiting'), dialogWait); })]);
  clearTimeout(timer);
  assert.equal(again, 'connected: true');
  run(bridgeProgram, ['revoke', unknown]);
  await page.close();
});

test('the bridge with its GTK thread ends cleanly', async () => {
  harness.bridge.kill('SIGTERM');
  assert.deepEqual(await harness.bridgeExit, { code: 0, signal: null });
});
