// Kutt's own npm client (kutt, installed by scripts/setup.sh into
// build/clients), unchanged, against the real service: a link made, followed,
// reused, listed, changed and deleted; the health check and the key check;
// refusals rejected with the service's sentence as Kutt's client reads it.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const modules = process.env.SNIPORA_CLIENT_MODULES || path.join(here, '..', '..', 'build', 'clients');
const { startService } = createRequire(import.meta.url)('../browser/service.js');

function kuttModule() {
  try {
    return createRequire(path.join(modules, 'package.json'))('kutt');
  } catch (error) {
    throw new Error(`kutt is not installed in ${modules} (run scripts/setup.sh): ${error.message}`);
  }
}

let service;
let Kutt;

before(async () => {
  ({ Kutt } = kuttModule());
  service = await startService({ keys: [{ name: 'alice', role: 'creator' }, { name: 'bob', role: 'creator' }] });
});

after(async () => {
  if (service) await service.stop();
});

// The client as its README sets it up.
const kutt = (key) => new Kutt().set('api', `${service.origin}/api/v2`).set('key', key);

// Seconds from now to a date the client revived.
const fromNow = (date) => (date.getTime() - Date.now()) / 1000;

// How a rejection of the client reads: its message and the status it kept.
async function refusal(promise) {
  const error = await promise.then(() => assert.fail('the client did not reject'), (rejected) => rejected);
  return { message: error.message, status: error.cause?.status };
}

test("a link is made, followed, reused, listed, changed and deleted through Kutt's client", async () => {
  const links = kutt(service.keys.alice).links();
  const target = 'https://example.com/kutt/one?x=1';
  const made = await links.create({
    target, description: 'One', expire_in: '2 hours', customurl: null, reuse: false, password: null, domain: null,
  });
  assert.match(made.id, /^[A-Za-z0-9_-]+$/);
  assert.equal(made.address, made.id);
  assert.equal(made.link, `${service.origin}/${made.id}`);
  assert.equal(made.target, target);
  assert.equal(made.description, 'One');
  assert.equal(made.password, false);
  assert.equal(made.visit_count, 0);
  assert.ok(made.created_at instanceof Date && Math.abs(fromNow(made.created_at)) < 5, String(made.created_at));
  assert.ok(Math.abs(fromNow(new Date(made.expire_in)) - 7200) < 5, made.expire_in);

  const followed = await fetch(made.link, { redirect: 'manual' });
  assert.equal(followed.status, 301);
  assert.equal(followed.headers.get('location'), target);

  const reused = await links.create({ target, reuse: true });
  assert.equal(reused.id, made.id);

  const list = await links.list();
  assert.deepEqual({ total: list.total, skip: list.skip, limit: list.limit }, { total: 1, skip: 0, limit: 10 });
  assert.deepEqual(list.data.map((link) => link.id), [made.id]);
  assert.equal(list.data[0].visit_count, 1);
  assert.equal(list.data[0].description, 'One');
  assert.equal(list.data[0].expire_in, made.expire_in);

  // the client's update sends the target and address back with the change
  const changed = await links.update(made.id, { target, address: made.address, description: 'Changed',
    expire_in: '3 days' });
  assert.equal(changed.id, made.id);
  assert.equal(changed.description, 'Changed');
  assert.ok(Math.abs(fromNow(new Date(changed.expire_in)) - 3 * 86400) < 5, changed.expire_in);

  // the client's stats() sends DELETE .../ID/stats: refused, and nothing is deleted
  assert.equal((await refusal(links.stats(made.id))).status, 404);
  assert.equal((await links.list()).total, 1);

  assert.equal(await links.remove(made.id), 'Link has been deleted successfully.');
  assert.equal((await links.list()).total, 0);
  assert.equal((await fetch(made.link, { redirect: 'manual' })).status, 404);
});

test('the health check and the key check answer as Kutt does', async () => {
  assert.equal(await kutt('').health().check(), true);
  const user = await kutt(service.keys.bob).users().info();
  assert.deepEqual(user, { apikey: service.keys.bob, email: '', domains: [] });
  assert.deepEqual(await refusal(kutt('snp_wrong').users().info()), { message: 'API key is not correct.', status: 401 });
});

test("refusals reject with the service's sentence and Kutt's status", async () => {
  const alice = kutt(service.keys.alice).links();
  const bob = kutt(service.keys.bob).links();
  const scheme = await refusal(alice.create({ target: 'ftp://example.com/file' }));
  assert.equal(scheme.status, 400);
  assert.match(scheme.message, /\S/);
  assert.deepEqual(await refusal(alice.create({ target: 'https://example.com/p', password: 'secret' })), {
    message: 'Passwords are not supported by this service: send password as null or leave it out.', status: 400,
  });
  assert.deepEqual(await refusal(kutt('snp_wrong').links().list()), { message: 'API key is not correct.', status: 401 });

  const own = await alice.create({ target: 'https://example.com/alices' });
  const notYours = { message: 'This link was made with another key.', status: 403 };
  assert.deepEqual(await refusal(bob.update(own.id, { expire_in: '1 day' })), notYours);
  assert.deepEqual(await refusal(bob.remove(own.id)), notYours);
  assert.equal((await bob.list()).total, 0);
  assert.equal((await alice.list()).total, 1);
});
