// The Contest screen against the real native side: creating and opening a contest.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { dismissMessage, eventually, fieldSeparator, Host, launchBrowser, openSession, shownMessage } from './harness.mjs';

let browser;
before(async () => { browser = await launchBrowser(); });
after(() => browser?.close());

const controlsDisabled = (page) => page.evaluate(() =>
  ['contest-name-inp', 'create-contest-btn', 'open-contest-btn'].map((id) => document.getElementById(id).disabled));

// A desktop holding a contest with one team, made by a host of its own that has since ended.
async function desktopWithContest(t, name) {
  const desktop = mkdtempSync(path.join(tmpdir(), 'pellucan-desktop-'));
  t.after(() => rmSync(desktop, { recursive: true, force: true }));
  const host = new Host({ desktop });
  assert.equal(await host.request('create_contest', name), '');
  assert.equal(await host.request('call_save_team', ['none', 'Ash', 'Rowan', ''].join(fieldSeparator)), '');
  await host.stop();
  return desktop;
}

describe('Contest screen', () => {
  test('creates a contest folder and locks the screen', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    // A name of blanks is refused on the page.
    await page.fill('#contest-name-inp', '   ');
    await page.click('#create-contest-btn');
    await dismissMessage(page, 'Please enter a contest name.');
    assert.deepEqual(session.requests, []);

    await page.fill('#contest-name-inp', '  Spring Quiz  ');
    await page.click('#create-contest-btn');
    await eventually(() => page.textContent('#contest-name'), 'Spring Quiz');
    assert.equal(existsSync(path.join(session.host.desktop, 'Spring Quiz', 'contest.db')), true);
    assert.equal(await page.inputValue('#contest-name-inp'), '');
    assert.deepEqual(await controlsDisabled(page), [true, true, true]);
    // A new contest is empty: nothing is fetched.
    await session.settle();
    assert.deepEqual(session.takeRequests(), ['create_contest:Spring Quiz']);

    // With a contest open, neither create nor open sends anything.
    await page.$eval('#create-contest-form', (form) => form.requestSubmit());
    await page.$eval('#open-contest-btn', (button) => { button.disabled = false; button.click(); });
    await page.waitForTimeout(100);
    assert.deepEqual(session.takeRequests(), []);
  });

  test('shows the native sentence when the contest already exists and lets another name be tried', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    mkdirSync(path.join(session.host.desktop, 'Spring'));
    writeFileSync(path.join(session.host.desktop, 'Spring', 'notes.txt'), 'the user\'s own file');
    await page.fill('#contest-name-inp', 'Spring');
    await page.click('#create-contest-btn');
    await dismissMessage(page, 'A contest with this name is already on your desktop.');
    assert.equal(await page.textContent('#contest-name'), 'None');
    assert.deepEqual(await controlsDisabled(page), [false, false, false]);
    await page.fill('#contest-name-inp', 'Autumn');
    await page.click('#create-contest-btn');
    await eventually(() => page.textContent('#contest-name'), 'Autumn');
  });

  test('takes out a field separator typed into the name', async (t) => {
    const session = await openSession(t, browser);
    await session.page.fill('#contest-name-inp', `Spr${fieldSeparator}ing`);
    await session.page.click('#create-contest-btn');
    await eventually(() => session.page.textContent('#contest-name'), 'Spring');
    assert.deepEqual(session.takeRequests(), ['create_contest:Spring']);
  });

  test('opens a contest and loads its teams and contestants', async (t) => {
    const desktop = await desktopWithContest(t, 'Club Night');
    const session = await openSession(t, browser, { desktop, open: path.join(desktop, 'Club Night', 'contest.db') });
    const { page } = session;
    await page.click('#open-contest-btn');
    await eventually(() => page.textContent('#contest-name'), 'Club Night');
    assert.deepEqual(await controlsDisabled(page), [true, true, true]);
    await session.settle();
    assert.deepEqual(session.takeRequests(), ['open_contest:', 'fetch_teams:', 'fetch_contestants:', 'fetch_contestant_counts:']);
    assert.deepEqual(await page.$$eval('#teams-body td', (cells) => cells.map((c) => c.textContent)), ['Ash', 'Rowan', '1']);
    assert.deepEqual(await page.$$eval('#contestant-team-name-inp option', (o) => o.map((e) => e.value)), ['', 'Ash']);
  });

  test('changes nothing when the file dialog is cancelled, and lets it be opened again', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await page.click('#open-contest-btn');
    await session.settle();
    assert.deepEqual(session.takeRequests(), ['open_contest:']);
    assert.equal(await page.textContent('#contest-name'), 'None');
    assert.deepEqual(await controlsDisabled(page), [false, false, false]);
    assert.equal(await shownMessage(page), null);
    await page.click('#open-contest-btn');
    await session.settle();
    assert.deepEqual(session.takeRequests(), ['open_contest:']);
  });

  test('works on for a contest named None', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await page.fill('#contest-name-inp', 'None');
    await page.click('#create-contest-btn');
    await eventually(() => controlsDisabled(page), [true, true, true]);
    await page.click('nav a[data-page="teams"]');
    await page.fill('#team-name-inp', 'Ash');
    await page.click('#save-team-btn');
    await eventually(() => page.$$eval('#teams-body td', (cells) => cells.map((c) => c.textContent)), ['Ash', '', '1']);
  });
});
