// What the browser tests and the page benchmark share: a folder with its own configuration,
// registry and store; marqen-bridge started on a free port; pages served from other origins;
// Debian's chromium, headless; signed messages checked with openssl.
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, writeFileSync, rmSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import http from 'node:http';
import puppeteer from 'puppeteer-core';

export const openssl = process.env.OPENSSL || 'openssl';

export class Harness {
  // `extraEnv` is added to the bridge's and the commands' environment.
  constructor(prefix, extraEnv = {}) {
    this.dir = mkdtempSync(join(tmpdir(), prefix));
    this.env = { ...process.env, XDG_CONFIG_HOME: join(this.dir, 'config'), HOME: this.dir,
      MARQEN_REGISTRY: join(this.dir, 'registry.json'),
      MARQEN_CERTSTORE: join(this.dir, 'certstore'), ...extraEnv };
    delete this.env.WAYLAND_DISPLAY;
    this.servers = [];
  }

  run(program, args, timeout = 60000) {
    return execFileSync(program, args, { env: this.env, cwd: this.dir, encoding: 'utf8', timeout,
      stdio: ['ignore', 'pipe', 'pipe'] });
  }

  // Registers the control and starts the bridge on a free port; resolves to that port.
  startBridge() {
    const program = process.env.MARQEN_BRIDGE;
    if (!/registered MARQENI/.test(this.run(program, ['install', '--port', '47215'])))
      throw new Error('marqen-bridge install did not register the control');
    return new Promise((resolve, reject) => {
      this.bridge = spawn(program, ['--port', '0'],
        { env: this.env, stdio: ['ignore', 'pipe', 'inherit'] });
      this.bridgeExit = new Promise(
        (done) => this.bridge.on('exit', (code, signal) => done({ code, signal })));
      let out = '';
      this.bridge.stdout.on('data', (chunk) => {
        out += chunk;
        const found = /listening on 127\.0\.0\.1:(\d+)/.exec(out);
        if (found) resolve(this.port = Number(found[1]));
      });
      this.bridge.on('exit', (code) => reject(new Error(`marqen-bridge exited with ${code}`)));
    });
  }

  // A page server of its own origin that loads the bridge's script; resolves to the origin.
  pageOrigin() {
    return new Promise((resolve) => {
      const server = http.createServer((request, response) => {
        response.writeHead(200, { 'content-type': 'text/html' });
        response.end(`<!doctype html><title>t</title>
          <script src="http://127.0.0.1:${this.port}/marqen.js"></script>`);
      });
      this.servers.push(server);
      server.listen(0, '127.0.0.1', () => resolve(`http://127.0.0.1:${server.address().port}`));
    });
  }

  async launchBrowser() {
    this.browser = await puppeteer.launch({
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      headless: true,
      userDataDir: join(this.dir, 'chromium'),
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    });
  }

  async openPage(origin) {
    const page = await this.browser.newPage();
    await page.goto(`${origin}/`);
    return page;
  }

  // The content of a Base64 signed message that openssl verifies against root.pem in the
  // folder, and the subject of the signer it carries.
  verified(base64, name) {
    writeFileSync(join(this.dir, `${name}.p7m`), Buffer.from(base64, 'base64'));
    this.run(openssl, ['cms', '-verify', '-inform', 'DER', '-in', `${name}.p7m`, '-CAfile',
      'root.pem', '-purpose', 'any', '-out', `${name}.out`]);
    const signer = this.run(openssl, ['pkcs7', '-inform', 'DER', '-in', `${name}.p7m`,
      '-print_certs', '-noout']);
    return { content: readFileSync(join(this.dir, `${name}.out`), 'utf8'), signer };
  }

  // A test root (root.pem) and a signer under it in signer.pfx, protected by `password`.
  makePfxSigner(password) {
    const o = (...args) => this.run(openssl, args);
    o('req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', 'root.key', '-out', 'root.pem',
      '-subj', '/CN=Bridge Test Root', '-days', '365',
      '-addext', 'basicConstraints=critical,CA:TRUE', '-addext', 'keyUsage=critical,keyCertSign');
    o('req', '-newkey', 'rsa:2048', '-nodes', '-keyout',
      'signer.key', '-out', 'signer.csr', '-subj', '/CN=Bridge Test Signer');
    writeFileSync(join(this.dir, 'ext.cnf'), 'keyUsage=critical,digitalSignature,nonRepudiation\n');
    o('x509', '-req', '-in', 'signer.csr', '-CA', 'root.pem', '-CAkey', 'root.key',
      '-CAcreateserial', '-out', 'signer.pem', '-days', '30', '-extfile', 'ext.cnf');
    this.env.SIGNER_PASSWORD = password;
    o('pkcs12', '-export', '-in', 'signer.pem', '-inkey', 'signer.key', '-out', 'signer.pfx',
      '-passout', 'env:SIGNER_PASSWORD');
    return join(this.dir, 'signer.pfx');
  }

  async close() {
    if (this.browser) await this.browser.close();
    this.servers.forEach((server) => server.close());
    if (this.bridge && this.bridge.exitCode === null) this.bridge.kill('SIGTERM');
    if (this.bridgeExit) await this.bridgeExit;
    rmSync(this.dir, { recursive: true, force: true });
  }
}
