// Drives the built page in headless Chromium against the headless host: the page's requests go to the
// host's standard input and the host's replies come back through the same bridge script the desktop
// window injects, so the page runs against the real native side.
import { spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import assert from 'node:assert/strict';
import { chromium } from 'playwright-core';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const buildDir = process.env.PELLUCAN_BUILD_DIR ?? path.join(root, 'build');
export const hostPath = path.join(buildDir, 'pellucan-host');
export const pageUrl = pathToFileURL(path.join(buildDir, 'pellucan-page.html')).href;
const bridgeSource = readFileSync(path.join(root, 'platform/webview_bridge.js'), 'utf8');

export const fieldSeparator = '\u001f';

// Stands in for WebKit's script message handler, then runs the real bridge script on top of it.
const initScript = `
  window.webkit = { messageHandlers: { pellucan: { postMessage: (text) => window.pellucanPost(text) } } };
  ${bridgeSource}
`;

const launchArgs = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

// One browser per test file; call from before() and close from after().
export function launchBrowser() {
  return chromium.launch({ executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', args: launchArgs });
}

// Splits the host's standard output into frames: byte length in decimal, a line feed, the UTF-8 text.
class FrameReader {
  constructor(onFrame) {
    this.buffer = Buffer.alloc(0);
    this.onFrame = onFrame;
  }

  push(chunk) {
    this.buffer = Buffer.concat([this.buffer, chunk]);
    for (;;) {
      const newline = this.buffer.indexOf(10);
      if (newline < 0) return;
      const length = Number(this.buffer.subarray(0, newline).toString('ascii'));
      if (this.buffer.length < newline + 1 + length) return;
      const text = this.buffer.subarray(newline + 1, newline + 1 + length).toString('utf8');
      this.buffer = this.buffer.subarray(newline + 1 + length);
      this.onFrame(text);
    }
  }
}

// The headless host on a fresh temporary desktop. Replies whose id starts with "host-" answer requests
// that a test sent itself (request()); every other reply goes to onReply.
export class Host {
  constructor({ open, desktop } = {}) {
    this.desktop = desktop ?? mkdtempSync(path.join(tmpdir(), 'pellucan-desktop-'));
    this.ownsDesktop = !desktop;
    const args = ['--desktop', this.desktop];
    if (open !== undefined) args.push('--open', open);
    this.child = spawn(hostPath, args, { stdio: ['pipe', 'pipe', 'pipe'] });
    this.stderr = '';
    this.child.stderr.on('data', (chunk) => { this.stderr += chunk.toString('utf8'); });
    this.child.stdin.on('error', () => {});
    this.exited = new Promise((resolve) => this.child.on('exit', resolve));
    this.onReply = () => {};
    this.ownRequests = new Map();
    this.ownCounter = 0;
    const reader = new FrameReader((text) => this.#received(text));
    this.child.stdout.on('data', (chunk) => reader.push(chunk));
  }

  #received(text) {
    const colon = text.indexOf(':');
    const id = colon < 0 ? text : text.slice(0, colon);
    const own = this.ownRequests.get(id);
    if (own) {
      this.ownRequests.delete(id);
      own(text.slice(colon + 1));
    } else {
      this.onReply(text);
    }
  }

  send(text) {
    const bytes = Buffer.from(text, 'utf8');
    this.child.stdin.write(`${bytes.length}\n`);
    this.child.stdin.write(bytes);
  }

  // Runs one command directly on the host, beside the page, and resolves with its result text.
  request(name, args = '') {
    const id = `host-${++this.ownCounter}`;
    return new Promise((resolve) => {
      this.ownRequests.set(id, resolve);
      this.send(`${id}:${name}:${args}`);
    });
  }

  async stop() {
    if (this.child.exitCode === null && this.child.signalCode === null) {
      this.child.stdin.end();
      const timer = setTimeout(() => this.child.kill('SIGKILL'), 3000);
      await this.exited;
      clearTimeout(timer);
    }
    if (this.ownsDesktop) rmSync(this.desktop, { recursive: true, force: true });
  }
}

// One page in its own browser context, wired to a host (the real native side), or to nothing when
// host is false: then the test answers the page's requests itself with reply().
export class Session {
  static async open(browser, { host = true, open, desktop, clock = false, viewport, url = pageUrl, waitUntil } = {}) {
    const session = new Session();
    session.host = host ? new Host({ open, desktop }) : null;
    session.context = await browser.newContext({ viewport: viewport ?? { width: 1040, height: 640 } });
    if (clock) {
      // A paused clock: the page's timers move only when the test runs the clock forward.
      await session.context.clock.install({ time: 0 });
      await session.context.clock.pauseAt(1000);
    }
    session.requests = [];
    session.delivered = 0;
    session.hold = false;
    session.held = [];
    session.dialogs = [];
    await session.context.exposeBinding('pellucanPost', (_source, text) => {
      session.requests.push(text);
      if (session.host) session.host.send(text);
    });
    await session.context.addInitScript(initScript);
    session.page = await session.context.newPage();
    session.errors = [];
    session.page.on('pageerror', (error) => session.errors.push(error.message));
    session.page.on('console', (message) => {
      if (message.type() === 'error') session.errors.push(message.text());
    });
    if (session.host) session.host.onReply = (text) => session.#deliverInOrder(text);
    await session.page.goto(url, { waitUntil });
    return session;
  }

  #chain = Promise.resolve();

  #deliverInOrder(text) {
    if (this.hold) {
      this.held.push(text);
      return;
    }
    this.#chain = this.#chain.then(() => this.reply(text)).catch(() => {});
  }

  // Hands one reply text to the page, as the native window does.
  async reply(text) {
    await this.page.evaluate((reply) => window.chrome.webview.deliverReply(reply), text);
    this.delivered += 1;
  }

  // Delivers the replies kept back while hold was set, in order.
  async release() {
    this.hold = false;
    const held = this.held.splice(0);
    for (const text of held) await this.reply(text);
  }

  // Waits until every request the page has posted has been answered and the answer delivered, and the
  // page has had a moment to act on it (which may post further requests).
  async settle({ timeout = 4000 } = {}) {
    const deadline = Date.now() + timeout;
    // Waits on Node's timers, not the page's, which a paused clock would stop.
    const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
    for (;;) {
      await this.#chain;
      await this.page.evaluate(() => 0);
      if (this.delivered >= this.requests.length) {
        await pause(30);
        await this.#chain;
        await this.page.evaluate(() => 0);
        if (this.delivered >= this.requests.length) return;
      }
      if (Date.now() > deadline) {
        throw new Error(`requests unanswered: ${this.requests.slice(this.delivered).join(' | ')}`);
      }
      await pause(10);
    }
  }

  // The requests posted since the last call, as "name:args" texts without their ids.
  takeRequests() {
    const taken = this.requests.slice(this.taken ?? 0);
    this.taken = this.requests.length;
    return taken.map((text) => text.slice(text.indexOf(':') + 1));
  }

  async close() {
    await this.context.close().catch(() => {});
    if (this.host) await this.host.stop();
  }
}

// Opens a session for one test and closes it when the test ends.
export async function openSession(t, browser, options) {
  const session = await Session.open(browser, options);
  t.after(async () => {
    await session.close();
    assert.deepEqual(session.errors, [], 'the page reported errors');
  });
  return session;
}

// Retries an assertion until it holds or the time is up, then fails with the last difference.
export async function eventually(read, expected, { timeout = 3000 } = {}) {
  const deadline = Date.now() + timeout;
  for (;;) {
    const actual = await read();
    try {
      assert.deepEqual(actual, expected);
      return;
    } catch (error) {
      if (Date.now() > deadline) throw error;
    }
    await new Promise((resolve) => setTimeout(resolve, 25));
  }
}

// The texts of a table body as one array of row arrays.
export function tableRows(page, bodySelector) {
  return page.$$eval(`${bodySelector} tr`, (rows) => rows.map((row) => [...row.cells].map((cell) => cell.textContent)));
}

// The message currently shown in the message dialog, or null when none is shown.
export function shownMessage(page) {
  return page.evaluate(() => {
    const overlay = document.getElementById('dialog-overlay');
    return overlay && !overlay.classList.contains('hidden') ? document.getElementById('dialog-message').textContent : null;
  });
}

// Waits for the message dialog to show the text, then dismisses it with OK (the click is handled before
// this returns; a message waiting behind it may show at once).
export async function dismissMessage(page, text) {
  await eventually(() => shownMessage(page), text);
  await page.click('#dialog-ok');
}

// Opens a section through its navigation link.
export async function goTo(page, section) {
  await page.click(`nav a[data-page="${section}"]`);
}

// Creates a contest through the Contest screen and waits until the page shows it as open.
export async function createContest(session, name = 'Spring Quiz') {
  const { page } = session;
  await goTo(page, 'contest');
  await page.fill('#contest-name-inp', name);
  await page.click('#create-contest-btn');
  await eventually(() => page.textContent('#contest-name'), name);
  await session.settle();
}

// Adds teams through the Teams screen: each entry is a name or [name, coach, seed].
export async function addTeams(session, teams) {
  const { page } = session;
  await goTo(page, 'teams');
  for (const team of teams) {
    const [name, coach = '', seed = ''] = Array.isArray(team) ? team : [team];
    await page.fill('#team-name-inp', name);
    await page.fill('#team-coach-name-inp', coach);
    await page.fill('#team-seed-inp', String(seed));
    await page.click('#save-team-btn');
    await session.settle();
  }
}

// Adds contestants through the Contestants screen: each entry is [team name, contestant name, chair].
export async function addContestants(session, contestants) {
  const { page } = session;
  await goTo(page, 'contestants');
  for (const [team, name, chair] of contestants) {
    await page.selectOption('#contestant-team-name-inp', team);
    await page.fill('#contestant-name-inp', name);
    await page.fill('#contestant-chair-inp', String(chair));
    await page.click('#save-contestant-btn');
    await session.settle();
  }
}

// A contest with the given teams (as addTeams takes them), each seated with four contestants named after
// it, ready to start.
export async function contestWithTeams(session, teams) {
  await createContest(session);
  await addTeams(session, teams);
  const contestants = [];
  for (const [team] of teams.map((entry) => [entry].flat())) {
    for (let chair = 1; chair <= 4; ++chair) contestants.push([team, `${team} ${chair}`, chair]);
  }
  // Straight to the host: faster than the form, whose own tests are with the Contestants screen.
  const saved = (await session.host.request('fetch_teams')).split(fieldSeparator);
  for (const [team, name, chair] of contestants) {
    const id = saved[saved.indexOf(team) - 1];
    const result = await session.host.request('save_contestant', ['none', id, name, chair].join(fieldSeparator));
    assert.equal(result, '', `saving ${name}`);
  }
}

// The saved sheet text of a decided match, for saving straight through the host: chair and bonus
// subtotals 0, the given totals, and a tie-break with initials when one is given. Field k + 1 holds cell k:
// the main subtotals are cells 384 to 395, then the totals and initials; the tie-break's are cells 532 to 535.
export function savedSheet(match, red, white, tie) {
  const fields = [String(match), ...new Array(536).fill('')];
  const cells = (first, ...texts) => texts.forEach((text, k) => { fields[first + k + 1] = String(text); });
  cells(384, ...new Array(12).fill(0), red, white, 'AB', 'CD');
  if (tie) cells(532, ...tie, 'EF', 'GH');
  return fields.join(fieldSeparator);
}
