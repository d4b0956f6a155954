'use strict';
// The service's pages in a real browser: both languages and the choice
// carried through a visit, the copy button against the real clipboard, the
// QR code read back by a barcode reader, an address typed in Chinese, the
// Content-Security-Policy with nothing on the pages breaking it, and the
// form without script.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFile } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { startService } = require('./service');
const { launchBrowser, watchedPage } = require('./browser');

const root = path.resolve(__dirname, '..', '..');
const screenshots = process.env.SNIPORA_SCREENSHOTS || path.join(root, 'build', 'browser', 'screenshots');
const han = /\p{Script=Han}/u;
const languages = [
  { accept: 'zh-CN', lang: 'zh-CN', copied: '已复制' },
  { accept: 'en', lang: 'en', copied: 'Copied' },
];

let service;
let chromium;
let scratch;
let created = 0;

before(async () => {
  scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'snipora-pages-'));
  service = await startService();
  chromium = await launchBrowser();
});

after(async () => {
  if (chromium) await chromium.close();
  if (service) await service.stop();
  if (scratch) fs.rmSync(scratch, { recursive: true, force: true });
});

async function open(page, target) {
  const answer = await page.goto(`${service.origin}${target}`, { waitUntil: 'load' });
  assert.equal(answer.status(), 200, `${target} answered ${answer.status()}`);
}

// Types an address (a new one unless given) into the home page's form and
// sends it as a person would; answers the short address the result page
// shows.
async function shorten(page, address) {
  created += 1;
  await page.type('#url', address || `https://example.com/browser/${process.pid}/${created}?q=${created}`);
  const [answer] = await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), page.click('#submit')]);
  assert.equal(answer.status(), 200, `the form's answer was ${answer.status()}`);
  const short = await page.$eval('#short', (link) => ({ href: link.getAttribute('href'), text: link.textContent }));
  assert.match(short.href, new RegExp(`^${service.origin.replace(/\./g, '\\.')}/[A-Za-z0-9_-]+$`));
  assert.equal(short.text, short.href, 'the link shows another address than it leads to');
  return short.href;
}

const pageLanguage = (page) => page.$eval('html', (html) => html.getAttribute('lang'));
const textOf = (page, selector) =>
  page.$eval(selector, (node) => (node.value || node.textContent || '').trim());

// Nothing went wrong in the page that a person would not see.
function assertClean(page) {
  const { consoleErrors, pageErrors, violations } = page.record;
  assert.deepEqual(violations, [], 'Content-Security-Policy violations');
  assert.deepEqual(pageErrors, [], 'uncaught script errors');
  assert.deepEqual(consoleErrors, [], 'console errors');
}

function zbar(file) {
  return new Promise((resolve, reject) => {
    execFile('zbarimg', ['--raw', '-q', file], (error, stdout, stderr) => {
      if (error) reject(new Error(`zbarimg read no code from ${path.basename(file)} (${error.code}) ${stderr}`));
      else resolve(stdout.trim());
    });
  });
}

test('the home page in each language, as Accept-Language asks', async () => {
  for (const { accept, lang } of languages) {
    const page = await watchedPage(chromium.browser, { language: accept });
    await open(page, '/');
    assert.equal(await pageLanguage(page), lang);
    for (const selector of ['h1', 'label[for="url"]', '#submit']) {
      const text = await textOf(page, selector);
      if (lang === 'zh-CN') assert.match(text, han, `${selector} in Chinese`);
      else assert.doesNotMatch(text, han, `${selector} in English`);
      assert.notEqual(text, '', `${selector} has no text`);
    }
    assertClean(page);
    await page.close();
  }
});

test('?lang=en carries through the form and the links to the next page', async () => {
  const page = await watchedPage(chromium.browser, { language: 'zh-CN' });
  await open(page, '/');
  assert.equal(await pageLanguage(page), 'zh-CN');
  await Promise.all([page.waitForNavigation(), page.click('nav#languages a[hreflang="en"]')]);
  assert.equal(new URL(page.url()).search, '?lang=en');
  assert.equal(await pageLanguage(page), 'en');
  assert.equal(await page.$eval('#shorten input[type="hidden"][name="lang"]', (input) => input.value), 'en');

  await shorten(page);
  assert.equal(await pageLanguage(page), 'en', 'the result page lost the language');
  assert.doesNotMatch(await textOf(page, 'h1'), han);

  // Its way back to the form keeps the language too.
  const homeLinks = await page.$$eval('a[href]', (links) => links
    .filter((link) => !link.closest('nav#languages'))
    .map((link) => new URL(link.href))
    .filter((url) => url.origin === location.origin && url.pathname === '/')
    .map((url) => url.href));
  assert.ok(homeLinks.length > 0, 'the result page has no link back to the form');
  for (const link of homeLinks) assert.equal(new URL(link).searchParams.get('lang'), 'en', link);
  await open(page, new URL(homeLinks[0]).pathname + new URL(homeLinks[0]).search);
  assert.equal(await pageLanguage(page), 'en');
  assertClean(page);
  await page.close();
});

test('the copy button puts the short address on the clipboard and says so', async () => {
  await chromium.browser.defaultBrowserContext()
    .overridePermissions(service.origin, ['clipboard-read', 'clipboard-write', 'clipboard-sanitized-write']);
  for (const { accept, lang, copied } of languages) {
    const page = await watchedPage(chromium.browser, { language: accept });
    await page.bringToFront();
    await open(page, `/?lang=${lang}`);
    const short = await shorten(page);
    assert.equal(await page.$eval('#copy', (button) => button.hidden || button.offsetParent === null), false,
      'the script did not show the copy button');
    assert.equal(await textOf(page, '#copied'), '', 'the page says copied before the press');
    // Something else on the clipboard first, so that a press that copies
    // nothing cannot pass.
    await page.evaluate(() => navigator.clipboard.writeText('before the press'));
    await page.click('#copy');
    await page.waitForFunction(() => document.querySelector('#copied').textContent.trim() !== '', { timeout: 5000 });
    assert.equal(await page.evaluate(() => navigator.clipboard.readText()), short);
    assert.equal(await textOf(page, '#copied'), copied);
    assert.equal(await page.$eval('#copied', (status) => status.getAttribute('role')), 'status');
    assertClean(page);
    await page.close();
  }
});

test('the QR code, as PNG and as the page shows it, reads back as the short address with its QR marker', async () => {
  const page = await watchedPage(chromium.browser, { language: 'en' });
  await open(page, '/');
  const short = await shorten(page);
  const code = new URL(short).pathname.slice(1);

  const png = await fetch(`${service.origin}/${code}/qr-code?format=png`);
  assert.equal(png.status, 200);
  assert.equal(png.headers.get('content-type'), 'image/png');
  const pngFile = path.join(scratch, `${code}.png`);
  fs.writeFileSync(pngFile, Buffer.from(await png.arrayBuffer()));
  assert.equal(await zbar(pngFile), `${short}?qr`, 'the PNG route');

  const image = await page.$('#qr');
  assert.ok(image, 'the result page has no #qr');
  assert.equal(new URL(await image.evaluate((img) => img.src)).pathname, `/${code}/qr-code`);
  await page.waitForFunction(() => {
    const img = document.querySelector('#qr');
    return img.complete && img.naturalWidth > 0;
  }, { timeout: 5000 });
  const shownFile = path.join(scratch, `${code}-shown.png`);
  await image.screenshot({ path: shownFile });
  assert.equal(await zbar(shownFile), `${short}?qr`, 'the page\'s image');
  assertClean(page);
  await page.close();
});

test('the pages keep to their Content-Security-Policy, and it refuses inline code', async () => {
  const page = await watchedPage(chromium.browser, { language: 'zh-CN' });
  await open(page, '/');
  await shorten(page);
  await chromium.browser.defaultBrowserContext()
    .overridePermissions(service.origin, ['clipboard-read', 'clipboard-write', 'clipboard-sanitized-write']);
  await page.bringToFront();
  await page.click('#copy');
  await page.waitForFunction(() => document.querySelector('#copied').textContent.trim() !== '', { timeout: 5000 });
  assertClean(page);

  const ours = page.record.answers.filter((answer) => answer.url.startsWith(`${service.origin}/`));
  assert.ok(ours.filter((answer) => answer.document).length >= 2, 'the home and result pages were not seen');
  for (const { url, document, headers } of ours) {
    assert.equal(headers['x-content-type-options'], 'nosniff', url);
    if (!document) continue;
    const policy = headers['content-security-policy'] || '';
    const directives = new Map(policy.split(';').map((part) => part.trim().split(/\s+/))
      .filter((words) => words[0]).map(([name, ...values]) => [name, values.join(' ')]));
    assert.doesNotMatch(policy, /unsafe-inline|unsafe-eval/, url);
    assert.equal(directives.get('default-src'), "'none'", url);
    assert.equal(directives.get('script-src'), "'self'", url);
    assert.equal(directives.get('style-src'), "'self'", url);
    assert.equal(directives.get('frame-ancestors'), "'none'", url);
    assert.equal(headers['referrer-policy'], 'no-referrer', url);
  }

  // The policy bites, and the watch hears it: an inline script and an inline
  // style put into the page are refused and reported.
  const ran = await page.evaluate(() => {
    const script = document.createElement('script');
    script.textContent = 'window.inlineRan = true;';
    document.body.append(script);
    document.body.setAttribute('style', 'background: red');
    return window.inlineRan === true;
  });
  assert.equal(ran, false, 'an inline script ran');
  await new Promise((resolve) => setTimeout(resolve, 300));
  const refused = page.record.violations.join('\n');
  assert.match(refused, /script-src/);
  assert.match(refused, /style-src/);
  await page.close();
});

test('an address typed in Chinese goes out as IDNA and UTF-8 and is shown as typed', async () => {
  for (const { accept } of languages) {
    const page = await watchedPage(chromium.browser, { language: accept });
    await open(page, '/');
    const short = await shorten(page, `https://例子.cn/路径/${accept}?词=值`);
    // Host and path as the person typed them, as a browser's address bar
    // shows them.
    assert.ok((await textOf(page, '#long')).startsWith(`https://例子.cn/路径/${accept}?`), await textOf(page, '#long'));
    const answer = await fetch(short, { redirect: 'manual' });
    assert.equal(answer.headers.get('location'),
      `https://xn--fsqu00a.cn/%E8%B7%AF%E5%BE%84/${accept}?%E8%AF%8D=%E5%80%BC`);
    assertClean(page);
    await page.close();
  }
});

test('without script the form still shortens and the address is there to select', async () => {
  const page = await watchedPage(chromium.browser, { language: 'en', script: false });
  await open(page, '/');
  const short = await shorten(page);
  const selected = await page.$eval('#short', (link) => {
    const range = document.createRange();
    range.selectNodeContents(link);
    const selection = window.getSelection();
    selection.removeAllRanges();
    selection.addRange(range);
    return { text: selection.toString(), userSelect: getComputedStyle(link).userSelect };
  });
  assert.equal(selected.text, short);
  assert.notEqual(selected.userSelect, 'none');
  assert.equal(await page.$eval('#copy', (button) => button.offsetParent === null), true,
    'a copy button that cannot work is shown without script');
  assertClean(page);
  await page.close();
});

// For people to look at, not compared: each language, phone and desktop.
test('screenshots of the home and result pages, and their weight', async (t) => {
  fs.mkdirSync(screenshots, { recursive: true });
  const sizes = {
    phone: { width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true },
    desktop: { width: 1280, height: 800 },
  };
  for (const { accept, lang } of languages) {
    for (const [size, viewport] of Object.entries(sizes)) {
      const page = await watchedPage(chromium.browser, { language: accept });
      await page.setViewport(viewport);
      await page.setCacheEnabled(false);
      const network = await page.createCDPSession();
      await network.send('Network.enable');
      let bytes = 0;
      network.on('Network.loadingFinished', (event) => { bytes += event.encodedDataLength; });

      await open(page, '/');
      await page.screenshot({ path: path.join(screenshots, `home-${lang}-${size}.png`), fullPage: true });
      const home = bytes;
      await shorten(page);
      await page.screenshot({ path: path.join(screenshots, `result-${lang}-${size}.png`), fullPage: true });
      if (size === 'desktop') t.diagnostic(`${lang}: home page ${home} bytes, result page ${bytes - home} bytes, all included`);
      assertClean(page);
      await page.close();
    }
  }
  t.diagnostic(`screenshots in ${screenshots}`);
});
