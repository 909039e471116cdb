// The Teams screen against the real native side.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import {
  addTeams, createContest, dismissMessage, eventually, fieldSeparator, goTo, launchBrowser, openSession, shownMessage,
  tableRows,
} from './harness.mjs';

let browser;
before(async () => { browser = await launchBrowser(); });
after(() => browser?.close());

const form = (page) => page.evaluate(() =>
  ['team-id-inp', 'team-name-inp', 'team-coach-name-inp', 'team-seed-inp'].map((id) => document.getElementById(id).value));
const teamOptions = (page) => page.$$eval('#contestant-team-name-inp option', (options) => options.map((o) => o.value));

async function teamsSession(t) {
  const session = await openSession(t, browser);
  await createContest(session);
  await goTo(session.page, 'teams');
  session.takeRequests();
  return session;
}

describe('Teams screen', () => {
  test('saves a team with coach and seed left empty and clears the form', async (t) => {
    const session = await teamsSession(t);
    const { page } = session;
    await page.fill('#team-name-inp', 'Ash');
    await page.press('#team-name-inp', 'Enter');
    await session.settle();
    // Four fields, the last two empty.
    assert.deepEqual(session.takeRequests(), [`call_save_team:none${fieldSeparator}Ash${fieldSeparator}${fieldSeparator}`, 'fetch_teams:']);
    assert.deepEqual(await tableRows(page, '#teams-body'), [['Ash', '', '1']]);
    assert.deepEqual(await form(page), ['none', '', '', '']);
    assert.equal(await page.evaluate(() => document.activeElement.id), 'team-name-inp');
    assert.deepEqual(await teamOptions(page), ['', 'Ash']);
  });

  test('refuses an empty name on the page and does nothing without a contest', async (t) => {
    const session = await teamsSession(t);
    const { page } = session;
    await page.fill('#team-name-inp', `  ${fieldSeparator} `);
    await page.click('#save-team-btn');
    await dismissMessage(page, 'Please enter a team name.');
    assert.deepEqual(session.takeRequests(), []);

    const closed = await openSession(t, browser);
    await goTo(closed.page, 'teams');
    await closed.page.fill('#team-name-inp', 'Ash');
    for (const button of ['#save-team-btn', '#clear-team-btn', '#randomize-seeds-btn']) await closed.page.click(button);
    await closed.page.evaluate(() => { document.getElementById('team-id-inp').value = '3'; });
    await closed.page.click('#delete-team-btn');
    await closed.page.waitForTimeout(100);
    assert.deepEqual(closed.requests, []);
    assert.equal(await shownMessage(closed.page), null);
  });

  test('loads a clicked row back exactly, then updates and deletes it', async (t) => {
    const session = await teamsSession(t);
    const { page } = session;
    const name = '<i>Oak</i> &amp;  Elm';
    await addTeams(session, [['Ash', 'Rowan'], [name, '<b>Fir</b>', 5]]);
    // Names from the native side show as text, never as markup.
    assert.deepEqual(await tableRows(page, '#teams-body'), [['Ash', 'Rowan', '1'], [name, '<b>Fir</b>', '5']]);
    assert.equal(await page.$$eval('#teams-body i, #teams-body b', (e) => e.length), 0);

    await page.click('#teams-body tr:nth-child(2) td:nth-child(1)');
    const [id] = await form(page);
    assert.match(id, /^\d+$/);
    assert.deepEqual(await form(page), [id, name, '<b>Fir</b>', '5']);
    await page.fill('#team-coach-name-inp', 'Pine');
    session.takeRequests();
    await page.click('#save-team-btn');
    await session.settle();
    assert.deepEqual(session.takeRequests()[0], ['call_save_team', [id, name, 'Pine', '5'].join(fieldSeparator)].join(':'));
    assert.deepEqual(await tableRows(page, '#teams-body'), [['Ash', 'Rowan', '1'], [name, 'Pine', '5']]);

    await page.click('#teams-body tr:nth-child(1)');
    await page.click('#delete-team-btn');
    await session.settle();
    assert.deepEqual(await tableRows(page, '#teams-body'), [[name, 'Pine', '5']]);
    assert.deepEqual(await form(page), ['none', '', '', '']);
    assert.deepEqual(await teamOptions(page), ['', name]);

    // With nothing loaded, Delete sends nothing and says nothing.
    session.takeRequests();
    await page.click('#delete-team-btn');
    await page.waitForTimeout(100);
    assert.deepEqual(session.takeRequests(), []);
    assert.equal(await shownMessage(page), null);
  });

  test('shows the native sentence for a refused save, then refreshes and clears', async (t) => {
    const session = await teamsSession(t);
    const { page } = session;
    await addTeams(session, ['Ash']);
    session.takeRequests();
    await page.fill('#team-name-inp', 'Ash');
    await page.fill('#team-coach-name-inp', 'Again');
    await page.click('#save-team-btn');
    await eventually(() => shownMessage(page), 'This team data could not be saved.');
    // The refresh waits for the message to be dismissed.
    await session.settle();
    assert.deepEqual(session.takeRequests(), [`call_save_team:none${fieldSeparator}Ash${fieldSeparator}Again${fieldSeparator}`]);
    assert.deepEqual(await form(page), ['none', 'Ash', 'Again', '']);
    await page.click('#dialog-ok');
    await session.settle();
    assert.deepEqual(session.takeRequests(), ['fetch_teams:']);
    assert.deepEqual(await form(page), ['none', '', '', '']);
    assert.deepEqual(await tableRows(page, '#teams-body'), [['Ash', '', '1']]);
  });

  test('takes out field separators typed into the name and coach', async (t) => {
    const session = await teamsSession(t);
    const { page } = session;
    await page.fill('#team-name-inp', `Bi${fieldSeparator}rch`);
    await page.fill('#team-coach-name-inp', `${fieldSeparator}Rowan`);
    await page.fill('#team-seed-inp', '4');
    await page.click('#save-team-btn');
    await session.settle();
    assert.deepEqual(await tableRows(page, '#teams-body'), [['Birch', 'Rowan', '4']]);
  });

  test('sorts by a column head and returns to seed order on Clear', async (t) => {
    const session = await teamsSession(t);
    const { page } = session;
    await addTeams(session, [['Cedar', 'Xu', 9], ['Ash', 'Young', 10], ['Birch', 'Zane', 2]]);
    const names = async () => (await tableRows(page, '#teams-body')).map((row) => row[0]);
    assert.deepEqual(await names(), ['Birch', 'Cedar', 'Ash']);
    await page.click('#teams-table th:nth-child(1)');
    assert.deepEqual(await names(), ['Ash', 'Birch', 'Cedar']);
    // The seed column sorts as numbers.
    await page.click('#teams-table th:nth-child(3)');
    assert.deepEqual(await names(), ['Birch', 'Cedar', 'Ash']);
    await page.click('#teams-table th:nth-child(3)');
    assert.deepEqual(await names(), ['Ash', 'Cedar', 'Birch']);
    await page.click('#clear-team-btn');
    await session.settle();
    assert.deepEqual(await names(), ['Birch', 'Cedar', 'Ash']);
    assert.equal(await page.$eval('#teams-table', (table) => table.querySelectorAll('th[data-sorted]').length), 0);
  });

  test('lists each team once in the contestants\' select after overlapping refreshes', async (t) => {
    const session = await teamsSession(t);
    const { page } = session;
    await addTeams(session, ['Ash', 'Birch']);
    // Replies held back until all three refreshes are waiting for theirs.
    session.hold = true;
    for (let n = 0; n < 3; ++n) await page.click('#clear-team-btn');
    await eventually(() => session.held.length, 3);
    await session.release();
    await session.settle();
    assert.deepEqual(await teamOptions(page), ['', 'Ash', 'Birch']);
    assert.equal(await page.$$eval('#teams-body tr', (rows) => rows.length), 2);
  });
});

describe('Seed draw', () => {
  test('redraws the seeds and refreshes the table', async (t) => {
    const session = await teamsSession(t);
    const { page } = session;
    const names = Array.from({ length: 8 }, (_, n) => `Team ${n + 1}`);
    await addTeams(session, names);
    session.takeRequests();
    await page.click('#randomize-seeds-btn');
    await session.settle();
    assert.deepEqual(session.takeRequests(), ['randomize_seeds:', 'fetch_teams:']);
    const rows = await tableRows(page, '#teams-body');
    // Every team is still there, seeded 1 to 8 in table order.
    assert.deepEqual(rows.map((row) => row[0]).sort(), [...names].sort());
    assert.deepEqual(rows.map((row) => row[2]), ['1', '2', '3', '4', '5', '6', '7', '8']);
  });

  test('says when the draw left the order as it was, after the refresh', async (t) => {
    const session = await teamsSession(t);
    const { page } = session;
    await addTeams(session, ['Ash']);
    session.takeRequests();
    await page.click('#randomize-seeds-btn');
    await eventually(() => shownMessage(page), 'No change in order \u2013 randomize again if you like.');
    assert.deepEqual(session.takeRequests(), ['randomize_seeds:', 'fetch_teams:']);
    assert.deepEqual(await tableRows(page, '#teams-body'), [['Ash', '', '1']]);
    await page.click('#dialog-ok');
  });
});
