// The Brackets screen against the real native side: the preview, the start, the stored bracket.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import {
  addTeams, contestWithTeams, createContest, dismissMessage, eventually, goTo, launchBrowser, openSession, tableRows,
} from './harness.mjs';

let browser;
before(async () => { browser = await launchBrowser(); });
after(() => browser?.close());

const startShown = (page) => page.isVisible('#start-contest-btn');

async function confirmStart(page) {
  await page.click('#start-contest-btn');
  await page.click('#confirm-ok');
}

describe('Brackets screen', () => {
  test('shows nothing for a contest without teams and does not ask whether it started', async (t) => {
    const session = await openSession(t, browser);
    await createContest(session);
    session.takeRequests();
    await goTo(session.page, 'brackets');
    await session.settle();
    assert.deepEqual(session.takeRequests(), ['fetch_brackets:']);
    assert.deepEqual(await tableRows(session.page, '#brackets-body'), []);
    assert.equal(await startShown(session.page), true);
  });

  test('previews the bracket from the current teams, names shown as text', async (t) => {
    const session = await openSession(t, browser);
    await createContest(session);
    await addTeams(session, ['<b>Ash</b>', 'Birch']);
    session.takeRequests();
    await goTo(session.page, 'brackets');
    await session.settle();
    assert.deepEqual(session.takeRequests(), ['fetch_brackets:', 'contest_has_started:']);
    assert.deepEqual(await tableRows(session.page, '#brackets-body'), [
      ['1', '1', 'Initial', 'S 1', 'S 2', '<b>Ash</b>', 'Birch', ''],
      ['2', '2', 'Finals', 'W 1', 'L 1', '', '', ''],
      ['3', '3', 'Finals rematch', 'L 2', 'W 2', '', '', ''],
    ]);
    assert.equal(await startShown(session.page), true);
  });

  test('keeps the start button when the start is refused', async (t) => {
    const session = await openSession(t, browser);
    await createContest(session);
    await addTeams(session, ['Ash', 'Birch']);
    await goTo(session.page, 'brackets');
    await session.settle();
    await confirmStart(session.page);
    await dismissMessage(session.page, 'There must be at least four contestants per team.');
    assert.equal(await startShown(session.page), true);
  });

  test('starts the contest, hides the button for good and lists the stored bracket', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await contestWithTeams(session, ['Ash', 'Birch', 'Cedar']);
    await goTo(page, 'brackets');
    await session.settle();
    const preview = await tableRows(page, '#brackets-body');
    session.takeRequests();
    await confirmStart(page);
    await eventually(() => startShown(page), false);
    await session.settle();
    // The table is not reloaded by the start itself.
    assert.deepEqual(session.takeRequests(), ['start_contest:']);
    assert.equal(await session.host.request('contest_has_started'), 'true');

    await goTo(page, 'about');
    await goTo(page, 'brackets');
    await session.settle();
    assert.deepEqual(session.takeRequests(), ['fetch_brackets:', 'contest_has_started:']);
    // The stored bracket lists the same matches as the preview did.
    assert.deepEqual(await tableRows(page, '#brackets-body'), preview);
    assert.equal(await startShown(page), false);

    // Registration is frozen now; the page shows the native refusal.
    await goTo(page, 'teams');
    await page.fill('#team-name-inp', 'Dogwood');
    await page.click('#save-team-btn');
    await dismissMessage(page, 'This team data could not be saved.');
  });
});
