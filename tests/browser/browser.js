'use strict';
// Debian's chromium, headless, through puppeteer-core (installed by
// scripts/setup.sh into build/browser), and a watch on each page for what a
// person would not see: console errors, uncaught script errors and
// Content-Security-Policy violations, with the headers of every answer.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { createRequire } = require('node:module');

const root = path.resolve(__dirname, '..', '..');
const modules = process.env.SNIPORA_BROWSER_MODULES || path.join(root, 'build', 'browser');

function puppeteer() {
  try {
    return createRequire(path.join(modules, 'package.json'))('puppeteer-core');
  } catch (error) {
    throw new Error(`puppeteer-core is not installed in ${modules} (run scripts/setup.sh): ${error.message}`);
  }
}

async function launchBrowser() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'snipora-chromium-'));
  const browser = await puppeteer().launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  return {
    browser,
    async close() {
      await browser.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// A new page whose troubles are collected in page.record. The violation
// listener is added before any of the page's own script runs, on every
// document the page loads.
async function watchedPage(browser, { language, script = true } = {}) {
  const page = await browser.newPage();
  const record = { consoleErrors: [], pageErrors: [], violations: [], answers: [] };
  page.record = record;
  page.on('console', (message) => {
    if (message.type() === 'error') record.consoleErrors.push(`${message.text()} (${message.location().url || page.url()})`);
  });
  page.on('pageerror', (error) => record.pageErrors.push(`${error.message} (${page.url()})`));
  page.on('response', (response) => {
    record.answers.push({
      url: response.url(),
      status: response.status(),
      document: response.request().resourceType() === 'document',
      headers: response.headers(),
    });
  });
  await page.exposeFunction('sniporaViolation', (violation) => record.violations.push(violation));
  await page.evaluateOnNewDocument(() => {
    document.addEventListener('securitypolicyviolation', (event) => {
      window.sniporaViolation(`${event.effectiveDirective} blocked ${event.blockedURI || 'inline'} in ${event.documentURI}`);
    });
  });
  if (language) await page.setExtraHTTPHeaders({ 'Accept-Language': language });
  if (!script) await page.setJavaScriptEnabled(false);
  return page;
}

module.exports = { launchBrowser, watchedPage };
