// Shlink's own JavaScript SDK, unchanged, against the real service: it
// creates, reads, lists, edits and deletes short URLs, checks health, and
// meets a refusal as it throws them (the parsed problem details).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { createRequire } from 'node:module';

const here = path.dirname(fileURLToPath(import.meta.url));
const { startService } = createRequire(import.meta.url)('../browser/service.js');
// ES modules do not look in NODE_PATH: the clients installed into the build
// tree are imported through their own package's exports.
const modules = process.env.SNIPORA_CLIENT_MODULES || path.join(here, '..', '..', 'build', 'clients');

async function importPackage(name, subpath = '.') {
  const folder = path.join(modules, 'node_modules', name);
  if (!fs.existsSync(path.join(folder, 'package.json'))) {
    throw new Error(`${name} is not installed in ${modules} (run scripts/setup.sh)`);
  }
  const manifest = JSON.parse(fs.readFileSync(path.join(folder, 'package.json'), 'utf8'));
  return import(pathToFileURL(path.join(folder, manifest.exports[subpath].import)).href);
}

const { ShlinkApiClient } = await importPackage('@shlinkio/shlink-js-sdk');
const { FetchHttpClient } = await importPackage('@shlinkio/shlink-js-sdk', './fetch');
const { ErrorType } = await importPackage('@shlinkio/shlink-js-sdk', './api-contract');

let service;
let alice;
let bob;

before(async () => {
  service = await startService({ keys: [{ name: 'alice', role: 'creator' }, { name: 'bob', role: 'creator' }] });
  const client = (apiKey) => new ShlinkApiClient(new FetchHttpClient(), { baseUrl: service.origin, apiKey });
  alice = client(service.keys.alice);
  bob = client(service.keys.bob);
});

after(async () => {
  if (service) await service.stop();
});

// What the SDK threw, for assertions on it.
async function refusal(promise) {
  try {
    await promise;
  } catch (thrown) {
    return thrown;
  }
  assert.fail('the call was not refused');
}

test('a short URL made, read, listed, edited and deleted through the SDK', async () => {
  const made = await alice.createShortUrl({
    longUrl: 'https://docs.example/guide?page=2',
    customSlug: 'guide',
    title: 'The guide',
    tags: ['docs', 'howto'],
    validUntil: '2031-06-01T12:00:00+02:00',
    maxVisits: 50,
    findIfExists: true,
  });
  assert.equal(made.shortCode, 'guide');
  assert.equal(made.shortUrl, `${service.origin}/guide`);
  assert.equal(made.longUrl, 'https://docs.example/guide?page=2');
  assert.deepEqual(made.meta, { validSince: null, validUntil: '2031-06-01T10:00:00+00:00', maxVisits: 50 });
  assert.deepEqual(made.visitsSummary, { total: 0, nonBots: 0, bots: 0 });
  assert.equal(made.domain, null);
  assert.ok(!Number.isNaN(Date.parse(made.dateCreated)));

  // the short URL answered works
  const followed = await fetch(made.shortUrl, { redirect: 'manual' });
  assert.equal(followed.status, 301);
  assert.equal(followed.headers.get('location'), made.longUrl);

  const read = await alice.getShortUrl({ shortCode: 'guide' });
  assert.equal(read.dateCreated, made.dateCreated);
  assert.equal(read.visitsSummary.total, 1);
  assert.equal(read.title, 'The guide');
  assert.deepEqual(read.tags, ['docs', 'howto']);

  for (const url of ['https://docs.example/a', 'https://docs.example/b', 'https://other.example/']) {
    await alice.createShortUrl({ longUrl: url });
  }
  await bob.createShortUrl({ longUrl: 'https://docs.example/bob' });
  const first = await alice.listShortUrls({ page: '1', itemsPerPage: 2 });
  assert.equal(first.data.length, 2);
  assert.deepEqual(first.pagination,
    { currentPage: 1, pagesCount: 2, itemsPerPage: 2, itemsInCurrentPage: 2, totalItems: 4 });
  const found = await alice.listShortUrls({ searchTerm: 'docs.example' });
  assert.equal(found.pagination.totalItems, 3);
  assert.ok(found.data.every((shortUrl) => shortUrl.longUrl.includes('docs.example')));

  const ordered = await alice.listShortUrls({ orderBy: { field: 'longUrl', dir: 'DESC' }, itemsPerPage: 3 });
  assert.deepEqual(ordered.data.map((shortUrl) => shortUrl.longUrl),
    ['https://other.example/', 'https://docs.example/guide?page=2', 'https://docs.example/b']);
  const tagged = await alice.listShortUrls({ tags: ['howto'] });
  assert.deepEqual(tagged.data.map((shortUrl) => shortUrl.shortCode), ['guide']);

  const edited = await alice.updateShortUrl({ shortCode: 'guide' },
    { maxVisits: 2, validUntil: null, title: 'Guide, edited', tags: ['docs'] });
  assert.deepEqual(edited.meta, { validSince: null, validUntil: null, maxVisits: 2 });
  assert.equal(edited.title, 'Guide, edited');
  assert.deepEqual((await alice.getShortUrl({ shortCode: 'guide' })).tags, ['docs']);
  await fetch(made.shortUrl, { redirect: 'manual' });
  assert.equal((await fetch(made.shortUrl, { redirect: 'manual' })).status, 410);

  await alice.deleteShortUrl({ shortCode: 'guide' });
  assert.equal((await fetch(made.shortUrl, { redirect: 'manual' })).status, 404);
  const gone = await refusal(alice.getShortUrl({ shortCode: 'guide' }));
  assert.equal(gone.type, ErrorType.INVALID_SHORTCODE);
  assert.equal(gone.status, 404);
});

test('health as the SDK reads it', async () => {
  const health = await alice.health();
  assert.equal(health.status, 'pass');
  assert.match(health.version, /^\d+\.\d+\.\d+$/);
});

test('refusals arrive as the problem details the SDK throws', async () => {
  await alice.createShortUrl({ longUrl: 'https://taken.example/', customSlug: 'taken' });
  const taken = await refusal(bob.createShortUrl({ longUrl: 'https://elsewhere.example/', customSlug: 'taken' }));
  assert.equal(taken.type, ErrorType.INVALID_SLUG);
  assert.equal(taken.status, 400);
  assert.equal(taken.customSlug, 'taken');

  const loop = await refusal(alice.createShortUrl({ longUrl: `${service.origin}/taken` }));
  assert.equal(loop.type, ErrorType.INVALID_ARGUMENT);
  assert.deepEqual(loop.invalidElements, ['longUrl']);

  // another creator's short URL is not there for this key
  const hidden = await refusal(bob.updateShortUrl({ shortCode: 'taken' }, { maxVisits: 1 }));
  assert.equal(hidden.type, ErrorType.INVALID_SHORTCODE);

  const stranger = new ShlinkApiClient(new FetchHttpClient(), { baseUrl: service.origin, apiKey: 'snp_not_a_key' });
  const wrongKey = await refusal(stranger.listShortUrls());
  assert.equal(wrongKey.type, ErrorType.INVALID_API_KEY);
  assert.equal(wrongKey.status, 401);

  // what is not offered is refused, never an empty success
  const visits = await refusal(alice.getShortUrlVisits({ shortCode: 'taken' }));
  assert.equal(visits.status, 501);
  assert.equal(typeof visits.detail, 'string');
});

test('the SDK lists the domains, the one served the default', async () => {
  const domains = await alice.listDomains();
  assert.deepEqual(domains.data.map(({ domain, isDefault }) => ({ domain, isDefault })),
    [{ domain: new URL(service.origin).host, isDefault: true }]);
  assert.equal(domains.data[0].redirects.baseUrlRedirect, null);
  assert.equal(domains.defaultRedirects.regular404Redirect, null);
});
