'use strict';
// The real snipora-service of the native build, on a free loopback port with
// an SQLite store in a folder of its own; its short addresses are on its own
// address (--public-host 127.0.0.1:PORT), so a browser can follow them.
// Tests of API clients ask for keys made before the start, and may add options.
const { execFileSync, spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');

const root = path.resolve(__dirname, '..', '..');
const program = process.env.SNIPORA_SERVICE || path.join(root, 'build', 'native', 'snipora-service');

function freePort() {
  return new Promise((resolve, reject) => {
    const probe = net.createServer();
    probe.on('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// Resolves once the service says which port it listens on, or with its
// standard error when it ended before that or took longer than 10 s.
function runOnce(port, folder, args) {
  const child = spawn(program, [
    '--listen', `127.0.0.1:${port}`,
    '--database', path.join(folder, 'links.db'),
    '--public-host', `127.0.0.1:${port}`,
    '--access-log', 'off',
    ...args,
  ], { stdio: ['ignore', 'ignore', 'pipe'] });
  let errors = '';
  child.stderr.setEncoding('utf8');
  return new Promise((resolve) => {
    const give = (started) => {
      clearTimeout(timer);
      resolve({ child: started ? child : null, errors });
    };
    const timer = setTimeout(() => {
      child.kill('SIGKILL');
      give(false);
    }, 10000);
    child.stderr.on('data', (text) => {
      errors += text;
      if (/\(port \d+\)/.test(errors)) give(true);
    });
    child.on('error', (error) => {
      errors += String(error);
      give(false);
    });
    child.on('exit', () => give(false));
  });
}

// Each key asked for ({name, role}), made in the store with `key create`:
// the keys by name.
function makeKeys(folder, asked) {
  const keys = {};
  for (const { name, role } of asked) {
    keys[name] = execFileSync(program, ['key', 'create', '--name', name, '--role', role,
      '--database', path.join(folder, 'links.db')], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] }).trim();
  }
  return keys;
}

// The port is part of the public host, so it is chosen before the start;
// another program may take it meanwhile, hence a few tries. `options.keys`
// lists keys to make first (answered in `keys`), `options.args` more options.
async function startService(options = {}) {
  if (!fs.existsSync(program)) throw new Error(`${program} is not built (run scripts/build-service.sh)`);
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'snipora-browser-'));
  const keys = makeKeys(folder, options.keys || []);
  let errors = '';
  for (let attempt = 0; attempt < 5; attempt++) {
    const port = await freePort();
    const run = await runOnce(port, folder, options.args || []);
    errors = run.errors;
    if (run.child) {
      const child = run.child;
      const ended = new Promise((resolve) => child.once('exit', resolve));
      return {
        origin: `http://127.0.0.1:${port}`,
        keys,
        async stop() {
          child.kill('SIGTERM');
          await ended;
          fs.rmSync(folder, { recursive: true, force: true });
        },
      };
    }
    if (!/in use/i.test(errors)) break;
  }
  fs.rmSync(folder, { recursive: true, force: true });
  throw new Error(`snipora-service did not start:\n${errors}`);
}

module.exports = { startService };
