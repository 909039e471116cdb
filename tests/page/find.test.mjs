// Find in the page: the field that Ctrl+F opens, the order of keys around it, its count and marks, and what
// it searches: the screen shown, far sheets' held rows included, hidden parts left out.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { fileURLToPath } from 'node:url';
import {
  addTeams, contestWithTeams, createContest, eventually, fieldSeparator, goTo, launchBrowser, openSession, pageUrl,
  savedSheet, shownMessage,
} from './harness.mjs';

let browser;
before(async () => { browser = await launchBrowser(); });
after(() => browser?.close());

const findCount = (page) => page.textContent('#find-count');
// The current match: the id of the element around it, its text node's text, and where in it the match starts.
const currentMatch = (page) => page.evaluate(() => {
  const [range] = CSS.highlights.get('find-current') ?? [];
  return range && [range.startContainer.parentElement.closest('[id]').id, range.startContainer.data, range.startOffset];
});

// Sends the keys as a fast typist's come, each without waiting for the page to take the one before.
async function typeAhead(page, keys) {
  const devtools = await page.context().newCDPSession(page);
  const events = keys.flatMap((key) => (key === 'Control+f'
    ? [['rawKeyDown', 'Control', 2], ['rawKeyDown', 'f', 2], ['keyUp', 'f', 2], ['keyUp', 'Control', 0]]
    : [['keyDown', key, 0], ['keyUp', key, 0]]));
  await Promise.all(events.map(([type, key, modifiers]) =>
    devtools.send('Input.dispatchKeyEvent', { type, key, modifiers, text: type === 'keyDown' ? key : '' })));
  await devtools.detach();
}

describe('Find', () => {
  test('keeps the keys typed before Ctrl+F where they were typed, gives those after it to the field, and counts only its text', async (t) => {
    const { page } = await openSession(t, browser, { host: false });
    // The page is held for half a second while twenty letters, Ctrl+F and three more are on their way.
    await page.evaluate(() => setTimeout(() => { for (const end = performance.now() + 500; performance.now() < end;); }));
    await typeAhead(page, [...'abcdefghijklmnopqrst', 'Control+f', ...'XYZ']);
    assert.equal(await page.inputValue('#contest-name-inp'), 'abcdefghijklmnopqrst');
    assert.equal(await page.inputValue('#find-inp'), 'XYZ');
    await eventually(() => findCount(page), 'No matches');
    // The count of a text never stands beside another: the moment the text changes, it goes.
    await page.$eval('#find-inp', (field) => {
      window.countsAtInput = [];
      field.addEventListener('input', () => countsAtInput.push(document.getElementById('find-count').textContent));
    });
    await page.fill('#find-inp', 'contest');
    await eventually(() => findCount(page), '1 of 6');
    await typeAhead(page, [...'qj']);
    await eventually(() => findCount(page), 'No matches');
    assert.deepEqual(await page.evaluate(() => countsAtInput), ['', '', '']);
  });

  test('does no harm when Ctrl+F comes before the page has loaded, and finds once it has', async (t) => {
    // The page's markup comes at once, its scripts only when the test has typed.
    const html = readFileSync(fileURLToPath(pageUrl), 'utf8');
    let sendScripts;
    const scriptsSent = new Promise((resolve) => { sendScripts = resolve; });
    const server = createServer(async (_request, response) => {
      response.writeHead(200, { 'content-type': 'text/html; charset=utf-8' });
      response.write(html.slice(0, html.indexOf('<script>')));
      await scriptsSent;
      response.end(html.slice(html.indexOf('<script>')));
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    t.after(() => server.close());
    const url = `http://127.0.0.1:${server.address().port}/`;
    const { page } = await openSession(t, browser, { host: false, url, waitUntil: 'commit' });
    await page.waitForSelector('#contest-name-inp');
    await page.keyboard.press('Control+f');
    await page.keyboard.type('abc');
    sendScripts();
    await page.waitForFunction(() => document.activeElement?.id === 'contest-name-inp');
    assert.equal(await page.isVisible('#find-form'), false);
    await page.keyboard.press('Control+f');
    await page.keyboard.type('contest');
    await eventually(() => findCount(page), '1 of 6');
  });

  test('counts far sheets exactly without laying them out, brings only the found one near, and searches again only what changed', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await contestWithTeams(session, ['Owls', 'Larks', 'Wrens', 'Hawks', 'Kites', 'Crows', 'Doves', 'Finches', 'Geese', 'Jays']);
    assert.equal(await session.host.request('start_contest'), '');
    // Sixteen completed sheets, each with Red's total 1300 and its number; sheets 4 and 12 went to a tie-break.
    for (let match = 1; match <= 16; ++match) {
      const tie = match % 8 === 4 ? [2, 1] : undefined;
      assert.equal(await session.host.request('load_match', savedSheet(match, 1300 + match, tie ? 1300 + match : 1, tie)), '');
    }
    await goTo(page, 'matches');
    await session.settle();
    const rows = (id) => page.$eval(`#${id}`, (sheet) => sheet.querySelectorAll('tr').length);
    const search = async (text, count) => {
      await page.fill('#find-inp', text);
      await eventually(() => findCount(page), count);
    };
    // Six heads a sheet read Red, on the sixteen completed sheets and the open one: more than any cap of 100.
    await page.keyboard.press('Control+f');
    await search('red', '1 of 102');
    // Totals: one a sheet, and one for each tie-break that was played; the others are hidden.
    await search('totals', '1 of 19');
    for (const id of ['match-8', 'match-10', 'match-16']) assert.equal(await rows(id), 0, `${id} holds its rows`);
    // A far sheet's total: that sheet alone comes near.
    await search('1310', '1 of 1');
    assert.deepEqual(await currentMatch(page), ['match-10', '1310', 0]);
    assert.ok(await rows('match-10') > 0);
    await eventually(() => rows('match-1'), 0);
    assert.equal(await rows('match-16'), 0);

    // Typing into the open sheet, the keys back in the page and the field open, is searched again in that sheet
    // alone: a text put into a far sheet's held rows behind the page's back is not seen.
    await search('77', 'No matches');
    const openCell = (k) => page.locator('#match-17 td').nth(k);
    await openCell(4).focus();
    await page.$eval('#match-5', (sheet) => { sheet._heldRows.querySelector('td').textContent = '77'; });
    await page.keyboard.type('77');
    // The cell, its column's subtotal and Red's total.
    await eventually(() => findCount(page), '3 matches');
    // Escape gives the keys back to the cell with its caret where it was.
    for (const key of ['ArrowLeft', 'Control+f', 'Enter']) await page.keyboard.press(key);
    assert.equal(await findCount(page), '1 of 3');
    await page.keyboard.press('Escape');
    assert.equal(await page.evaluate(() => CSS.highlights.size), 0);
    await page.keyboard.type('0');
    assert.equal(await openCell(4).textContent(), '707');

    // A save brings the next sheet, which is counted.
    await page.keyboard.press('Control+f');
    await search('totals', '1 of 19');
    for (const [k, initials] of [[398, 'ab'], [399, 'cd']]) {
      await openCell(k).focus();
      await page.keyboard.type(initials);
    }
    await page.click('#save-match-btn');
    await session.settle();
    await eventually(() => findCount(page), '1 of 20');
  });

  test('goes on with Enter and F3 and back with Shift, wrapping at both ends, over a message too, and gives the keys back as they were', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await createContest(session);
    await addTeams(session, ['Owls', 'Howls Inc', 'Sea owl']);
    // What is selected in a field fills the find field.
    await page.fill('#team-name-inp', 'Owlet');
    await page.$eval('#team-name-inp', (input) => input.setSelectionRange(0, 3));
    await page.keyboard.press('Control+f');
    assert.equal(await page.inputValue('#find-inp'), 'Owl');
    await eventually(() => findCount(page), '1 of 3');
    for (const [key, number] of [['Enter', 2], ['F3', 3], ['Enter', 1], ['Shift+Enter', 3], ['Shift+F3', 2]]) {
      await page.keyboard.press(key);
      assert.equal(await findCount(page), `${number} of 3`, key);
    }
    assert.deepEqual(await currentMatch(page), ['teams-body', 'Howls Inc', 1]);
    assert.equal(await page.evaluate(() => CSS.highlights.get('find-match').size), 3);
    await page.keyboard.press('Escape');
    assert.equal(await page.isVisible('#find-form'), false);
    assert.equal(await page.evaluate(() => CSS.highlights.size), 0);
    assert.deepEqual(await page.$eval('#team-name-inp', (input) =>
      [document.activeElement === input, input.selectionStart, input.selectionEnd]), [true, 0, 3]);

    // Over a message, the field has the keys, with its old text selected; Escape gives them back to the message.
    await page.fill('#team-name-inp', '');
    await page.keyboard.press('Enter');
    await eventually(() => shownMessage(page), 'Please enter a team name.');
    await page.keyboard.press('Control+f');
    assert.deepEqual(await page.$eval('#find-inp', (input) => [input.selectionStart, input.selectionEnd]), [0, 3]);
    const { x, y } = await page.locator('#find-inp').boundingBox();
    assert.equal(await page.evaluate(([left, top]) => document.elementFromPoint(left, top).id, [x + 4, y + 4]), 'find-inp');
    await eventually(() => findCount(page), '1 of 3');
    await page.keyboard.press('Enter');
    assert.equal(await findCount(page), '2 of 3');
    // The message's text and the links above the screens are the page's too.
    await page.fill('#find-inp', 'enter a team');
    await eventually(() => findCount(page), '1 of 1');
    await page.fill('#find-inp', 'contestants');
    await eventually(() => findCount(page), '1 of 1');
    await page.keyboard.press('Escape');
    assert.equal(await shownMessage(page), 'Please enter a team name.');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'dialog-ok');
    await page.keyboard.press('Enter');
    assert.equal(await shownMessage(page), null);
  });

  test('finds only what the screen shows, counts again when that changes, and never prints', async (t) => {
    const { page } = await openSession(t, browser, { host: false });
    // Only in the Contest screen's help, which is closed; a line break in the page's text is a space.
    await page.keyboard.press('Control+f');
    await page.keyboard.type('holds the contest');
    await eventually(() => findCount(page), 'No matches');
    await page.click('#contest .help-toggle');
    await eventually(() => findCount(page), '1 match');
    await goTo(page, 'teams');
    await eventually(() => findCount(page), 'No matches');
    // The first line of the page's selection fills the field.
    await goTo(page, 'about');
    await page.evaluate(() => getSelection().selectAllChildren(document.getElementById('about')));
    await page.keyboard.press('Control+f');
    assert.equal(await page.inputValue('#find-inp'), 'About');
    await eventually(() => findCount(page), '1 of 2');
    await page.emulateMedia({ media: 'print' });
    assert.equal(await page.isVisible('#find-form'), false);
  });

  test('finds what the browser\'s own find finds, letters folded as it folds them, and marks whole letters', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await createContest(session);
    // Composed and decomposed accents, full case folding, a ligature, full-width letters, Greek final sigma.
    await addTeams(session, [
      ['Équipe Été', 'Ångström'], ['Straße', 'STRASSE'], ['İstanbul', 'ISTANBUL'], ['Café', 'Cafe\u0301'],
      ['Résumé', 'RESUME'], ['Müller', 'MULLER'], ['ﬁnal', 'Final'], ['Ａｂｃ', 'σοφός'], ['ΣΟΦΟΣ', 'Bjørn Łódź'],
    ]);
    // window.find reports a match by selecting it, and the sortable heads refuse selection.
    await page.addStyleTag({ content: 'th { user-select: text !important; }' });
    for (const query of ['equipe', 'angstrom', 'fi', 'abc', 'resume', 'muller', 'strasse', 'ß', 'istanbul', 'cafe',
      'café', 'σοφοσ', 'e', ' ', 'ÉTÉ', 's', 'ss', 'ａｂｃ', 'i', 'bjorn lodz', 'é', 'ς', '\u0301']) {
      await page.keyboard.press('Control+f');
      await page.fill('#find-inp', query);
      await eventually(() => findCount(page).then((count) => count !== ''), true);
      // "1 of 23", or "No matches"; every match is in view, and marked.
      const total = Number(/\d+$/.exec(await findCount(page))?.[0] ?? 0);
      await eventually(() => page.evaluate(() => CSS.highlights.get('find-match')?.size ?? 0), total);
      const ours = (await page.evaluate(() => [...(CSS.highlights.get('find-match') ?? [])]
        .map((range) => `${range.startContainer.data}|${range.startOffset}|${range.endOffset}`))).sort();
      await page.keyboard.press('Escape');
      const browsers = await page.evaluate((text) => {
        const found = [];
        getSelection().removeAllRanges();
        while (window.find(text, false, false, false, false, false, false)) {
          const range = getSelection().getRangeAt(0);
          found.push(`${range.startContainer.data}|${range.startOffset}|${range.endOffset}`);
        }
        getSelection().removeAllRanges();
        return found.sort();
      }, query);
      assert.deepEqual(ours, browsers, JSON.stringify(query));
    }
  });

  test('marks only the matches in view of a long table, and those that come into view as it scrolls', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await createContest(session);
    for (let team = 1; team <= 60; ++team) {
      assert.equal(await session.host.request('call_save_team', ['none', `Team ${team}`, '', ''].join(fieldSeparator)), '');
    }
    await goTo(page, 'teams');
    await page.click('#clear-team-btn');
    await session.settle();
    await page.keyboard.press('Control+f');
    await page.keyboard.type('team');
    // The link, the heading, the label, the column's head and the sixty teams.
    await eventually(() => findCount(page), '1 of 64');
    const marked = () => page.evaluate(() =>
      [...CSS.highlights.get('find-match') ?? []].map((range) => range.startContainer.data));
    await eventually(async () => (await marked()).includes('Team 5'), true);
    assert.equal((await marked()).includes('Team 60'), false);
    await page.$eval('#teams .table-container', (box) => { box.scrollTop = box.scrollHeight; });
    await eventually(async () => (await marked()).includes('Team 60'), true);
    assert.equal((await marked()).includes('Team 5'), false);
  });
});
