(function () {
  'use strict';

  const fieldSeparator = '\u001F';
  const newRecordId = 'none';
  const noContestName = 'None';

  const byId = (id) => document.getElementById(id);

  // ---- Request client ----

  // A failure that the native side or the time-out reported; anything else thrown is a fault of the page.
  class RequestError extends Error {}

  function createRequestClient(webview) {
    const requestTimeout = 5000;
    const timeoutMessage = 'Request timeout, please try again.';
    const errorPrefix = 'ERROR:';
    let requestCounter = 0;
    const pendingRequests = new Map();

    webview.addEventListener('message', (event) => {
      const reply = String(event.data);
      const colon = reply.indexOf(':');
      const id = colon < 0 ? reply : reply.slice(0, colon);
      const result = colon < 0 ? '' : reply.slice(colon + 1);
      const pending = pendingRequests.get(id);
      // A late reply to a call that timed out, or an id never issued.
      if (!pending) return;
      clearTimeout(pending.timeoutId);
      pendingRequests.delete(id);
      if (result.startsWith(errorPrefix)) pending.reject(new RequestError(result.slice(errorPrefix.length)));
      else pending.resolve(result);
    });

    // A request sent behind another of the page's own (after) waits for it on the native side, which runs
    // one request at a time: its time-out starts once that one is answered, so sending many at once
    // shortens none.
    function sendRequest(name, args = '', after = undefined) {
      requestCounter += 1;
      const id = String(requestCounter);
      const message = `${id}:${name}:${args}`;
      return new Promise((resolve, reject) => {
        const pending = { resolve, reject, timeoutId: undefined };
        const startTimer = () => {
          if (pendingRequests.get(id) !== pending) return;
          pending.timeoutId = setTimeout(() => {
            pendingRequests.delete(id);
            reject(new RequestError(timeoutMessage));
          }, requestTimeout);
        };
        pendingRequests.set(id, pending);
        // Opening waits on the file dialog for as long as the user keeps it up; giving up on it would
        // leave the chosen contest open on the native side and unknown to the page.
        if (name !== 'open_contest') {
          if (after) after.then(startTimer, startTimer);
          else startTimer();
        }
        webview.postMessage(message);
      });
    }

    const withArgument = (name) => (args, after) => sendRequest(name, args, after);
    const withoutArgument = (name) => () => sendRequest(name);
    return {
      create_contest: withArgument('create_contest'),
      open_contest: withoutArgument('open_contest'),
      call_save_team: withArgument('call_save_team'),
      fetch_teams: withoutArgument('fetch_teams'),
      delete_team: withArgument('delete_team'),
      randomize_seeds: withoutArgument('randomize_seeds'),
      save_contestant: withArgument('save_contestant'),
      fetch_contestants: withoutArgument('fetch_contestants'),
      fetch_contestant_counts: withoutArgument('fetch_contestant_counts'),
      delete_contestant: withArgument('delete_contestant'),
      fetch_brackets: withoutArgument('fetch_brackets'),
      start_contest: withoutArgument('start_contest'),
      contest_has_started: withoutArgument('contest_has_started'),
      fetch_next_match: withoutArgument('fetch_next_match'),
      fetch_completed_match: withArgument('fetch_completed_match'),
      fetch_future_matches: withoutArgument('fetch_future_matches'),
      n_completed_matches: withoutArgument('n_completed_matches'),
      load_match: withArgument('load_match'),
      fetch_team_rankings: withoutArgument('fetch_team_rankings'),
      fetch_contestant_rankings: withoutArgument('fetch_contestant_rankings'),
    };
  }

  const requestClient = createRequestClient(window.chrome.webview);

  // ---- Dialogs ----

  const mainElement = document.querySelector('main');
  const dialogOverlay = byId('dialog-overlay');
  const confirmOverlay = byId('confirm-overlay');

  // Returns a function that runs each task it is given after the one before it has settled.
  function inTurn() {
    let last = Promise.resolve();
    return (task) => {
      const run = last.then(task);
      last = run.catch(() => {});
      return run;
    };
  }

  // One dialog at a time: a dialog asked for while another is shown waits for it to be answered.
  const queueDialog = inTurn();

  // Keys still held when a dialog closes were pressed for the dialog: their key-ups must not reach the
  // element that gets the keys back (a key-up in a score cell adds the sheet up again).
  function swallowKeyUps(codes) {
    if (codes.size === 0) return;
    const listener = (event) => {
      if (!codes.delete(event.code)) return;
      event.stopImmediatePropagation();
      if (codes.size === 0) window.removeEventListener('keyup', listener, true);
    };
    window.addEventListener('keyup', listener, true);
  }

  // Shows one overlay until finish() is called, then gives the keys back to the element that had them.
  // Keys pressed before it opened (the Enter that submitted a form, say) are not taken as an answer.
  function presentDialog(overlay, otherOverlay, focusTarget, onKey, buttons) {
    return new Promise((resolve) => {
      const shownAt = performance.now();
      const returnFocusTo = document.activeElement;
      // An editable cell gets its caret back as well (an input keeps its own).
      const selection = document.getSelection();
      const returnCaret = selection.rangeCount > 0 ? selection.getRangeAt(0).cloneRange() : null;
      const keysHeld = new Set();
      const keyDownListener = (event) => {
        if (event.timeStamp < shownAt) return;
        keysHeld.add(event.code);
        onKey(event, finish);
      };
      const keyUpListener = (event) => keysHeld.delete(event.code);
      const clickListeners = buttons.map(([button, answer]) => [button, () => finish(answer)]);
      function finish(answer) {
        overlay.classList.add('hidden');
        document.removeEventListener('keydown', keyDownListener);
        document.removeEventListener('keyup', keyUpListener);
        for (const [button, listener] of clickListeners) button.removeEventListener('click', listener);
        mainElement.inert = false;
        otherOverlay.inert = false;
        // An element removed meanwhile, or one that cannot take the focus, is left alone.
        if (returnFocusTo?.isConnected) {
          returnFocusTo.focus();
          if (returnCaret && returnFocusTo.isContentEditable && returnFocusTo.contains(returnCaret.startContainer)) {
            selection.removeAllRanges();
            selection.addRange(returnCaret);
          }
        }
        swallowKeyUps(keysHeld);
        resolve(answer);
      }
      overlay.classList.remove('hidden');
      mainElement.inert = true;
      otherOverlay.inert = true;
      for (const [button, listener] of clickListeners) button.addEventListener('click', listener);
      document.addEventListener('keydown', keyDownListener);
      document.addEventListener('keyup', keyUpListener);
      focusTarget.focus();
    });
  }

  function showMessage(text) {
    return queueDialog(() => {
      byId('dialog-message').textContent = text;
      const ok = byId('dialog-ok');
      const onKey = (event, finish) => {
        if (event.key === 'Enter' || event.key === 'Escape') {
          event.preventDefault();
          finish();
        }
      };
      return presentDialog(dialogOverlay, confirmOverlay, ok, onKey, [[ok, undefined]]);
    });
  }

  function showConfirm(text) {
    return queueDialog(() => {
      byId('confirm-message').textContent = text;
      const ok = byId('confirm-ok');
      const cancel = byId('confirm-cancel');
      const onKey = (event, finish) => {
        if (event.key === 'Escape') {
          event.preventDefault();
          finish(false);
        }
      };
      return presentDialog(confirmOverlay, dialogOverlay, cancel, onKey, [[ok, true], [cancel, false]]);
    });
  }

  // ---- Shared helpers ----

  // The page's own record of the open contest; the name shown on the Contest screen follows it.
  let contestOpen = false;

  function isContestOpen() {
    return contestOpen;
  }

  // Cuts a result into records of a fixed number of fields; a short tail is dropped.
  function splitRecords(result, fieldsPerRecord) {
    if (result === '') return [];
    const fields = result.split(fieldSeparator);
    const records = [];
    for (let start = 0; start + fieldsPerRecord <= fields.length; start += fieldsPerRecord) {
      records.push(fields.slice(start, start + fieldsPerRecord));
    }
    return records;
  }

  // The separator would split a name into two fields on the native side.
  function fieldText(value) {
    return value.replaceAll(fieldSeparator, '').trim();
  }

  // Builds a table row whose cells hold the texts as plain text.
  function makeRow(texts, cellTag = 'td') {
    const row = document.createElement('tr');
    for (const text of texts) {
      const cell = document.createElement(cellTag);
      cell.textContent = text;
      row.append(cell);
    }
    return row;
  }

  // Runs an event handler that may await requests; a failed fetch ends it quietly, as the screens want.
  function handle(handler) {
    return (event) => {
      Promise.resolve(handler(event)).catch((error) => {
        if (!(error instanceof RequestError)) throw error;
      });
    };
  }

  // Shows a failed command's sentence and waits until it is dismissed.
  async function reportFailure(error) {
    if (!(error instanceof RequestError)) throw error;
    await showMessage(error.message);
  }

  // Awaits a command that changes data; a failure is shown and dismissed, and the caller goes on with
  // its refreshes. Resolves with the result, or the empty text after a failure.
  async function sendChange(request) {
    try {
      return await request;
    } catch (error) {
      await reportFailure(error);
      return '';
    }
  }

  // A click on a row of the body hands that row to load.
  function onRowClick(body, load) {
    body.addEventListener('click', (event) => {
      const row = event.target.closest('tr');
      if (row && body.contains(row)) load(row);
    });
  }

  // Delete sends the record id of the form, unless it holds a new record, then refreshes.
  function deleteHandler(idInput, remove, refresh) {
    return handle(async () => {
      if (!isContestOpen()) return;
      const id = idInput.value.trim();
      if (id === newRecordId) return;
      await sendChange(remove(id));
      await refresh();
    });
  }

  //@include match_screen.js

  //@include find.js

  // ---- Contest ----

  const contestName = byId('contest-name');
  const contestNameInput = byId('contest-name-inp');

  // Set while open_contest waits on the file dialog: a create or a second open sent meanwhile would only
  // run once the dialog closes, whatever the user chose in it.
  let openingContest = false;

  function showOpenContest(name) {
    contestOpen = true;
    contestName.textContent = name;
    contestNameInput.disabled = true;
    byId('create-contest-btn').disabled = true;
    byId('open-contest-btn').disabled = true;
  }

  byId('create-contest-form').addEventListener('submit', handle(async (event) => {
    event.preventDefault();
    if (isContestOpen() || openingContest) return;
    const name = fieldText(contestNameInput.value);
    if (name === '') {
      await showMessage('Please enter a contest name.');
      return;
    }
    try {
      await requestClient.create_contest(name);
    } catch (error) {
      await reportFailure(error);
      return;
    }
    contestNameInput.value = '';
    showOpenContest(name);
  }));

  byId('open-contest-btn').addEventListener('click', handle(async () => {
    if (isContestOpen() || openingContest) return;
    openingContest = true;
    let name;
    try {
      name = await requestClient.open_contest();
    } catch (error) {
      await reportFailure(error);
      return;
    } finally {
      openingContest = false;
    }
    // The file dialog was cancelled.
    if (name === noContestName) return;
    showOpenContest(name);
    await loadContestData();
  }));

  async function loadContestData() {
    await refreshTeams();
    await refreshContestants();
    await refreshContestantCounts();
  }

  // ---- Teams ----

  const teamIdInput = byId('team-id-inp');
  const teamNameInput = byId('team-name-inp');
  const teamCoachInput = byId('team-coach-name-inp');
  const teamSeedInput = byId('team-seed-inp');
  const teamsTable = byId('teams-table');
  const teamsBody = byId('teams-body');
  const contestantTeamSelect = byId('contestant-team-name-inp');

  function emptyTeamOption() {
    const option = document.createElement('option');
    option.value = '';
    return option;
  }

  async function refreshTeams() {
    contestantTeamSelect.replaceChildren(emptyTeamOption());
    const records = splitRecords(await requestClient.fetch_teams(), 4);
    const rows = [];
    const options = [emptyTeamOption()];
    for (const [id, name, coach, seed] of records) {
      const row = makeRow([name, coach, seed]);
      row.dataset.id = id;
      rows.push(row);
      const option = document.createElement('option');
      option.dataset.id = id;
      option.value = name;
      option.textContent = name;
      options.push(option);
    }
    // Replaced whole, so that two refreshes in flight at once cannot both add their teams.
    teamsBody.replaceChildren(...rows);
    contestantTeamSelect.replaceChildren(...options);
    Sortable.reinitialize(teamsTable);
  }

  function clearTeamForm() {
    teamIdInput.value = newRecordId;
    teamNameInput.value = '';
    teamCoachInput.value = '';
    teamSeedInput.value = '';
    teamNameInput.focus();
  }

  byId('teams-form').addEventListener('submit', handle(async (event) => {
    event.preventDefault();
    if (!isContestOpen()) return;
    const id = teamIdInput.value.trim();
    const name = fieldText(teamNameInput.value);
    if (name === '') {
      await showMessage('Please enter a team name.');
      return;
    }
    const coach = fieldText(teamCoachInput.value);
    const seed = teamSeedInput.value.trim();
    await sendChange(requestClient.call_save_team([id, name, coach, seed].join(fieldSeparator)));
    await refreshTeamsAndClear();
  }));

  async function refreshTeamsAndClear() {
    await refreshTeams();
    clearTeamForm();
  }

  onRowClick(teamsBody, (row) => {
    teamIdInput.value = row.dataset.id;
    teamNameInput.value = row.cells[0].textContent;
    teamCoachInput.value = row.cells[1].textContent;
    teamSeedInput.value = row.cells[2].textContent;
  });

  byId('clear-team-btn').addEventListener('click', handle(async () => {
    if (isContestOpen()) await refreshTeamsAndClear();
  }));

  byId('delete-team-btn').addEventListener('click',
    deleteHandler(teamIdInput, requestClient.delete_team, refreshTeamsAndClear));

  byId('randomize-seeds-btn').addEventListener('click', handle(async () => {
    if (!isContestOpen()) return;
    const result = await sendChange(requestClient.randomize_seeds());
    await refreshTeams();
    if (result === 'no change') await showMessage('No change in order \u2013 randomize again if you like.');
  }));

  // ---- Contestants ----

  const contestantIdInput = byId('contestant-id-inp');
  const contestantNameInput = byId('contestant-name-inp');
  const contestantChairInput = byId('contestant-chair-inp');
  const contestantsTable = byId('contestants-table');
  const contestantsBody = byId('contestants-body');
  const countsTable = byId('contestant-counts-table');
  const countsBody = byId('contestant-counts-body');

  async function refreshContestants() {
    const records = splitRecords(await requestClient.fetch_contestants(), 4);
    contestantsBody.replaceChildren(...records.map(([id, team, name, chair]) => {
      const row = makeRow([team, name, chair]);
      row.dataset.id = id;
      return row;
    }));
    Sortable.reinitialize(contestantsTable);
  }

  async function refreshContestantCounts() {
    const records = splitRecords(await requestClient.fetch_contestant_counts(), 2);
    countsBody.replaceChildren(...records.map((record) => makeRow(record)));
    Sortable.reinitialize(countsTable);
  }

  function clearContestantForm() {
    contestantIdInput.value = newRecordId;
    contestantNameInput.value = '';
    contestantChairInput.value = '';
    contestantNameInput.focus();
  }

  function resetContestantForm() {
    clearContestantForm();
    contestantTeamSelect.value = '';
    contestantTeamSelect.focus();
  }

  byId('contestants-form').addEventListener('submit', handle(async (event) => {
    event.preventDefault();
    if (!isContestOpen()) return;
    const id = contestantIdInput.value.trim();
    const team = contestantTeamSelect.selectedOptions[0];
    if (!team || !team.dataset.id) {
      await showMessage('Please select a team name.');
      return;
    }
    const name = fieldText(contestantNameInput.value);
    if (name === '') {
      await showMessage('Please enter a contestant name.');
      return;
    }
    const chair = contestantChairInput.value.trim();
    if (chair === '') {
      await showMessage('Please enter a chair.');
      return;
    }
    await sendChange(requestClient.save_contestant([id, team.dataset.id, name, chair].join(fieldSeparator)));
    await refreshContestants();
    await refreshContestantCounts();
    clearContestantForm();
  }));

  // Enter in the select saves, as it does in the form's inputs.
  contestantTeamSelect.addEventListener('keydown', (event) => {
    if (event.key !== 'Enter') return;
    event.preventDefault();
    byId('save-contestant-btn').click();
  });

  onRowClick(contestantsBody, (row) => {
    contestantIdInput.value = row.dataset.id;
    // A team is found by its name; a team renamed since leaves none selected.
    contestantTeamSelect.value = row.cells[0].textContent;
    contestantNameInput.value = row.cells[1].textContent;
    contestantChairInput.value = row.cells[2].textContent;
  });

  async function refreshContestantsAndReset() {
    await refreshContestants();
    await refreshContestantCounts();
    resetContestantForm();
  }

  byId('clear-contestant-btn').addEventListener('click', handle(async () => {
    if (isContestOpen()) await refreshContestantsAndReset();
  }));

  byId('delete-contestant-btn').addEventListener('click',
    deleteHandler(contestantIdInput, requestClient.delete_contestant, refreshContestantsAndReset));

  // ---- Brackets ----

  const startContestButton = byId('start-contest-btn');

  async function showBrackets() {
    if (!isContestOpen()) return;
    const records = splitRecords(await requestClient.fetch_brackets(), 8);
    byId('brackets-body').replaceChildren(...records.map((record) => makeRow(record)));
    if (records.length === 0) return;
    if ((await requestClient.contest_has_started()) === 'true') startContestButton.classList.add('hidden');
  }

  startContestButton.addEventListener('click', handle(async () => {
    if (!isContestOpen()) return;
    const confirmed = await showConfirm(
      'This will lock all teams, contestants, and seeds. You will only be able to edit spelling after this point.');
    if (!confirmed) return;
    try {
      await requestClient.start_contest();
    } catch (error) {
      await reportFailure(error);
      return;
    }
    startContestButton.classList.add('hidden');
  }));

  // ---- Rankings ----

  const lowerScoreClass = 'lower-score';

  // Ranks below the top ten start hidden.
  function markLowerRank(row, rank) {
    if (parseInt(rank, 10) > 10) row.classList.add(lowerScoreClass, 'hidden');
    return row;
  }

  // The head texts carry entities (High&nbsp;3 Score); they are shown as the characters they stand for.
  function decodeEntities(text) {
    const entities = { nbsp: '\u00A0', amp: '&', lt: '<', gt: '>', quot: '"', apos: "'" };
    return text.replace(/&(#x[0-9a-f]+|#[0-9]+|[a-z]+);/gi, (entity, name) => {
      if (name[0] !== '#') return entities[name.toLowerCase()] ?? entity;
      const code = name[1] === 'x' || name[1] === 'X' ? parseInt(name.slice(2), 16) : parseInt(name.slice(1), 10);
      return code <= 0x10FFFF ? String.fromCodePoint(code) : entity;
    });
  }

  async function refreshTeamRankings() {
    const records = splitRecords(await requestClient.fetch_team_rankings(), 9);
    byId('team-rankings-body').replaceChildren(...records.map((record) => markLowerRank(makeRow(record), record[0])));
  }

  async function refreshContestantRankings() {
    const table = byId('contestant-rankings-table');
    const [head, ...records] = splitRecords(await requestClient.fetch_contestant_rankings(), 7);
    if (!head) {
      table.replaceChildren();
      return;
    }
    const thead = document.createElement('thead');
    thead.append(makeRow(head.map(decodeEntities), 'th'));
    const tbody = document.createElement('tbody');
    tbody.append(...records.map((record) => markLowerRank(makeRow(record), record[0])));
    table.replaceChildren(thead, tbody);
  }

  async function showRankings() {
    if (!isContestOpen()) return;
    await refreshTeamRankings();
    await refreshContestantRankings();
  }

  byId('rankings-show-hide-btn').addEventListener('click', () => {
    for (const row of document.querySelectorAll(`.${lowerScoreClass}`)) row.classList.toggle('hidden');
  });

  // ---- Navigation ----

  function showSection(id) {
    for (const section of document.querySelectorAll('main > section')) {
      section.classList.toggle('active', section.id === id);
    }
    const first = byId(id).querySelector('input[type="text"], select');
    if (first) first.focus();
  }

  for (const link of document.querySelectorAll('nav a')) {
    link.addEventListener('click', () => showSection(link.dataset.page));
  }

  for (const toggle of document.querySelectorAll('.help-toggle')) {
    toggle.addEventListener('click', () => byId(toggle.dataset.target).classList.toggle('hidden'));
  }

  function navLink(page) {
    return document.querySelector(`nav a[data-page="${page}"]`);
  }

  navLink('brackets').addEventListener('click', handle(showBrackets));
  navLink('rankings').addEventListener('click', handle(showRankings));
  // The match screen's file defines these; the links and buttons call them by name.
  navLink('matches').addEventListener('click', handle(() => showMatchesScreen()));
  byId('save-match-btn').addEventListener('click', handle(() => saveMatch()));
  byId('future-matches-btn').addEventListener('click', handle(() => toggleFutureMatches()));

  // ---- Start ----

  const zoomWarning = byId('zoom-warning');
  if (document.body.scrollWidth > window.innerWidth) {
    zoomWarning.classList.add('active');
    setTimeout(() => zoomWarning.classList.remove('active'), 10000);
  }
  byId('contest-name-inp').focus();
})();
