'use strict';
// A web client of Shlink's API runs in a browser on another origin than the
// service: here Shlink's own JavaScript SDK, loaded unchanged into a page of
// another origin in Debian's chromium, creates, reads, edits and deletes a
// short URL through the service, the browser's preflights and all. The
// service's own API stays closed to such a page.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');
const { startService } = require('./service');
const { launchBrowser, watchedPage } = require('./browser');

const root = path.resolve(__dirname, '..', '..');
const sdk = path.join(process.env.SNIPORA_CLIENT_MODULES || path.join(root, 'build', 'clients'),
  'node_modules', '@shlinkio', 'shlink-js-sdk', 'dist');

let service;
let chromium;
let site;  // the other origin: a page and the SDK's two browser modules
let siteOrigin;

before(async () => {
  if (!fs.existsSync(path.join(sdk, 'index.js'))) throw new Error(`the Shlink SDK is not installed in ${sdk} (run scripts/setup.sh)`);
  service = await startService({ keys: [{ name: 'web', role: 'creator' }] });
  site = http.createServer((request, response) => {
    const file = { '/index.js': 'index.js', '/fetch.js': 'fetch.js' }[request.url];
    if (file) {
      response.writeHead(200, { 'Content-Type': 'text/javascript' });
      response.end(fs.readFileSync(path.join(sdk, file)));
    } else {
      response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
      response.end('<!doctype html><title>web client</title>');
    }
  });
  await new Promise((resolve) => site.listen(0, '127.0.0.1', resolve));
  siteOrigin = `http://127.0.0.1:${site.address().port}`;
  chromium = await launchBrowser();
});

after(async () => {
  if (chromium) await chromium.close();
  if (site) await new Promise((resolve) => site.close(resolve));
  if (service) await service.stop();
});

test("Shlink's SDK in a page of another origin manages a short URL through the service", async () => {
  const page = await watchedPage(chromium.browser);
  await page.goto(`${siteOrigin}/`, { waitUntil: 'load' });
  assert.notEqual(new URL(siteOrigin).origin, new URL(service.origin).origin);
  const seen = await page.evaluate(async (baseUrl, apiKey) => {
    // the SDK throws the problem details it was answered: returned as they came
    try {
      const { ShlinkApiClient } = await import('/index.js');
      const { FetchHttpClient } = await import('/fetch.js');
      const client = new ShlinkApiClient(new FetchHttpClient(), { baseUrl, apiKey });
      const made = await client.createShortUrl({ longUrl: 'https://example.com/from-a-web-client', title: 'web', tags: ['w'] });
      const read = await client.getShortUrl({ shortCode: made.shortCode });
      const edited = await client.updateShortUrl({ shortCode: made.shortCode }, { title: 'changed' });
      const listed = await client.listShortUrls({ itemsPerPage: 5 });
      await client.deleteShortUrl({ shortCode: made.shortCode });
      let afterDelete = '';
      try {
        await client.getShortUrl({ shortCode: made.shortCode });
      } catch (problem) {
        afterDelete = problem.type;
      }
      // the service's own API answers no other origin's script
      let ownApi = 'read';
      try {
        await fetch(`${baseUrl}/api/v1/links`, { headers: { Authorization: `Bearer ${apiKey}` } });
      } catch (error) {
        ownApi = error.name;
      }
      return { made, read: read.longUrl, edited: edited.title, total: listed.pagination.totalItems, afterDelete, ownApi };
    } catch (thrown) {
      return { fail: thrown instanceof Error ? thrown.message : JSON.stringify(thrown) };
    }
  }, service.origin, service.keys.web);
  assert.equal(seen.fail, undefined, `the SDK failed in the page: ${seen.fail}`);
  assert.equal(seen.made.longUrl, 'https://example.com/from-a-web-client');
  assert.equal(seen.made.shortUrl, `${service.origin}/${seen.made.shortCode}`);
  assert.deepEqual(seen.made.tags, ['w']);
  assert.equal(seen.read, 'https://example.com/from-a-web-client');
  assert.equal(seen.edited, 'changed');
  assert.equal(seen.total, 1);
  assert.match(seen.afterDelete, /short-url-not-found/);
  assert.equal(seen.ownApi, 'TypeError');
  // the browser asked first, and was allowed
  const preflights = page.record.answers.filter((answer) => answer.status === 204 &&
    answer.headers['access-control-allow-methods']);
  assert.ok(preflights.length >= 1, 'no preflight was answered');
  await page.close();
});
