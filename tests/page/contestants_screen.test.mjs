// The Contestants screen against the real native side.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import {
  addContestants, addTeams, createContest, dismissMessage, eventually, fieldSeparator, goTo, launchBrowser, openSession,
  shownMessage, tableRows,
} from './harness.mjs';

let browser;
before(async () => { browser = await launchBrowser(); });
after(() => browser?.close());

const form = (page) => page.evaluate(() =>
  ['contestant-id-inp', 'contestant-team-name-inp', 'contestant-name-inp', 'contestant-chair-inp']
    .map((id) => document.getElementById(id).value));
const selectedTeam = (page) => page.$eval('#contestant-team-name-inp', (select) => select.selectedIndex);

async function contestantsSession(t, teams = ['Ash', 'Birch']) {
  const session = await openSession(t, browser);
  await createContest(session);
  await addTeams(session, teams);
  await goTo(session.page, 'contestants');
  session.takeRequests();
  return session;
}

describe('Contestants screen', () => {
  test('saves a contestant, keeps the team for the next, and counts per team', async (t) => {
    const session = await contestantsSession(t);
    const { page } = session;
    const teamId = await page.$eval('#contestant-team-name-inp option:nth-child(2)', (o) => o.dataset.id);
    await page.selectOption('#contestant-team-name-inp', 'Ash');
    await page.fill('#contestant-name-inp', 'Avery');
    await page.fill('#contestant-chair-inp', '1');
    await page.press('#contestant-chair-inp', 'Enter');
    await session.settle();
    assert.deepEqual(session.takeRequests(), [
      `save_contestant:${['none', teamId, 'Avery', '1'].join(fieldSeparator)}`, 'fetch_contestants:', 'fetch_contestant_counts:',
    ]);
    // The team stays chosen; name and chair are emptied and the name has the focus.
    assert.deepEqual(await form(page), ['none', 'Ash', '', '']);
    assert.equal(await page.evaluate(() => document.activeElement.id), 'contestant-name-inp');

    await page.fill('#contestant-name-inp', 'Blake');
    await page.fill('#contestant-chair-inp', '2');
    await page.press('#contestant-name-inp', 'Enter');
    await session.settle();
    await addContestants(session, [['Birch', 'Casey', 1]]);
    // Newest first, as the native side lists them.
    assert.deepEqual(await tableRows(page, '#contestants-body'), [['Birch', 'Casey', '1'], ['Ash', 'Blake', '2'], ['Ash', 'Avery', '1']]);
    assert.deepEqual(await tableRows(page, '#contestant-counts-body'), [['Birch', '1'], ['Ash', '2']]);
  });

  test('refuses a missing team, name or chair on the page', async (t) => {
    const session = await contestantsSession(t);
    const { page } = session;
    // Enter in the select saves like Enter in the inputs, and its message stays up.
    await page.focus('#contestant-team-name-inp');
    await page.keyboard.press('Enter');
    await dismissMessage(page, 'Please select a team name.');
    await page.selectOption('#contestant-team-name-inp', 'Birch');
    await page.fill('#contestant-name-inp', fieldSeparator);
    await page.click('#save-contestant-btn');
    await dismissMessage(page, 'Please enter a contestant name.');
    await page.fill('#contestant-name-inp', 'Casey');
    await page.click('#save-contestant-btn');
    await dismissMessage(page, 'Please enter a chair.');
    // Content that is not a number reads as no chair.
    await page.focus('#contestant-chair-inp');
    await page.keyboard.type('e');
    await page.click('#save-contestant-btn');
    await dismissMessage(page, 'Please enter a chair.');
    assert.deepEqual(session.takeRequests(), []);
  });

  test('shows the native sentence for a refused save and refreshes after it', async (t) => {
    const session = await contestantsSession(t);
    const { page } = session;
    await addContestants(session, [['Ash', 'Avery', 1]]);
    session.takeRequests();
    await page.fill('#contestant-name-inp', 'Avery');
    await page.fill('#contestant-chair-inp', '2');
    await page.click('#save-contestant-btn');
    await eventually(() => shownMessage(page), 'This contestant data could not be saved.');
    await session.settle();
    assert.equal(session.takeRequests().length, 1);
    await page.click('#dialog-ok');
    await session.settle();
    assert.deepEqual(session.takeRequests(), ['fetch_contestants:', 'fetch_contestant_counts:']);
    assert.deepEqual(await form(page), ['none', 'Ash', '', '']);
  });

  test('loads a clicked row back, updates it, and deletes it with the team cleared', async (t) => {
    const session = await contestantsSession(t);
    const { page } = session;
    const name = '<b>Avery</b>  &amp; Co';
    await addContestants(session, [['Ash', name, 1], ['Birch', 'Casey', 1]]);
    assert.equal(await page.$$eval('#contestants-body b', (e) => e.length), 0);
    await page.click('#contestants-body tr:nth-child(2)');
    const [id] = await form(page);
    assert.match(id, /^\d+$/);
    assert.deepEqual(await form(page), [id, 'Ash', name, '1']);
    // Move the contestant to the other team.
    await page.selectOption('#contestant-team-name-inp', 'Birch');
    await page.fill('#contestant-chair-inp', '2');
    await page.click('#save-contestant-btn');
    await session.settle();
    assert.deepEqual(await tableRows(page, '#contestants-body'), [['Birch', 'Casey', '1'], ['Birch', name, '2']]);
    assert.deepEqual(await tableRows(page, '#contestant-counts-body'), [['Birch', '2'], ['Ash', '0']]);

    await page.click('#contestants-body tr:nth-child(1)');
    session.takeRequests();
    await page.click('#delete-contestant-btn');
    await session.settle();
    assert.equal(session.takeRequests()[0].startsWith('delete_contestant:'), true);
    assert.deepEqual(await tableRows(page, '#contestants-body'), [['Birch', name, '2']]);
    // A delete clears the team as well and focuses the select.
    assert.deepEqual(await form(page), ['none', '', '', '']);
    assert.equal(await page.evaluate(() => document.activeElement.id), 'contestant-team-name-inp');

    // Delete with nothing loaded sends nothing.
    await page.click('#delete-contestant-btn');
    await page.waitForTimeout(100);
    assert.deepEqual(session.takeRequests(), []);
    assert.equal(await shownMessage(page), null);
  });

  test('Clear empties the form, the team included', async (t) => {
    const session = await contestantsSession(t);
    const { page } = session;
    await addContestants(session, [['Ash', 'Avery', 1]]);
    await page.click('#contestants-body tr:nth-child(1)');
    session.takeRequests();
    await page.click('#clear-contestant-btn');
    await session.settle();
    assert.deepEqual(session.takeRequests(), ['fetch_contestants:', 'fetch_contestant_counts:']);
    assert.deepEqual(await form(page), ['none', '', '', '']);
  });

  test('leaves no team selected for a row whose team was renamed since', async (t) => {
    const session = await contestantsSession(t);
    const { page } = session;
    await addContestants(session, [['Ash', 'Avery', 1]]);
    await goTo(page, 'teams');
    await page.click('#teams-body tr:nth-child(1)');
    await page.fill('#team-name-inp', 'Aspen');
    await page.click('#save-team-btn');
    await session.settle();
    // The contestants table still shows the old name until it is refreshed.
    await goTo(page, 'contestants');
    await page.click('#contestants-body tr:nth-child(1)');
    assert.equal(await selectedTeam(page), -1);
    await page.click('#save-contestant-btn');
    await dismissMessage(page, 'Please select a team name.');
  });
});
