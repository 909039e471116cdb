// The page's request client, driven through the Contest screen with the test standing in for the native
// side, so that ids, replies and time-outs are under the test's control.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import {
  dismissMessage, eventually, fieldSeparator, launchBrowser, openSession, shownMessage, tableRows,
} from './harness.mjs';

let browser;
before(async () => { browser = await launchBrowser(); });
after(() => browser?.close());

async function submitContestName(page, name) {
  await page.fill('#contest-name-inp', name);
  await page.click('#create-contest-btn');
}

describe('Request client', () => {
  test('numbers requests from 1 and frames them as id, name and argument', async (t) => {
    const session = await openSession(t, browser, { host: false });
    const { page } = session;
    await submitContestName(page, 'Quiz: Finals');
    // The argument goes out unchanged, colon included.
    await eventually(() => session.requests, ['1:create_contest:Quiz: Finals']);
    await session.reply('1:');
    await eventually(() => page.textContent('#contest-name'), 'Quiz: Finals');
    // A command without an argument still carries both colons.
    await eventually(() => session.requests.length, 1);
    await page.click('nav a[data-page="brackets"]');
    await eventually(() => session.requests.slice(1), ['2:fetch_brackets:']);
  });

  test('turns an ERROR: result into the sentence after the prefix', async (t) => {
    const session = await openSession(t, browser, { host: false });
    const { page } = session;
    await submitContestName(page, 'Spring');
    await eventually(() => session.requests.length, 1);
    await session.reply('1:ERROR:A contest with this name is already on your desktop.');
    await dismissMessage(page, 'A contest with this name is already on your desktop.');
    assert.equal(await page.textContent('#contest-name'), 'None');

    // A result of exactly "ERROR:" fails with an empty sentence.
    await page.click('#create-contest-btn');
    await eventually(() => session.requests.length, 2);
    await session.reply('2:ERROR:');
    await dismissMessage(page, '');

    // A result that merely contains colons succeeds whole.
    await page.click('#open-contest-btn');
    await eventually(() => session.requests.at(-1), '3:open_contest:');
    await session.reply('3:Club: Round 2:B');
    await eventually(() => page.textContent('#contest-name'), 'Club: Round 2:B');
  });

  test('ignores replies with an id that was never issued', async (t) => {
    const session = await openSession(t, browser, { host: false });
    const { page } = session;
    await submitContestName(page, 'Spring');
    await eventually(() => session.requests.length, 1);
    await session.reply('7:');
    await session.reply('no colon at all');
    await page.waitForTimeout(100);
    assert.equal(await page.textContent('#contest-name'), 'None');
    // The call is still pending and takes its own reply.
    await session.reply('1:');
    await eventually(() => page.textContent('#contest-name'), 'Spring');
  });

  test('times out after 5 seconds and ignores the late reply', async (t) => {
    const session = await openSession(t, browser, { host: false, clock: true });
    const { page } = session;
    await submitContestName(page, 'Spring');
    await eventually(() => session.requests.length, 1);
    await page.clock.runFor(4900);
    assert.equal(await shownMessage(page), null);
    await page.clock.runFor(200);
    await dismissMessage(page, 'Request timeout, please try again.');
    // The late reply finds no pending call: the screen stays as it was.
    await session.reply('1:');
    await page.waitForTimeout(100);
    assert.equal(await page.textContent('#contest-name'), 'None');
    // The counter goes on after a time-out.
    await page.click('#create-contest-btn');
    await eventually(() => session.requests, ['1:create_contest:Spring', '2:create_contest:Spring']);
  });

  test('waits for open_contest as long as the file dialog stays up, and opens the contest chosen late', async (t) => {
    const session = await openSession(t, browser, { host: false, clock: true });
    const { page } = session;
    await page.click('#open-contest-btn');
    await eventually(() => session.requests, ['1:open_contest:']);
    // Neither a second open nor a create is queued behind the dialog.
    await page.click('#open-contest-btn');
    await submitContestName(page, 'Spring');
    await page.clock.runFor(10 * 60 * 1000);
    assert.equal(await shownMessage(page), null);
    assert.deepEqual(session.takeRequests(), ['open_contest:']);

    // The late name opens the contest as a timely one does: the screen locks and the lists are fetched.
    await session.reply('1:Club Night');
    await eventually(() => page.textContent('#contest-name'), 'Club Night');
    const lists = [['fetch_teams', ['7', 'Ash', 'Rowan', '1']], ['fetch_contestants', ['9', 'Ash', 'Avery', '1']],
      ['fetch_contestant_counts', ['Ash', '1']]];
    for (const [index, [name, fields]] of lists.entries()) {
      const id = index + 2;
      await eventually(() => session.requests.at(-1), `${id}:${name}:`);
      await session.reply(`${id}:${fields.join(fieldSeparator)}`);
    }
    assert.deepEqual(await tableRows(page, '#teams-body'), [['Ash', 'Rowan', '1']]);
    await eventually(() => tableRows(page, '#contestant-counts-body'), [['Ash', '1']]);
    assert.deepEqual(await tableRows(page, '#contestants-body'), [['Ash', 'Avery', '1']]);
    assert.deepEqual(await page.evaluate(() => ['contest-name-inp', 'create-contest-btn', 'open-contest-btn']
      .map((id) => document.getElementById(id).disabled)), [true, true, true]);
  });

  test('carries text outside ASCII both ways through the native side', async (t) => {
    const session = await openSession(t, browser);
    const { page } = session;
    await submitContestName(page, 'Ærø Ĉup 東京');
    await eventually(() => page.textContent('#contest-name'), 'Ærø Ĉup 東京');
    await eventually(() => session.host.stderr, 'title: Ærø Ĉup 東京 - Pellucan\n');
  });
});
