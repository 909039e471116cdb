// The Rankings screen: the rank rule and the show/hide button with the test answering as the native side,
// then the lists as the real native side gives them before any match is played.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import {
  contestWithTeams, eventually, fieldSeparator, goTo, launchBrowser, openSession, shownMessage, tableRows,
} from './harness.mjs';

let browser;
before(async () => { browser = await launchBrowser(); });
after(() => browser?.close());

const join = (records) => records.map((record) => record.join(fieldSeparator)).join(fieldSeparator);
const visibleRanks = (page, selector) => page.$$eval(`${selector} tbody tr`, (rows) =>
  rows.filter((row) => row.checkVisibility()).map((row) => row.cells[0].textContent));

const teamRecords = ['1', '2', '3', '4', '5', '6', '7', '8', '9', '10', '10', '12']
  .map((rank, n) => [rank, `<i>Team ${n + 1}</i>`, `Coach ${n + 1}`, '3', '1', '120', '110.5', '140', '260']);
const contestantHead = ['Rank', 'Contestant', 'Team', 'High&nbsp;3 Score', 'Average Score', 'High Score', 'Total Score'];
const contestantRecords = [['1', 'Avery', 'Team 1', '90', '30.0', '40', '90'], ['11', 'Blake', 'Team 2', '', '', '', '']];

// Opens a contest and the Rankings screen, answering each request with the given result.
async function rankingsWith(t, teamResult, contestantResult) {
  const session = await openSession(t, browser, { host: false });
  const { page } = session;
  await page.fill('#contest-name-inp', 'Spring');
  await page.click('#create-contest-btn');
  await eventually(() => session.requests.length, 1);
  await session.reply('1:');
  await eventually(() => page.textContent('#contest-name'), 'Spring');
  session.takeRequests();
  session.answer = async (teams, contestants) => {
    await eventually(() => session.takeRequests(), ['fetch_team_rankings:']);
    await session.reply(`${session.requests.length}:${teams}`);
    if (contestants === undefined) return;
    await eventually(() => session.takeRequests(), ['fetch_contestant_rankings:']);
    await session.reply(`${session.requests.length}:${contestants}`);
  };
  await goTo(page, 'rankings');
  await session.answer(teamResult, contestantResult);
  return session;
}

describe('Rankings screen', () => {
  test('hides ranks beyond 10 in both tables until the button is pressed', async (t) => {
    const session = await rankingsWith(t, join(teamRecords), join([contestantHead, ...contestantRecords]));
    const { page } = session;
    await eventually(() => visibleRanks(page, '#contestant-rankings-table'), ['1']);
    // Every team tied at rank 10 shows; rank 12 waits.
    assert.deepEqual(await visibleRanks(page, '#team-rankings-table'), ['1', '2', '3', '4', '5', '6', '7', '8', '9', '10', '10']);
    assert.deepEqual((await tableRows(page, '#team-rankings-body'))[11],
      ['12', '<i>Team 12</i>', 'Coach 12', '3', '1', '120', '110.5', '140', '260']);
    // The head's entity shows as a non-breaking space.
    assert.deepEqual(await page.$$eval('#contestant-rankings-table thead th', (ths) => ths.map((th) => th.textContent)),
      ['Rank', 'Contestant', 'Team', 'High\u00A03 Score', 'Average Score', 'High Score', 'Total Score']);

    await page.click('#rankings-show-hide-btn');
    assert.equal((await visibleRanks(page, '#team-rankings-table')).length, 12);
    assert.deepEqual(await visibleRanks(page, '#contestant-rankings-table'), ['1', '11']);
    await page.click('#rankings-show-hide-btn');
    assert.equal((await visibleRanks(page, '#team-rankings-table')).length, 11);

    // Coming back hides them again.
    await page.click('#rankings-show-hide-btn');
    await goTo(page, 'about');
    await goTo(page, 'rankings');
    await session.answer(join(teamRecords), join([contestantHead, ...contestantRecords]));
    await eventually(() => visibleRanks(page, '#contestant-rankings-table'), ['1']);
    assert.equal((await visibleRanks(page, '#team-rankings-table')).length, 11);
  });

  test('empties the tables for empty answers and stops quietly on a failed fetch', async (t) => {
    const session = await rankingsWith(t, join(teamRecords), join([contestantHead, ...contestantRecords]));
    const { page } = session;
    await eventually(async () => (await tableRows(page, '#contestant-rankings-table tbody')).length, 2);
    await goTo(page, 'about');
    await goTo(page, 'rankings');
    await session.answer('', '');
    await eventually(() => page.$eval('#contestant-rankings-table', (table) => table.children.length), 0);
    assert.deepEqual(await tableRows(page, '#team-rankings-body'), []);

    await goTo(page, 'about');
    await goTo(page, 'rankings');
    await session.answer('ERROR:Something failed.');
    await page.waitForTimeout(100);
    // No message, and the contestant rankings are not asked for.
    assert.equal(await shownMessage(page), null);
    assert.deepEqual(session.takeRequests(), []);
  });

  test('lists contestants with empty scores and no teams before the first match', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await contestWithTeams(session, ['Ash', 'Birch']);
    await goTo(page, 'rankings');
    await session.settle();
    assert.deepEqual(await tableRows(page, '#team-rankings-body'), []);
    assert.deepEqual(await page.$$eval('#contestant-rankings-table thead th', (ths) => ths.map((th) => th.textContent)),
      ['Rank', 'Contestant', 'Team', 'High\u00A02 Score', 'Average Score', 'High Score', 'Total Score']);
    const rows = await tableRows(page, '#contestant-rankings-table tbody');
    assert.equal(rows.length, 8);
    assert.deepEqual(rows.find((row) => row[1] === 'Ash 1'), ['1', 'Ash 1', 'Ash', '', '', '', '']);
  });
});
