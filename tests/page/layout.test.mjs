// The page's frame: navigation, help panels, the two dialogs and their keys, the zoom warning, print.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import {
  contestWithTeams, createContest, dismissMessage, eventually, fieldSeparator, goTo, launchBrowser, openSession,
  shownMessage, tableRows,
} from './harness.mjs';

let browser;
before(async () => { browser = await launchBrowser(); });
after(() => browser?.close());

const activeElementId = (page) => page.evaluate(() => document.activeElement?.id ?? null);
const inert = (page) => page.evaluate(() => [
  document.querySelector('main').inert,
  document.getElementById('dialog-overlay').inert,
  document.getElementById('confirm-overlay').inert,
]);
const isShown = (page, selector) => page.isVisible(selector);

// Opens a contest with the test answering as the native side.
async function openFakeContest(session) {
  await session.page.fill('#contest-name-inp', 'Spring');
  await session.page.click('#create-contest-btn');
  await eventually(() => session.takeRequests(), ['create_contest:Spring']);
  await session.reply(`${session.requests.length}:`);
  await eventually(() => session.page.textContent('#contest-name'), 'Spring');
}

describe('Navigation', () => {
  test('shows one section at a time and focuses its first text input or select', async (t) => {
    const { page } = await openSession(t, browser, { host: false });
    // At start the Contest section shows, with the focus in the contest name.
    assert.deepEqual(await page.$$eval('section.active', (s) => s.map((e) => e.id)), ['contest']);
    assert.equal(await activeElementId(page), 'contest-name-inp');

    await goTo(page, 'teams');
    assert.deepEqual(await page.$$eval('section.active', (s) => s.map((e) => e.id)), ['teams']);
    assert.equal(await activeElementId(page), 'team-name-inp');
    // The select of team names comes before the contestant name.
    await goTo(page, 'contestants');
    assert.equal(await activeElementId(page), 'contestant-team-name-inp');
    for (const section of ['brackets', 'matches', 'rankings', 'about']) {
      await goTo(page, section);
      assert.equal(await isShown(page, `#${section}`), true);
      assert.equal(await page.evaluate((id) => document.getElementById(id).contains(document.activeElement), section), false,
        `${section} takes no focus`);
    }
  });

  test('gives no focus on the Contest section once a contest is open', async (t) => {
    const session = await openSession(t, browser, { host: false });
    await openFakeContest(session);
    await goTo(session.page, 'about');
    await goTo(session.page, 'contest');
    assert.equal(await session.page.evaluate(() => document.getElementById('contest').contains(document.activeElement)), false);
  });

  test('toggles each help panel with its button', async (t) => {
    const { page } = await openSession(t, browser, { host: false });
    for (const section of ['contest', 'teams', 'contestants', 'brackets', 'matches']) {
      const panel = `#${section}-help`;
      await page.evaluate((id) => document.querySelectorAll('main > section')
        .forEach((s) => s.classList.toggle('active', s.id === id)), section);
      assert.equal(await isShown(page, panel), false);
      await page.click(`#${section} .help-toggle`);
      assert.equal(await isShown(page, panel), true);
      await page.click(`#${section} .help-toggle`);
      assert.equal(await isShown(page, panel), false);
    }
  });
});

describe('Style sheet', () => {
  test('gives tables, sections and dialogs their looks', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await createContest(session);
    await goTo(page, 'teams');
    await page.fill('#team-name-inp', 'Ash');
    await page.click('#save-team-btn');
    await session.settle();
    const style = (selector, ...names) => page.$eval(selector, (element, names) => {
      const computed = getComputedStyle(element);
      return names.map((name) => computed.getPropertyValue(name));
    }, names);
    // Head and body cells of the setup tables; the seed column is right-aligned.
    assert.deepEqual(await style('#teams-table th', 'padding', 'background-color', 'border-top-style', 'white-space'),
      ['4px 12px', 'rgb(240, 240, 240)', 'solid', 'nowrap']);
    assert.deepEqual(await style('#teams-body td', 'padding', 'border-bottom-color', 'text-overflow', 'text-align'),
      ['4px 12px', 'rgb(153, 153, 153)', 'ellipsis', 'start']);
    assert.deepEqual(await style('#teams-body td:nth-child(3)', 'text-align'), ['right']);
    assert.deepEqual(await style('#teams .table-container', 'max-height', 'overflow-y'), ['332px', 'auto']);
    // Hidden sections and overlays take no room; the overlays cover the window above everything.
    assert.deepEqual(await style('#contest', 'display'), ['none']);
    assert.deepEqual(await style('#dialog-overlay', 'display', 'position', 'z-index'), ['none', 'fixed', '999']);
    assert.deepEqual(await style('#dialog-box', 'border-radius', 'padding'), ['8px', '24px']);
  });
});

describe('Dialogs', () => {
  test('shows a message as plain text until OK, Enter or Escape, with the page inert meanwhile', async (t) => {
    const session = await openSession(t, browser, { host: false });
    const { page } = session;
    // Enter in the empty name submits; the same key press must not dismiss the message it brings.
    await page.press('#contest-name-inp', 'Enter');
    assert.equal(await shownMessage(page), 'Please enter a contest name.');
    assert.equal(await activeElementId(page), 'dialog-ok');
    assert.deepEqual(await inert(page), [true, false, true]);
    await page.keyboard.press('Enter');
    assert.equal(await shownMessage(page), null);
    assert.deepEqual(await inert(page), [false, false, false]);
    // Nothing was sent for the empty name.
    assert.deepEqual(session.requests, []);

    await page.click('#create-contest-btn');
    assert.equal(await shownMessage(page), 'Please enter a contest name.');
    await page.keyboard.press('Escape');
    assert.equal(await shownMessage(page), null);

    // A native sentence holding markup shows as the text it is.
    await page.fill('#contest-name-inp', 'Spring');
    await page.click('#create-contest-btn');
    await eventually(() => session.requests.length, 1);
    await session.reply('1:ERROR:<b>Bold</b> &amp; <img src=x onerror="window.hit=1">');
    await eventually(() => shownMessage(page), '<b>Bold</b> &amp; <img src=x onerror="window.hit=1">');
    assert.equal(await page.$eval('#dialog-message', (e) => e.childElementCount), 0);
    await page.click('#dialog-ok');
  });

  test('shows messages that arrive together one after the other', async (t) => {
    const session = await openSession(t, browser, { host: false });
    const { page } = session;
    await openFakeContest(session);
    await goTo(page, 'teams');
    await page.click('#randomize-seeds-btn');
    await page.click('#randomize-seeds-btn', { force: true });
    await eventually(() => session.takeRequests(), ['randomize_seeds:', 'randomize_seeds:']);
    await session.reply('2:ERROR:First.');
    await session.reply('3:ERROR:Second.');
    await dismissMessage(page, 'First.');
    await dismissMessage(page, 'Second.');
  });

  test('gives the keys back to the field or score cell that had them when a message closes', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    // Enter dismisses the message that a key press in a field brought; the next keys go to that field.
    async function dismissThenType(message, ...keys) {
      await eventually(() => shownMessage(page), message);
      await page.keyboard.press('Enter');
      assert.equal(await shownMessage(page), null, `${message} is dismissed`);
      for (const key of keys) await page.keyboard.press(key);
    }

    await page.press('#contest-name-inp', 'Enter');
    await dismissThenType('Please enter a contest name.', ...'Spring');
    await page.keyboard.press('Enter');
    await eventually(() => page.textContent('#contest-name'), 'Spring');
    await session.settle();

    await goTo(page, 'teams');
    await page.press('#team-name-inp', 'Enter');
    await dismissThenType('Please enter a team name.', ...'Zulu');
    await page.keyboard.press('Enter');
    await session.settle();
    assert.deepEqual(await tableRows(page, '#teams-body'), [['Zulu', '', '1']]);

    // A letter typed into the select picks the team that starts with it.
    await goTo(page, 'contestants');
    await page.press('#contestant-team-name-inp', 'Enter');
    await dismissThenType('Please select a team name.', 'Z');
    await page.press('#contestant-name-inp', 'Enter');
    await dismissThenType('Please enter a contestant name.', ...'Ann');
    await page.press('#contestant-chair-inp', 'Enter');
    await dismissThenType('Please enter a chair.', '3');
    await page.keyboard.press('Enter');
    await session.settle();
    assert.deepEqual(await tableRows(page, '#contestants-body'), [['Zulu', 'Ann', '3']]);

    // A sheet to score: a second team and the missing chairs, straight through the host.
    assert.equal(await session.host.request('call_save_team', ['none', 'Yankee', '', ''].join(fieldSeparator)), '');
    const teams = (await session.host.request('fetch_teams')).split(fieldSeparator);
    const seat = ([team, chair]) => ['none', teams[teams.indexOf(team) - 1], `${team} ${chair}`, chair].join(fieldSeparator);
    for (const place of [['Zulu', 1], ['Zulu', 2], ['Zulu', 4], ['Yankee', 1], ['Yankee', 2], ['Yankee', 3], ['Yankee', 4]]) {
      assert.equal(await session.host.request('save_contestant', seat(place)), '');
    }
    assert.equal(await session.host.request('start_contest'), '');
    await goTo(page, 'matches');
    await session.settle();
    const redOne = page.locator('#match-tables match-table td').nth(4);
    await redOne.focus();
    // The key-up of the Enter that dismisses the message does not add the sheet up again.
    await page.keyboard.type('x');
    await dismissThenType('x is not a number.', 'Backspace', '5');
    assert.equal(await redOne.textContent(), '5');
    assert.equal(await page.locator('#match-tables match-table td').nth(396).textContent(), '5');
    assert.equal(await shownMessage(page), null);
  });

  test('asks for confirmation with Cancel focused, Escape cancelling and OK confirming', async (t) => {
    const session = await openSession(t, browser, { host: false });
    const { page } = session;
    await openFakeContest(session);
    await goTo(page, 'brackets');
    await eventually(() => session.takeRequests(), ['fetch_brackets:']);
    await session.reply('2:');

    const confirmShown = () => page.evaluate(() => !document.getElementById('confirm-overlay').classList.contains('hidden'));
    await page.click('#start-contest-btn');
    assert.equal(await confirmShown(), true);
    assert.equal(await page.textContent('#confirm-message'),
      'This will lock all teams, contestants, and seeds. You will only be able to edit spelling after this point.');
    assert.equal(await activeElementId(page), 'confirm-cancel');
    assert.deepEqual(await inert(page), [true, true, false]);
    // Enter activates the focused button, which is Cancel; the keys go back to the Start button.
    await page.keyboard.press('Enter');
    assert.equal(await confirmShown(), false);
    assert.deepEqual(await inert(page), [false, false, false]);
    assert.equal(await activeElementId(page), 'start-contest-btn');

    await page.click('#start-contest-btn');
    await page.keyboard.press('Escape');
    assert.equal(await confirmShown(), false);
    assert.equal(await activeElementId(page), 'start-contest-btn');
    await page.click('#start-contest-btn');
    await page.click('#confirm-cancel');
    assert.deepEqual(session.takeRequests(), []);

    // Moving the focus to OK and pressing Enter confirms.
    await page.click('#start-contest-btn');
    await page.keyboard.press('Shift+Tab');
    assert.equal(await activeElementId(page), 'confirm-ok');
    await page.keyboard.press('Enter');
    await eventually(() => session.takeRequests(), ['start_contest:']);
  });
});

describe('Zoom warning', () => {
  test('shows for ten seconds when the window is narrower than the page', async (t) => {
    const { page } = await openSession(t, browser, { host: false, clock: true, viewport: { width: 360, height: 640 } });
    assert.equal(await isShown(page, '#zoom-warning'), true);
    await page.clock.runFor(9900);
    assert.equal(await isShown(page, '#zoom-warning'), true);
    await page.clock.runFor(200);
    assert.equal(await isShown(page, '#zoom-warning'), false);
  });

  test('stays hidden in a window wide enough', async (t) => {
    const { page } = await openSession(t, browser, { host: false });
    assert.equal(await isShown(page, '#zoom-warning'), false);
  });
});

// Prints the page to a PDF in a temporary folder and gives its path.
async function printToPdf(t, page) {
  const dir = mkdtempSync(path.join(tmpdir(), 'pellucan-print-'));
  t.after(() => rmSync(dir, { recursive: true, force: true }));
  const pdf = path.join(dir, 'page.pdf');
  writeFileSync(pdf, await page.pdf({ preferCSSPageSize: true }));
  return pdf;
}

const pdfPageText = (pdf, n) => execFileSync('pdftotext', ['-f', String(n), '-l', String(n), '-layout', pdf, '-'], { encoding: 'utf8' });

// The share of a PDF page's pixels in the sheets' gray (#d0d0d0), from a grayscale rendering.
function grayShare(pdf, n) {
  const prefix = path.join(path.dirname(pdf), `gray-${n}`);
  execFileSync('pdftoppm', ['-f', String(n), '-l', String(n), '-r', '30', '-gray', pdf, prefix]);
  const file = readdirSync(path.dirname(pdf)).find((name) => name.startsWith(`gray-${n}`));
  const data = readFileSync(path.join(path.dirname(pdf), file));
  // A binary PGM: "P5", width, height, maximum, one white-space byte, then one byte per pixel.
  const header = data.subarray(0, 40).toString('latin1').match(/^P5\s+(\d+)\s+(\d+)\s+(\d+)\s/);
  const pixels = data.subarray(header[0].length);
  let gray = 0;
  for (const value of pixels) if (Math.abs(value - 0xd0) <= 3) gray += 1;
  return gray / pixels.length;
}

describe('Print', () => {
  test('prints the whole teams table without navigation or inputs', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await createContest(session);
    for (let n = 1; n <= 30; ++n) {
      assert.equal(await session.host.request('call_save_team', ['none', `Team ${n}`, `Coach ${n}`, ''].join(fieldSeparator)), '');
    }
    await goTo(page, 'teams');
    await page.click('#clear-team-btn');
    await session.settle();
    // On screen the table scrolls inside its container.
    const onScreen = await page.$eval('#teams .table-container', (e) => e.clientHeight);
    assert.ok(onScreen <= 332);

    await page.emulateMedia({ media: 'print' });
    assert.equal(await isShown(page, 'nav'), false);
    assert.equal(await isShown(page, '#teams .input-group'), false);
    assert.equal(await isShown(page, '#randomize-seeds-btn'), false);
    const [container, table] = await page.$eval('#teams .table-container', (e) => [e.clientHeight, e.querySelector('table').offsetHeight]);
    assert.ok(container >= table, `container ${container} holds table ${table}`);

    const pdf = await printToPdf(t, page);
    const text = execFileSync('pdftotext', ['-layout', pdf, '-'], { encoding: 'utf8' });
    assert.match(text, /Team 1\s+Coach 1\s+1/);
    assert.match(text, /Team 30\s+Coach 30\s+30/);
    assert.doesNotMatch(text, /Randomize Seeds|Contestants|Show\/Hide Help/);
  });

  test('prints each match sheet on a page of its own, gray cells included, without buttons', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await contestWithTeams(session, ['Ash', 'Birch', 'Cedar', 'Dogwood', 'Elm', 'Fir']);
    assert.equal(await session.host.request('start_contest'), '');
    await goTo(page, 'matches');
    await session.settle();
    await page.click('#future-matches-btn');
    await session.settle();
    const sheets = await page.$$eval('match-table', (elements) => elements.map((e) => e.id));
    assert.ok(sheets.length >= 2, `sheets shown: ${sheets}`);

    await page.emulateMedia({ media: 'print' });
    const pdf = await printToPdf(t, page);
    const pages = Number(execFileSync('pdfinfo', [pdf], { encoding: 'utf8' }).match(/Pages:\s+(\d+)/)[1]);
    assert.equal(pages, sheets.length);
    for (let n = 1; n <= pages; ++n) {
      const text = pdfPageText(pdf, n);
      assert.match(text, new RegExp(`Match ${sheets[n - 1].slice('match-'.length)}\\b`));
      assert.doesNotMatch(text, /Save Match|Show\/Hide|Matches\n/);
      assert.ok(grayShare(pdf, n) > 0.05, `page ${n} shows its gray cells`);
    }
  });
});
