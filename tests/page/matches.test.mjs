// The Matches screen against the headless host: running totals, saving with its checks, the tie-break,
// completed and future sheets, a whole contest played from the page, and the printed and copied sheets.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import {
  addContestants, addTeams, contestWithTeams, createContest, dismissMessage, eventually, fieldSeparator, goTo,
  launchBrowser, openSession, savedSheet, shownMessage, tableRows,
} from './harness.mjs';

let browser;
before(async () => { browser = await launchBrowser(); });
after(() => browser?.close());

// Cell numbers of a sheet.
const redTotal = 396;
const whiteTotal = 397;
const redInitials = 398;
const whiteInitials = 399;
const tieFirst = 400;
const tieRedTotal = 532;
const tieWhiteTotal = 533;
const tieRedInitials = 534;
const tieWhiteInitials = 535;
// Row 1 of the main sheet: Red 1 and White 1, and the two Bonus columns.
const red1 = 4;
const white1 = 7;
const redBonus = 5;

const openSheet = (page) => page.locator('#match-tables match-table').last();
const cell = (page, k) => openSheet(page).locator('td').nth(k);

// Types into a cell of the open sheet as the scorekeeper does: every key brings a key-up.
async function typeCell(page, k, text) {
  await cell(page, k).focus();
  await page.keyboard.type(text);
}

// Puts a text into a cell without a key (a paste with the mouse).
function pasteCell(page, k, text) {
  return cell(page, k).evaluate((element, value) => { element.textContent = value; }, text);
}

// A key-up in the cell that types nothing.
function keyUp(page, k) {
  return cell(page, k).press('Shift');
}

function cellTexts(page, from, to) {
  return openSheet(page).evaluate((sheet, [first, end]) =>
    [...sheet.querySelectorAll('td')].slice(first, end).map((td) => td.textContent), [from, to]);
}

function editable(page, cells) {
  return openSheet(page).evaluate((sheet, list) => {
    const tds = sheet.querySelectorAll('td');
    return list.map((k) => tds[k].isContentEditable);
  }, cells);
}

const sheetIds = (page) => page.$$eval('#match-tables match-table', (sheets) => sheets.map((s) => s.id));
const buttonText = (page) => page.textContent('#save-match-btn');

// The load_match requests posted since the last call, each as its list of fields.
function savedFields(session) {
  return session.takeRequests().filter((r) => r.startsWith('load_match:'))
    .map((r) => r.slice('load_match:'.length).split(fieldSeparator));
}

async function startContest(session, teams) {
  await contestWithTeams(session, teams);
  assert.equal(await session.host.request('start_contest'), '');
}

async function openMatches(session) {
  await goTo(session.page, 'matches');
  await session.settle();
}

// Fills the open sheet with a decided result (and a tie-break when the totals are equal) and saves it.
async function playOpenSheet(session, { red, white, tie }) {
  const { page } = session;
  await typeCell(page, red1, String(red));
  await typeCell(page, white1, String(white));
  await typeCell(page, redInitials, 'ab');
  await typeCell(page, whiteInitials, 'cd');
  await page.click('#save-match-btn');
  await session.settle();
  if (red === white) {
    await typeCell(page, tieFirst + red1, String(tie[0]));
    await typeCell(page, tieFirst + white1, String(tie[1]));
    await typeCell(page, tieRedInitials, 'ef');
    await typeCell(page, tieWhiteInitials, 'gh');
    await page.click('#save-match-btn');
    await session.settle();
  }
}

const teamNames = ['Owls', 'Larks', 'Wrens', 'Hawks', 'Kites'];

// While session.hold is set: waits until the page's last request is the named one and its reply is
// held back.
async function heldUntil(session, name) {
  await eventually(() => {
    const last = session.requests[session.requests.length - 1] ?? '';
    return last.split(':')[1] === name && session.delivered + session.held.length === session.requests.length;
  }, true);
}

// Hands the replies held so far to the page and keeps holding later ones.
async function deliverHeld(session, name) {
  await heldUntil(session, name);
  for (const text of session.held.splice(0)) await session.reply(text);
}

describe('Matches screen', () => {
  test('stays empty before the start, and Save Match then does nothing', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    // No contest open: neither the link nor the buttons send anything.
    await goTo(page, 'matches');
    await page.click('#save-match-btn');
    await page.click('#future-matches-btn');
    assert.deepEqual(session.takeRequests(), []);

    await contestWithTeams(session, teamNames);
    session.takeRequests();
    await openMatches(session);
    assert.deepEqual(await sheetIds(page), []);
    await page.click('#save-match-btn');
    await session.settle();
    // With nothing shown there is no sheet to save, and nothing to say.
    assert.equal(await shownMessage(page), null);
    assert.deepEqual(savedFields(session), []);
  });

  test('adds up every column and both totals at each key-up', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await startContest(session, teamNames);
    await openMatches(session);
    assert.deepEqual(await sheetIds(page), ['match-1']);

    // The first key-up writes all twelve subtotals, zeros included, and a single 0 levels the totals.
    await typeCell(page, red1, '0');
    assert.deepEqual(await cellTexts(page, 384, 398), [...new Array(12).fill('0'), '0', '0']);
    assert.equal(await buttonText(page), 'Open Tiebreaker Sheet');

    // Numbers are read from the start of the text; blanks and a lone minus count nothing.
    await pasteCell(page, 12 + red1, '7b');
    await pasteCell(page, 24 + red1, '3.9');
    await pasteCell(page, 36 + white1, ' -3 ');
    await pasteCell(page, 48 + white1, '-');
    await pasteCell(page, 60 + white1, '   ');
    // A minus in a Bonus column lowers the total; the gray cell of row 2 counts like any other.
    await pasteCell(page, 12 + redBonus, '-5');
    await pasteCell(page, 12 + 0, '+2');
    // Pasted values wait for the next key-up.
    assert.equal(await cellTexts(page, redTotal, redTotal + 1).then((c) => c[0]), '0');
    await keyUp(page, 0);
    const subtotals = await cellTexts(page, 384, 398);
    assert.deepEqual(subtotals, ['2', '0', '0', '0', '10', '-5', '0', '-3', '0', '0', '0', '0', '7', '-3']);
    assert.equal(await buttonText(page), 'Save Match');

    // Markup pasted into a cell arrives as its text, so the sheet keeps its 536 cells.
    await cell(page, 24).focus();
    await page.evaluate(() => document.execCommand('insertHTML', false, '<table><tr><td>5</td><td>6</td></tr></table>'));
    assert.equal(await openSheet(page).locator('td').count(), 536);
    assert.equal(await openSheet(page).locator('td table').count(), 0);
    await pasteCell(page, 24, '');

    // The tie-break sheet adds up on its own and always leaves the button at Save Match.
    await pasteCell(page, tieFirst + white1, '4');
    await cell(page, tieFirst).dispatchEvent('keyup');
    assert.deepEqual(await cellTexts(page, tieRedTotal, tieWhiteTotal + 1), ['0', '4']);
    assert.deepEqual(await cellTexts(page, redTotal, whiteTotal + 1), ['7', '-3']);
    assert.equal(await buttonText(page), 'Save Match');
  });

  test('names each cell that is not a number, in cell order, and writes the totals after the last', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await startContest(session, teamNames);
    await openMatches(session);

    await pasteCell(page, 0, '00');
    await pasteCell(page, 13, '-0');
    await pasteCell(page, 26, '0.5');
    await pasteCell(page, 39, 'x');
    await pasteCell(page, 52, '+');
    await pasteCell(page, red1, '6');
    await keyUp(page, red1);
    for (const text of ['00', '-0', '0.5', 'x']) {
      await dismissMessage(page, `${text} is not a number.`);
      // The totals wait until the last message has been dismissed.
      assert.deepEqual(await cellTexts(page, redTotal, whiteTotal + 1), ['', '']);
    }
    // Enter dismisses the last one, and its key-up does not start another round.
    await eventually(() => shownMessage(page), '+ is not a number.');
    await page.keyboard.press('Enter');
    await eventually(() => cellTexts(page, redTotal, whiteTotal + 1), ['6', '0']);
    assert.equal(await shownMessage(page), null);
    // The offending cells keep their text.
    assert.deepEqual(await cellTexts(page, 39, 40), ['x']);
  });

  test('refuses a sheet without totals or initials and leaves it editable', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await startContest(session, teamNames);
    await openMatches(session);
    session.takeRequests();

    await page.click('#save-match-btn');
    await dismissMessage(page, 'The match cannot be saved without scores.');
    await typeCell(page, red1, '10');
    await page.click('#save-match-btn');
    await dismissMessage(page, "Please get both coaches' initials.");
    await typeCell(page, redInitials, 'ab');
    await page.click('#save-match-btn');
    await dismissMessage(page, "Please get both coaches' initials.");
    await session.settle();
    assert.deepEqual(savedFields(session), []);
    assert.deepEqual(await editable(page, [0, red1, 383, redInitials, whiteInitials, tieFirst, 519]),
      [true, true, true, true, true, true, true]);
    // Subtotals and totals are computed, never typed.
    assert.deepEqual(await editable(page, [384, redTotal, 520, tieRedTotal]), [false, false, false, false]);
  });

  test('saves a decided match as typed, with capital initials, and appends the next sheet', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await startContest(session, teamNames);
    await openMatches(session);
    await page.click('#future-matches-btn');
    await session.settle();
    assert.ok(await page.$$eval('#future-matches-tables match-table', (s) => s.length) > 0);
    session.takeRequests();

    await typeCell(page, red1, ' 12 ');
    await typeCell(page, white1, '9');
    await pasteCell(page, 24, 'x');
    await keyUp(page, white1);
    await dismissMessage(page, 'x is not a number.');
    await typeCell(page, redInitials, 'ab');
    await typeCell(page, whiteInitials, 'Cd');
    // Shown in capitals, kept as typed.
    assert.equal(await cell(page, redInitials).evaluate((e) => getComputedStyle(e).textTransform), 'uppercase');
    assert.deepEqual(await cellTexts(page, redInitials, whiteInitials + 1), ['ab', 'Cd']);
    // The second click of a double click comes while the first is still counting: it is ignored.
    await page.dblclick('#save-match-btn');
    await session.settle();
    assert.equal(await shownMessage(page), null);

    const [fields] = savedFields(session);
    assert.equal(fields.length, 537);
    assert.equal(fields[0], '1');
    // Trimmed cell texts, the refused cell as typed, computed cells, initials in capitals, empty tie-break.
    assert.equal(fields[red1 + 1], '12');
    assert.equal(fields[24 + 1], 'x');
    assert.deepEqual(fields.slice(385, 401), ['0', '0', '0', '0', '12', '0', '0', '9', '0', '0', '0', '0', '12', '9', 'AB', 'CD']);
    assert.deepEqual(fields.slice(401), new Array(136).fill(''));

    // The saved sheet stays, locked; the next one follows, editable; the future sheets are gone.
    assert.deepEqual(await sheetIds(page), ['match-1', 'match-2']);
    await page.locator('#match-1').scrollIntoViewIfNeeded();
    const saved = page.locator('#match-1 td');
    assert.equal(await saved.nth(red1).evaluate((e) => e.isContentEditable), false);
    assert.equal(await saved.nth(redInitials).evaluate((e) => e.isContentEditable), false);
    assert.deepEqual(await editable(page, [red1, whiteInitials]), [true, true]);
    assert.equal(await page.$eval('#future-matches-tables', (e) => e.childNodes.length), 0);
    assert.equal(await page.isEnabled('#save-match-btn'), true);

    // Opening the screen again, with the next sheet shown, changes nothing.
    await openMatches(session);
    assert.deepEqual(await sheetIds(page), ['match-1', 'match-2']);
  });

  test('opens the tie-break on level totals and saves on its result', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await startContest(session, teamNames);
    await openMatches(session);
    session.takeRequests();
    const tieTableShown = () => openSheet(page).locator('table').nth(1).isVisible();

    await typeCell(page, red1, '10');
    await typeCell(page, white1, '10');
    await typeCell(page, redInitials, 'ab');
    await typeCell(page, whiteInitials, 'cd');
    assert.equal(await buttonText(page), 'Open Tiebreaker Sheet');
    assert.equal(await tieTableShown(), false);
    // The first click sends nothing: it locks the main sheet and opens the tie-break.
    await page.click('#save-match-btn');
    await session.settle();
    assert.equal(await tieTableShown(), true);
    assert.equal(await buttonText(page), 'Save Match');
    assert.deepEqual(await editable(page, [red1, redInitials, tieFirst, tieRedInitials]), [false, false, true, true]);
    // A key-up in the locked main sheet no longer adds up.
    await pasteCell(page, white1, '11');
    await cell(page, white1).dispatchEvent('keyup');
    assert.deepEqual(await cellTexts(page, redTotal, whiteTotal + 1), ['10', '10']);
    await pasteCell(page, white1, '10');

    await page.click('#save-match-btn');
    await dismissMessage(page, 'The match cannot be saved without scores.');
    await typeCell(page, tieFirst + red1, '5');
    await typeCell(page, tieFirst + white1, '5');
    await page.click('#save-match-btn');
    await dismissMessage(page, 'The match cannot be saved with equal totals.');
    await pasteCell(page, tieFirst + white1, '9');
    await keyUp(page, tieFirst + white1);
    await page.click('#save-match-btn');
    await dismissMessage(page, "Please get both coaches' initials.");
    await typeCell(page, tieRedInitials, 'ef');
    await typeCell(page, tieWhiteInitials, 'gh');
    await page.click('#save-match-btn');
    await session.settle();

    const [fields] = savedFields(session);
    assert.deepEqual([fields[redTotal + 1], fields[whiteTotal + 1]], ['10', '10']);
    assert.deepEqual(fields.slice(tieRedTotal + 1), ['5', '9', 'EF', 'GH']);
    assert.deepEqual(await sheetIds(page), ['match-1', 'match-2']);
    // White won the tie-break: the bracket lists team 2 of match 1 as its winner.
    const [, , , , , team1, team2, winner] = (await session.host.request('fetch_brackets')).split(fieldSeparator);
    assert.notEqual(team1, team2);
    assert.equal(winner, team2);
  });

  test('shows the native sentence when a save fails, sends the same fields again, and gives the keys back', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await startContest(session, teamNames);
    await openMatches(session);
    session.takeRequests();

    await typeCell(page, red1, '12');
    await typeCell(page, white1, '1');
    await typeCell(page, redInitials, 'ab');
    await typeCell(page, whiteInitials, 'cd');
    // With its file gone, the native side refuses to save into the contest.
    rmSync(path.join(session.host.desktop, 'Spring Quiz', 'contest.db'));
    const refused = 'The contest file was moved or deleted; nothing was saved.';
    const keysOn = () => page.evaluate(() => document.activeElement?.id);
    session.hold = true;
    await page.focus('#save-match-btn');
    await page.keyboard.press('Enter');
    await deliverHeld(session, 'n_completed_matches');
    await heldUntil(session, 'load_match');
    // In flight the button is disabled and a second click sends nothing.
    assert.equal(await page.isDisabled('#save-match-btn'), true);
    await page.click('#save-match-btn', { force: true });
    await session.release();
    // Enter dismisses the message and leaves the keys on Save Match, so Enter sends again.
    await eventually(() => shownMessage(page), refused);
    await page.keyboard.press('Enter');
    await eventually(keysOn, 'save-match-btn');
    await page.keyboard.press('Enter');
    await eventually(() => shownMessage(page), refused);
    await page.keyboard.press('Enter');
    await session.settle();
    assert.equal(await keysOn(), 'save-match-btn');

    const [first, second, ...more] = savedFields(session);
    assert.equal(more.length, 0);
    assert.deepEqual(second, first);
    // Nothing was appended, and the locked sheet stays locked.
    assert.deepEqual(await sheetIds(page), ['match-1']);
    assert.deepEqual(await editable(page, [red1, tieFirst]), [false, true]);
  });

  test('counts no cell beyond the range the native side reads, and saves no sum beyond it', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await startContest(session, teamNames);
    await openMatches(session);
    session.takeRequests();

    // A cell beyond the range has its message and adds nothing; no total turns to an exponent.
    await typeCell(page, white1, '50');
    await pasteCell(page, red1, '9999999999999999999999');
    await keyUp(page, red1);
    await dismissMessage(page, '9999999999999999999999 is not a number.');
    await eventually(() => cellTexts(page, redTotal, whiteTotal + 1), ['0', '50']);
    // Both ends of the range count, one past either end does not.
    await pasteCell(page, 12 + red1, '2147483647');
    await pasteCell(page, 24 + red1, '-2147483648');
    await pasteCell(page, 36 + red1, '+2147483648');
    await pasteCell(page, 48 + red1, '-2147483649');
    await keyUp(page, red1);
    await dismissMessage(page, '9999999999999999999999 is not a number.');
    await dismissMessage(page, '+2147483648 is not a number.');
    await dismissMessage(page, '-2147483649 is not a number.');
    await eventually(() => cellTexts(page, redTotal, whiteTotal + 1), ['-1', '50']);

    // Cells in range whose sums are not: refused before anything is locked.
    for (const k of [red1, 24 + red1, 36 + red1, 48 + red1]) await pasteCell(page, k, '');
    await pasteCell(page, 60 + red1, '1');
    await keyUp(page, red1);
    await eventually(() => cellTexts(page, 384 + red1, whiteTotal + 1),
      ['2147483648', '0', '0', '50', '0', '0', '0', '0', '2147483648', '50']);
    await typeCell(page, redInitials, 'ab');
    await typeCell(page, whiteInitials, 'cd');
    await page.click('#save-match-btn');
    await dismissMessage(page, 'Subtotals and totals must lie between -2147483648 and 2147483647.');
    assert.deepEqual(savedFields(session), []);
    assert.deepEqual(await editable(page, [red1, redInitials, whiteInitials]), [true, true, true]);
    // A sum of -999 is one the native side cannot tell from no number.
    await pasteCell(page, 12 + red1, '-1049');
    await pasteCell(page, 60 + red1, '50');
    await keyUp(page, red1);
    await page.click('#save-match-btn');
    await dismissMessage(page, 'A subtotal or total of -999 cannot be saved.');
    assert.deepEqual(savedFields(session), []);
    assert.deepEqual(await editable(page, [red1, redInitials, whiteInitials]), [true, true, true]);

    // Corrected, the match saves with Red ahead.
    await pasteCell(page, 12 + red1, '2147483647');
    await pasteCell(page, 60 + red1, '');
    await keyUp(page, red1);
    await page.click('#save-match-btn');
    await session.settle();
    const [fields] = savedFields(session);
    assert.deepEqual([fields[redTotal + 1], fields[whiteTotal + 1]], ['2147483647', '50']);
    const [, , , , , team1, , winner] = (await session.host.request('fetch_brackets')).split(fieldSeparator);
    assert.equal(winner, team1);
    assert.deepEqual(await sheetIds(page), ['match-1', 'match-2']);
  });

  test('reports a next sheet that does not come after a save, and brings it on the next visit', async (t) => {
    const session = await openSession(t, browser, { clock: true });
    const { page } = session;
    await startContest(session, teamNames);
    await openMatches(session);
    await page.click('#future-matches-btn');
    await session.settle();
    await typeCell(page, red1, '5');
    await typeCell(page, redInitials, 'ab');
    await typeCell(page, whiteInitials, 'cd');

    session.hold = true;
    await page.click('#save-match-btn');
    await deliverHeld(session, 'n_completed_matches');
    await deliverHeld(session, 'load_match');
    await heldUntil(session, 'fetch_next_match');
    await page.clock.runFor(5000);
    await dismissMessage(page, 'Request timeout, please try again.');
    // The save itself went through: the button is free again and the future sheets are gone.
    assert.equal(await page.isEnabled('#save-match-btn'), true);
    assert.equal(await page.$eval('#future-matches-tables', (e) => e.childNodes.length), 0);
    assert.deepEqual(await sheetIds(page), ['match-1']);
    // The late reply finds no call waiting.
    await session.release();
    await openMatches(session);
    assert.deepEqual(await sheetIds(page), ['match-1', 'match-2']);
  });

  test('shows completed sheets in order, with a played tie-break and names as text', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    const names = ['<b>Owls</b>', 'the hidden Larks', '<i>Wrens', 'Hawks & Co', 'Kites hidden'];
    await startContest(session, names);
    assert.equal(await session.host.request('load_match', savedSheet(1, 20, 10)), '');
    assert.equal(await session.host.request('load_match', savedSheet(2, 15, 15, [3, 1])), '');

    await openMatches(session);
    assert.deepEqual(await sheetIds(page), ['match-1', 'match-2', 'match-3']);
    const tieShown = (id) => page.locator(`#${id} table`).nth(1).isVisible();
    await page.locator('#match-2').scrollIntoViewIfNeeded();
    await eventually(async () => [await tieShown('match-1'), await tieShown('match-2'), await tieShown('match-3')], [false, true, false]);
    // Completed sheets carry their cells and are not editable; only the last sheet is.
    assert.equal(await page.locator('#match-2 td').nth(tieRedTotal).textContent(), '3');
    assert.equal(await page.locator('#match-1 td').nth(red1).evaluate((e) => e.isContentEditable), false);
    assert.deepEqual(await editable(page, [red1]), [true]);
    // Names reach the sheets as the text they are, markup and the word hidden included.
    const teams = await page.$$eval('#match-tables tr.pt8 > th[colspan]', (ths) => ths.map((th) => th.textContent.split('\u2003')[0]));
    assert.equal(teams.length, 6);
    for (const team of teams) assert.ok(names.includes(team), team);
    const chairs = await page.$$eval('#match-tables th.slant > div', (divs) => divs.map((div) => div.textContent));
    for (const team of names) assert.ok(chairs.includes(`${team} 1`), `${team} 1`);
    assert.equal(await page.locator('#match-tables b, #match-tables i').count(), 0);
  });

  test('never appends a sheet twice when the link is clicked again while sheets load', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await startContest(session, teamNames);
    for (const [match, red, white] of [[1, 5, 1], [2, 1, 5], [3, 7, 2]]) {
      assert.equal(await session.host.request('load_match', savedSheet(match, red, white)), '');
    }
    session.hold = true;
    await goTo(page, 'matches');
    await goTo(page, 'matches');
    await goTo(page, 'matches');
    await session.release();
    await session.settle();
    assert.deepEqual(await sheetIds(page), ['match-1', 'match-2', 'match-3', 'match-4']);

    // A click while the save is on its way waits for it, and then has nothing left to add.
    await typeCell(page, red1, '3');
    await typeCell(page, redInitials, 'a');
    await typeCell(page, whiteInitials, 'b');
    session.hold = true;
    await page.click('#save-match-btn');
    await deliverHeld(session, 'n_completed_matches');
    await heldUntil(session, 'load_match');
    await goTo(page, 'matches');
    await session.release();
    await session.settle();
    assert.deepEqual(await sheetIds(page), ['match-1', 'match-2', 'match-3', 'match-4', 'match-5']);
  });

  test('keeps the rows of a sheet only near the view, each sheet as tall as what it holds, whatever the names', async (t) => {
    // Team and coach names of 120 capitals with spaces, of 15-letter words, or short ones; each chair holds
    // its team's name. Seeds 4 and 5 play the first sheet: short names, then long ones.
    const capitals = (k) => `${'NORTHERN QUIZ CLUB '.repeat(7).slice(0, 119)}${k}`;
    const words = (k) => `${'Extraordinarily '.repeat(7)}Characteristic${k}`;
    // \u263A comes from a font whose line is taller than a chair's cell, as some fonts' lines are.
    const [owls, larks, wrens, hawks] = ['Owls', 'Larks', 'Wrens \u263A', 'Hawks'];
    for (const firstShort of [true, false]) {
      const names = firstShort ? [capitals(1), words(2), wrens, owls, larks, words(6)]
        : [owls, larks, wrens, capitals(4), words(5), hawks];
      const session = await openSession(t, browser);
      const { page } = session;
      await startContest(session, names.map((name, k) => [name, name, k + 1]));
      // Sheets 2 and 6 went to a tie-break; the initials of 4 have the tall font's letter.
      for (let match = 1; match <= 6; ++match) {
        const tie = match % 4 === 2 ? [2, 1] : undefined;
        const sheet = savedSheet(match, 9, tie ? 9 : match, tie);
        const saved = match === 4 ? sheet.replace('AB', 'A\u263A') : sheet;
        assert.equal(await session.host.request('load_match', saved), '');
      }
      await page.addStyleTag({
        content: `@font-face { font-family: "Segoe UI"; src: local("DejaVu Sans"); unicode-range: U+263A;
                    ascent-override: 700%; descent-override: 300%; }`,
      });
      await openMatches(session);
      const rows = (id) => page.$eval(`#${id}`, (sheet) => sheet.querySelectorAll('tr').length);
      assert.equal(await rows('match-5'), 0);
      await page.locator('#match-6').scrollIntoViewIfNeeded();
      await eventually(() => page.locator('#match-6 td').nth(whiteTotal).textContent(), '9');
      await eventually(() => rows('match-1'), 0);

      // Every sheet whole at once, as for printing: where it stands, its box is as tall as what it holds,
      // and as tall as without its rows.
      const sheets = await page.evaluate(() => {
        const completed = [...document.querySelectorAll('#match-tables match-table.completed')];
        const far = completed.map((sheet) => sheet.getBoundingClientRect().height);
        dispatchEvent(new Event('beforeprint'));
        const whole = completed.map((sheet, k) => {
          const box = sheet.getBoundingClientRect();
          const tables = [...sheet.querySelectorAll(':scope > table:not(.hidden)')];
          const bottom = Math.max(...tables.map((table) => table.getBoundingClientRect().bottom));
          const chairs = sheet.querySelector('th.slant').getBoundingClientRect().height;
          return { box: box.height, far: far[k], holds: bottom - box.top, chairs };
        });
        dispatchEvent(new Event('afterprint'));
        return whole;
      });
      for (const [k, { box, far, holds, chairs }] of sheets.entries()) {
        assert.ok(Math.abs(box - holds) <= 1, `match ${k + 1}: a box of ${box} px holds ${holds} px`);
        assert.deepEqual([far, chairs], [box, 116], `match ${k + 1}`);
      }
      // The first sheet's names are the short ones, then the long ones; the fourth's the others.
      assert.ok(Math.abs(sheets[0].box - sheets[3].box) >= 100 && sheets[0].box < sheets[3].box === firstShort);
      assert.equal(await page.$eval('main', (main) => main.scrollWidth - main.clientWidth), 0);
    }
  });

  test('asks for the completed sheets together, and keeps those before one that fails, quietly', async (t) => {
    const session = await openSession(t, browser);
    await startContest(session, teamNames);
    for (let match = 1; match <= 4; ++match) {
      assert.equal(await session.host.request('load_match', savedSheet(match, 9, 2)), '');
    }
    session.hold = true;
    await goTo(session.page, 'matches');
    await deliverHeld(session, 'n_completed_matches');
    await eventually(() => session.held.length, 4);
    // Sheets 3 and 4 fail.
    session.held = session.held.map((text, k) => (k < 2 ? text : `${text.split(':')[0]}:ERROR:No such match.`));
    await session.release();
    await session.settle();
    assert.deepEqual(await sheetIds(session.page), ['match-1', 'match-2']);
    assert.equal(await shownMessage(session.page), null);

    // The next visit brings what this one left out, then the open sheet; a save and a visit more add
    // each sheet once.
    await openMatches(session);
    assert.deepEqual(await sheetIds(session.page), [1, 2, 3, 4, 5].map((match) => `match-${match}`));
    await playOpenSheet(session, { red: 3, white: 1 });
    await openMatches(session);
    assert.deepEqual(await sheetIds(session.page), [1, 2, 3, 4, 5, 6].map((match) => `match-${match}`));
  });

  test('gives each completed sheet its whole time-out, however many are asked for at once', async (t) => {
    const session = await openSession(t, browser, { clock: true });
    const { page } = session;
    await startContest(session, teamNames);
    for (let match = 1; match <= 3; ++match) {
      assert.equal(await session.host.request('load_match', savedSheet(match, 9, 2)), '');
    }
    session.hold = true;
    await goTo(page, 'matches');
    await deliverHeld(session, 'n_completed_matches');
    await eventually(() => session.held.length, 3);
    // The native side takes four seconds a sheet.
    for (const text of session.held.splice(0)) {
      await page.clock.runFor(4000);
      await session.reply(text);
    }
    await session.release();
    await session.settle();
    assert.deepEqual(await sheetIds(page), [1, 2, 3, 4].map((match) => `match-${match}`));
  });

  test('shows and hides empty future sheets, and empties them after a save', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await startContest(session, teamNames);
    await openMatches(session);
    const futureIds = () => page.$$eval('#future-matches-tables match-table', (s) => s.map((e) => e.id));

    await page.click('#future-matches-btn');
    await session.settle();
    const shown = await futureIds();
    // Later matches with both teams known, never the next one.
    assert.ok(shown.length > 0);
    assert.ok(!shown.includes('match-1'));
    assert.deepEqual(await page.$$eval('#future-matches-tables td', (tds) => tds.filter((td) => td.isContentEditable).length), 0);
    assert.deepEqual(await page.$$eval('#future-matches-tables table:nth-child(2)', (ts) => ts.every((t2) => t2.classList.contains('hidden'))), true);
    await page.click('#future-matches-btn');
    await session.settle();
    assert.deepEqual(await futureIds(), []);

    await page.click('#future-matches-btn');
    await session.settle();
    await playOpenSheet(session, { red: 4, white: 2 });
    assert.deepEqual(await futureIds(), []);
  });
});

describe('A whole contest', () => {
  test('five teams registered, started and played from the page, final won by team 2, then ranked', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await createContest(session, 'Five Teams');
    await addTeams(session, teamNames.map((name, i) => [name, `Coach ${name}`, i + 1]));
    const contestants = [];
    for (const team of teamNames) {
      for (let chair = 1; chair <= 5; ++chair) contestants.push([team, `${team} ${chair}`, chair]);
    }
    await addContestants(session, contestants);

    await goTo(page, 'brackets');
    await session.settle();
    await page.click('#start-contest-btn');
    await page.click('#confirm-ok');
    await session.settle();
    assert.equal(await page.isVisible('#start-contest-btn'), false);

    await openMatches(session);
    const finalMatch = 2 * teamNames.length - 2;
    const played = [];
    for (;;) {
      const ids = await sheetIds(page);
      if (ids.length === played.length) break;
      const match = Number(ids[ids.length - 1].split('-')[1]);
      const heads = await openSheet(page).locator('tr.pt8 > th').allTextContents();
      const [team1, team2] = [heads[0], heads[2]].map((text) => text.split('\u2003')[0]);
      // Team 1 wins every match but the final; match 3 goes to a tie-break.
      if (match === 3) await playOpenSheet(session, { red: 20, white: 20, tie: [6, 2] });
      else if (match === finalMatch) await playOpenSheet(session, { red: 10, white: 30 });
      else await playOpenSheet(session, { red: 30 + match, white: 10 });
      played.push({ match, team1, team2 });
    }
    // Team 2 won the final, so the rematch was played too.
    assert.deepEqual(played.map((p) => p.match), [1, 2, 3, 4, 5, 6, 7, 8, 9]);
    const final = played[finalMatch - 1];
    const rematch = played[finalMatch];
    assert.deepEqual([rematch.team1, rematch.team2], [final.team1, final.team2]);

    await page.click('#save-match-btn');
    await dismissMessage(page, 'All matches have been saved.');
    await openMatches(session);
    assert.equal((await sheetIds(page)).length, 9);

    await goTo(page, 'rankings');
    await session.settle();
    const rankings = await tableRows(page, '#team-rankings-body');
    assert.equal(rankings.length, 5);
    // The rematch's team 1 won it: first with one loss, the final's winner second with two.
    assert.deepEqual(rankings[0].slice(0, 2), ['1', rematch.team1]);
    assert.deepEqual(rankings[1].slice(0, 2), ['2', rematch.team2]);
    assert.equal(rankings[0][4], '1');
    assert.equal(rankings[1][4], '2');
    const contestantRows = await tableRows(page, '#contestant-rankings-table tbody');
    assert.equal(contestantRows.length, 25);
  });
});

const hiddenBySource = readFileSync(new URL('./hidden_by.js', import.meta.url), 'utf8');
// What hides the cell that has the keys ('keys') or the current find match ('match'); null when nothing does.
const hiddenBy = async (page, what) => (await page.evaluate(`(${hiddenBySource})('${what}')`)) || null;

describe('In sight', () => {
  test('keeps the cell that has the keys and the current find match clear of heads and of the field, at every zoom', async (t) => {
    const long = (k) => `${'NORTHERN QUIZ CLUB '.repeat(7).slice(0, 118)}${String(k).padStart(2, '0')}`;
    for (const name of [(k) => `Team ${k}`, long]) {
      const session = await openSession(t, browser);
      const { page } = session;
      await startContest(session, Array.from({ length: 16 }, (_, k) => [name(k + 1), name(k + 1), k + 1]));
      for (let match = 1; match <= 6; ++match) {
        assert.equal(await session.host.request('load_match', savedSheet(match, 1300 + match, 1)), '');
      }
      await openMatches(session);
      // Zooms as the window shows them: the page's pixels grow, so fewer of them fit.
      for (const [width, height, zoom] of [[1040, 640], [800, 600]].flatMap((size) => [0.5, 1, 1.5, 2].map((z) => [...size, z]))) {
        const at = `${name(16).length > 10 ? 'long' : 'short'} names in ${width}x${height} at ${zoom * 100} %`;
        await page.setViewportSize({ width: Math.round(width / zoom), height: Math.round(height / zoom) });
        // Typing into the cell that had the keys when the zoom changed (none has them before the first).
        if (await page.evaluate(() => document.activeElement.isContentEditable)) {
          await page.keyboard.press('5');
          assert.equal(await hiddenBy(page, 'keys'), null, `${at}, typing after the zoom`);
          await page.keyboard.press('Backspace');
        }
        await page.evaluate(() => { document.querySelector('main').scrollTop = 0; document.activeElement.blur(); });
        // Into the open sheet, on through it, and back up to its first cell.
        for (const [key, times] of [['Tab', 1], ['Tab', 13], ['Tab', 43], ['Shift+Tab', 56]]) {
          for (let k = 0; k < times; ++k) await page.keyboard.press(key);
          assert.equal(await hiddenBy(page, 'keys'), null, `${at}, ${times} ${key}`);
        }
        // Nothing jumps for a cell already in sight, nor while typing in it.
        const scrolled = () => page.$eval('main', (main) => main.scrollTop);
        const before = await scrolled();
        for (const key of ['Tab', 'Shift+Tab', '5', 'Backspace']) await page.keyboard.press(key);
        assert.equal(await scrolled(), before, at);

        // A far total moves the view; then the texts of heads' first lines.
        await page.keyboard.press('Control+f');
        for (const text of ['1306', 'Match 1', name(16)]) {
          await page.fill('#find-inp', text);
          await eventually(async () => (await page.textContent('#find-count')).startsWith('1 of'), true);
          if (text !== '1306') assert.equal(await hiddenBy(page, 'match'), null, `${at}, ${text}`);
        }
        await page.keyboard.press('Escape');
        assert.equal(await hiddenBy(page, 'keys'), null, `${at}, the keys back from find`);
      }
    }
  });
});

describe('Printed sheets', () => {
  test('print one sheet a page with its gray cells, a played tie-break on its sheet\'s page, and no buttons', async (t) => {
    const session = await openSession(t, browser, { viewport: { width: 1280, height: 900 } });
    const { page } = session;
    await startContest(session, teamNames);
    assert.equal(await session.host.request('load_match', savedSheet(1, 20, 10)), '');
    assert.equal(await session.host.request('load_match', savedSheet(2, 15, 15, [3, 1])), '');
    assert.equal(await session.host.request('load_match', savedSheet(3, 7, 1)), '');
    assert.equal(await session.host.request('load_match', savedSheet(4, 6, 2)), '');
    await openMatches(session);
    // Far down, a completed sheet shows only its head on screen; it prints whole all the same.
    assert.equal(await page.locator('#match-4 tbody').first().isVisible(), false);
    await typeCell(page, red1, '8');

    const dir = mkdtempSync(path.join(tmpdir(), 'pellucan-sheets-'));
    t.after(() => rmSync(dir, { recursive: true, force: true }));
    const screenshot = process.env.PELLUCAN_SCREENSHOTS;
    if (screenshot) await page.screenshot({ path: path.join(screenshot, 'matches-screen.png') });

    await page.emulateMedia({ media: 'print' });
    const pdf = path.join(dir, 'sheets.pdf');
    writeFileSync(pdf, await page.pdf({ preferCSSPageSize: true }));
    if (screenshot) writeFileSync(path.join(screenshot, 'sheets.pdf'), readFileSync(pdf));
    const pages = execFileSync('pdftotext', ['-layout', pdf, '-'], { encoding: 'utf8' }).split('\f').filter((p) => p.trim());
    // One sheet a page; the played tie-break of match 2 shares its sheet's page.
    assert.deepEqual(pages.map((text) => (text.match(/Match \d+/g) ?? []).join()),
      ['Match 1', 'Match 2', 'Match 3', 'Match 4', 'Match 5']);
    assert.deepEqual(pages.map((text) => text.match(/Totals/g)?.length), [1, 2, 1, 1, 1]);
    assert.doesNotMatch(pages.join(), /Save Match|Show\/Hide|Matches/);

    // Each page carries the gray shading (#d0d0d0) of its cells.
    execFileSync('pdftoppm', ['-r', '48', pdf, path.join(dir, 'page')]);
    for (let n = 1; n <= pages.length; ++n) {
      assert.ok(grayPixels(path.join(dir, `page-${n}.ppm`)) > 1000, `gray cells on page ${n}`);
    }
    if (screenshot) execFileSync('pdftoppm', ['-png', '-r', '96', '-f', '2', '-l', '2', pdf, path.join(screenshot, 'printed-sheet')]);
  });
});

describe('Copied sheets', () => {
  test('take every sheet selected with its rows, far sheets and a selection\'s far end included', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await session.context.grantPermissions(['clipboard-read', 'clipboard-write']);
    await startContest(session, Array.from({ length: 12 }, (_, k) => [`Team ${k + 1}`, '', k + 1]));
    for (let match = 1; match <= 16; ++match) {
      assert.equal(await session.host.request('load_match', savedSheet(match, 100 + match, 9)), '');
    }
    await openMatches(session);
    const rows = (match) => page.$eval(`#match-${match}`, (sheet) => sheet.querySelectorAll('tr').length);
    // The copied text and markup.
    const copy = async () => {
      await page.keyboard.press('Control+C');
      return page.evaluate(async () => {
        const [item] = await navigator.clipboard.read();
        return Promise.all(['text/plain', 'text/html'].map(async (type) => (await item.getType(type)).text()));
      });
    };
    const heads = (text) => [...text.matchAll(/\tMatch (\d+)\t/g)].map((found) => Number(found[1]));
    const span = (first, last) => Array.from({ length: last - first + 1 }, (_, k) => first + k);

    // Select all: every sheet's head and total, the far sheets' too; their markup holds their rows.
    assert.equal(await rows(5), 0);
    await page.keyboard.press('Control+A');
    const [text, markup] = await copy();
    assert.deepEqual(heads(text), span(1, 17));
    assert.deepEqual([...text.matchAll(/(\d+)\tTotals\t/g)].map((found) => Number(found[1])), span(101, 116));
    assert.equal(markup.match(/>Totals</g).length, 17);
    assert.doesNotMatch(markup, /Randomize Seeds/);

    // From within match 2's red total to within match 15's head, the view gone down to match 15 between.
    await page.$eval('#match-2', (sheet) => getSelection().collapse(sheet.querySelectorAll('td')[396].firstChild, 1));
    await page.$eval('#match-15', (sheet) => sheet.scrollIntoView());
    await eventually(async () => [await rows(15) > 0, await rows(3)], [true, 0]);
    await page.$eval('#match-15', (sheet) => getSelection().extend(sheet.querySelector('th:nth-child(2)').firstChild, 7));
    const [part] = await copy();
    assert.match(part, /^02\tTotals\t9\t[^]*\tMatch 1$/);
    assert.deepEqual(heads(part), span(3, 14));
    // Once the selection leaves it, the far sheet holds its rows aside again.
    await page.evaluate(() => getSelection().removeAllRanges());
    await eventually(() => rows(2), 0);
  });
});

// Counts the pixels of the gray cells' colour in a binary PPM image.
function grayPixels(file) {
  const data = readFileSync(file);
  // Header: P6, width, height, maximum value, each followed by white space.
  let offset = 0;
  let fields = 0;
  while (fields < 4) {
    while (/\s/.test(String.fromCharCode(data[offset]))) offset += 1;
    while (!/\s/.test(String.fromCharCode(data[offset]))) offset += 1;
    fields += 1;
  }
  offset += 1;
  let count = 0;
  for (let i = offset; i + 2 < data.length; i += 3) {
    if (Math.abs(data[i] - 0xd0) <= 2 && Math.abs(data[i + 1] - 0xd0) <= 2 && Math.abs(data[i + 2] - 0xd0) <= 2) count += 1;
  }
  return count;
}
