// Matches screen: completed sheets, the open sheet with its running totals, saving, and the printable
// future sheets. The sheets are markup rendered by the native side; the page inserts them, makes cells
// editable, reads cell texts and writes the computed cells.

const columnsPerRow = 12;
const questionRows = 32;
const tiebreakRows = 10;
const mainScoreCells = questionRows * columnsPerRow;
const tiebreakScoreCells = tiebreakRows * columnsPerRow;
const tiebreakFirstCell = mainScoreCells + columnsPerRow + 4;
const tiebreakSubtotalCell = tiebreakFirstCell + tiebreakScoreCells;
const sheetCellCount = tiebreakSubtotalCell + columnsPerRow + 4;
// Offsets from a range's end (384 or 520) to its computed and initials cells.
const redTotalOffset = columnsPerRow;
const whiteTotalOffset = columnsPerRow + 1;
const redInitialsOffset = columnsPerRow + 2;
const whiteInitialsOffset = columnsPerRow + 3;

const saveMatchText = 'Save Match';
const openTiebreakerText = 'Open Tiebreaker Sheet';

const matchTables = byId('match-tables');
const futureMatchesTables = byId('future-matches-tables');
const saveMatchButton = byId('save-match-btn');

// Everything that appends to or reads the order of #match-tables runs one after another, so a second
// click on the Matches link, or a click during a save, can never append a sheet twice.
const runInTurn = inTurn();

// A save spans several awaited requests and messages; a click during one of them is ignored.
let matchSaveRunning = false;

// The native side escapes every name and cell text it puts into a sheet; the template keeps the markup
// inert until a sheet is appended.
function parseSheets(markup) {
  const template = document.createElement('template');
  template.innerHTML = markup;
  return template.content;
}

// Only the sheet's own cells, whatever a cell's text holds.
function sheetCells(sheet) {
  return Array.from(sheet.querySelectorAll(':scope > table > * > tr > td'));
}

function tiebreakTable(sheet) {
  return sheet.querySelectorAll(':scope > table')[1] ?? null;
}

function sheetCount() {
  return matchTables.querySelectorAll('match-table').length;
}

async function completedMatchCount() {
  return Number.parseInt(await requestClient.n_completed_matches(), 10);
}

// The native side reads every score as a 32-bit integer; a number outside this range is not one for it.
const smallestScore = -2147483648;
const largestScore = 2147483647;

// A decimal integer from the start of the text: optional sign, then digits; null when no digit follows or
// the number lies outside the range the native side reads.
function leadingInteger(text) {
  const match = /^[+-]?\d+/.exec(text);
  if (!match) return null;
  const value = Number.parseInt(match[0], 10);
  return value >= smallestScore && value <= largestScore ? value : null;
}

async function showMatchesScreen() {
  if (!isContestOpen()) return;
  await runInTurn(async () => {
    const shown = sheetCount();
    const completed = await completedMatchCount();
    if (shown > completed) return;
    if (shown === 0) await showCompletedMatches(completed);
    await showNextMatch();
  });
}

// Completed sheets are asked for a batch at a time, the whole batch's requests on their way at once, and
// each batch is appended in order as one fragment: the web view then lays the list out once a batch, not
// once a sheet, and the native side renders the next batch while the web view shows this one.
const completedSheetBatch = 32;

async function showCompletedMatches(count) {
  for (let first = 1; first <= count; first += completedSheetBatch) {
    const replies = [];
    for (let k = first; k <= count && k < first + completedSheetBatch; ++k) {
      const reply = requestClient.fetch_completed_match(String(k));
      // The first failure ends the loading; those after it are not waited for.
      reply.catch(() => {});
      replies.push(reply);
    }
    const batch = document.createDocumentFragment();
    try {
      for (const reply of replies) {
        const sheet = completedSheet(await reply);
        if (sheet) batch.append(sheet);
      }
    } finally {
      // Sheets before a failed request stay.
      matchTables.append(batch);
    }
  }
}

// A completed sheet far from the view is shown in part (see the style sheet) until it comes within a
// screen's height of the view.
const distantSheets = new IntersectionObserver((entries) => {
  for (const entry of entries) {
    if (!entry.isIntersecting) continue;
    distantSheets.unobserve(entry.target);
    showWhole(entry.target);
  }
}, { root: mainElement, rootMargin: '100% 0px' });

// The web view keeps no scroll anchor, so a far sheet that does not stand in for the height of the part it
// hides moves the view when it comes near above it. That height depends on the fonts and the zoom: it is
// measured on a sheet as it is shown whole, and the far sheets follow when it differs by more than the few
// pixels that rounding makes sheets differ at some zooms (a change restyles every far sheet).
function showWhole(sheet) {
  const standIn = Number.parseFloat(getComputedStyle(sheet).paddingBottom);
  const shown = sheet.getBoundingClientRect().height - standIn;
  sheet.classList.remove('distant');
  const rest = sheet.getBoundingClientRect().height - shown;
  if (Math.abs(rest - standIn) <= 4) return;
  const tiebreakShown = tiebreakTable(sheet)?.classList.contains('hidden') === false;
  matchTables.style.setProperty(tiebreakShown ? '--distant-rest-with-tiebreak' : '--distant-rest', `${rest}px`);
}

// The read-only sheet of a completed match, or null for an empty reply.
function completedSheet(markup) {
  const sheet = parseSheets(markup).querySelector('match-table');
  if (!sheet) return null;
  const cells = sheetCells(sheet);
  const lastCell = cells[cells.length - 1];
  const table = tiebreakTable(sheet);
  // White tie-break initials mean the tie-break was played, so its table shows.
  if (lastCell && lastCell.textContent.trim() !== '' && table) table.classList.remove('hidden');
  sheet.classList.add('distant');
  distantSheets.observe(sheet);
  return sheet;
}

// Plain text only: a paste from a spreadsheet would otherwise bring its own table into a cell.
function makeEditable(cells, first, end, handler) {
  for (let k = first; k < end; ++k) {
    cells[k].contentEditable = 'plaintext-only';
    cells[k].addEventListener('keyup', handler);
  }
  for (const k of [end + redInitialsOffset, end + whiteInitialsOffset]) {
    cells[k].contentEditable = 'plaintext-only';
    cells[k].style.textTransform = 'uppercase';
  }
}

function lockCells(cells, first, end, handler) {
  for (let k = first; k < end; ++k) {
    cells[k].contentEditable = 'false';
    cells[k].removeEventListener('keyup', handler);
  }
  cells[end + redInitialsOffset].contentEditable = 'false';
  cells[end + whiteInitialsOffset].contentEditable = 'false';
}

async function showNextMatch() {
  const markup = await requestClient.fetch_next_match();
  if (markup === '') return;
  const fragment = parseSheets(markup);
  const sheet = fragment.querySelector('[id]');
  if (!sheet || sheet.localName !== 'match-table') return;
  const cells = sheetCells(sheet);
  if (cells.length !== sheetCellCount) return;
  matchTables.append(sheet);
  const calcHandler = () => recalculateScores(cells, false);
  const tieCalcHandler = () => recalculateScores(cells, true);
  makeEditable(cells, 0, mainScoreCells, calcHandler);
  makeEditable(cells, tiebreakFirstCell, tiebreakSubtotalCell, tieCalcHandler);
  sheet._calcHandler = calcHandler;
  sheet._tieCalcHandler = tieCalcHandler;
}

async function recalculateScores(cells, tiebreak) {
  const start = tiebreak ? tiebreakFirstCell : 0;
  const end = tiebreak ? tiebreakSubtotalCell : mainScoreCells;
  const sums = new Array(columnsPerRow).fill(0);
  for (let s = start; s < end; ++s) {
    const text = cells[s].textContent;
    if (text === '') continue;
    const trimmed = text.trim();
    if (trimmed === '' || trimmed === '-') continue;
    const value = leadingInteger(trimmed);
    if ((value !== null && value !== 0) || trimmed === '0') {
      sums[(s - start) % columnsPerRow] += value;
    } else {
      await showMessage(trimmed + ' is not a number.');
    }
  }
  const half = columnsPerRow / 2;
  const red = sums.slice(0, half).reduce((a, b) => a + b, 0);
  const white = sums.slice(half).reduce((a, b) => a + b, 0);
  // Sums of 32-bit cells stay exact and far below where String() turns to an exponent.
  sums.forEach((sum, c) => {
    cells[end + c].textContent = String(sum);
  });
  cells[end + redTotalOffset].textContent = String(red);
  cells[end + whiteTotalOffset].textContent = String(white);
  saveMatchButton.textContent = !tiebreak && red === white ? openTiebreakerText : saveMatchText;
}

async function saveMatch() {
  if (!isContestOpen() || saveMatchButton.disabled || matchSaveRunning) return;
  matchSaveRunning = true;
  // The button is disabled while the save is on its way, which takes the keys from it before any message
  // opens; they go back to whatever had them when the user acted, unless the user has moved them since.
  const keysWith = document.activeElement;
  try {
    await runInTurn(saveOpenSheet);
  } finally {
    matchSaveRunning = false;
    if (keysWith?.isConnected && !mainElement.contains(document.activeElement)) keysWith.focus();
  }
}

async function saveOpenSheet() {
  const sheet = matchTables.lastElementChild;
  if (!sheet) return;
  const shown = sheetCount();
  const completed = await completedMatchCount();
  if (shown === completed) {
    await showMessage('All matches have been saved.');
    return;
  }

  const cells = sheetCells(sheet);
  const fields = [sheet.id.split('-')[1] ?? ''];
  for (let k = 0; k < sheetCellCount; ++k) fields.push(cells[k] ? cells[k].textContent.trim() : '');
  // Each part of the sheet is named by the end of its question cells (384 or 520).
  const field = (end, offset) => fields[end + offset + 1];
  const hasTotals = (end) => field(end, redTotalOffset) !== '' && field(end, whiteTotalOffset) !== '';
  const hasInitials = (end) => field(end, redInitialsOffset) !== '' && field(end, whiteInitialsOffset) !== '';
  const levelTotals = (end) => field(end, redTotalOffset) === field(end, whiteTotalOffset);
  // The native side would refuse a sum it cannot read only after the sheet is locked.
  const readableSums = (end) => fields.slice(end + 1, end + whiteTotalOffset + 2)
    .every((text) => text === '' || leadingInteger(text) !== null);
  const sumsOutOfRange = `Subtotals and totals must lie between ${smallestScore} and ${largestScore}.`;
  const capitaliseInitials = (end) => {
    for (const offset of [redInitialsOffset, whiteInitialsOffset]) {
      fields[end + offset + 1] = field(end, offset).toUpperCase();
    }
  };

  if (!hasTotals(mainScoreCells)) {
    await showMessage('The match cannot be saved without scores.');
    return;
  }
  if (!readableSums(mainScoreCells)) {
    await showMessage(sumsOutOfRange);
    return;
  }
  if (!hasInitials(mainScoreCells)) {
    await showMessage("Please get both coaches' initials.");
    return;
  }
  capitaliseInitials(mainScoreCells);
  lockCells(cells, 0, mainScoreCells, sheet._calcHandler);

  if (levelTotals(mainScoreCells)) {
    const table = tiebreakTable(sheet);
    if (table && table.classList.contains('hidden')) {
      table.classList.remove('hidden');
      saveMatchButton.textContent = saveMatchText;
      return;
    }
    if (!hasTotals(tiebreakSubtotalCell)) {
      await showMessage('The match cannot be saved without scores.');
      return;
    }
    if (!readableSums(tiebreakSubtotalCell)) {
      await showMessage(sumsOutOfRange);
      return;
    }
    if (levelTotals(tiebreakSubtotalCell)) {
      await showMessage('The match cannot be saved with equal totals.');
      return;
    }
    if (!hasInitials(tiebreakSubtotalCell)) {
      await showMessage("Please get both coaches' initials.");
      return;
    }
    capitaliseInitials(tiebreakSubtotalCell);
    lockCells(cells, tiebreakFirstCell, tiebreakSubtotalCell, sheet._tieCalcHandler);
  }

  saveMatchButton.disabled = true;
  try {
    await requestClient.load_match(fields.join(fieldSeparator));
    try {
      await showNextMatch();
    } finally {
      // The stored bracket moved on, so the printed future sheets are out of date either way.
      futureMatchesTables.replaceChildren();
    }
  } catch (error) {
    await reportFailure(error);
  } finally {
    saveMatchButton.disabled = false;
  }
}

async function toggleFutureMatches() {
  if (!isContestOpen()) return;
  await runInTurn(async () => {
    if (futureMatchesTables.hasChildNodes()) {
      futureMatchesTables.replaceChildren();
      return;
    }
    const markup = await requestClient.fetch_future_matches();
    if (markup !== '') futureMatchesTables.replaceChildren(parseSheets(markup));
  });
}
