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

const matchesSection = byId('matches');
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
// The native side's mark for a text that is no number; a sum of exactly this value reads as one.
const notANumber = -999;

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
    measureSheets();
    const shown = sheetCount();
    const completed = await completedMatchCount();
    if (shown > completed) return;
    // A visit that failed part-way left the list short: this one goes on where that one stopped, and the
    // next sheet comes only after every completed one.
    await showCompletedMatches(shown + 1, completed);
    await showNextMatch();
  });
}

// Completed sheets are asked for a batch at a time, the whole batch's requests on their way at once, and
// each batch is appended in order as one fragment: the web view then lays the list out once a batch, not
// once a sheet, and the native side renders the next batch while the web view shows this one.
const completedSheetBatch = 32;

async function showCompletedMatches(first, last) {
  let previous;
  for (let start = first; start <= last; start += completedSheetBatch) {
    const replies = [];
    for (let k = start; k <= last && k < start + completedSheetBatch; ++k) {
      previous = requestClient.fetch_completed_match(String(k), previous);
      // The first failure ends the loading; those after it are not waited for.
      previous.catch(() => {});
      replies.push(previous);
    }
    const batch = document.createDocumentFragment();
    try {
      for (const reply of replies) {
        const sheet = completedSheet(await reply);
        if (sheet) batch.append(sheet);
      }
    } finally {
      // Sheets before a failed request stay, each already as tall as it will be.
      fitSheets();
      matchTables.append(batch);
    }
  }
}

// Laying out every cell of hundreds of sheets takes the web view seconds, and every dialog and the first
// Tab would have to go over all of them again: a completed sheet holds its rows only while it is within a
// screen's height of the view, or while the page is printed. Far from the view it is an empty
// box as tall as a whole sheet (see the style sheet), so that taking its rows in or out never moves the
// view.
const nearSheets = new Set();
// Printing sees every sheet whole.
let printing = false;
// Far sheets that keep their rows because an end of the selection lies in them: held aside, the rows would
// take that end with them.
const sheetsHoldingTheSelection = new Set();

function holdsSelectionEnd(sheet) {
  const { anchorNode, focusNode } = getSelection();
  return (anchorNode !== null && sheet.contains(anchorNode)) || (focusNode !== null && sheet.contains(focusNode));
}

function placeRows(sheet) {
  const keptForSelection = !nearSheets.has(sheet) && holdsSelectionEnd(sheet);
  if (keptForSelection) sheetsHoldingTheSelection.add(sheet);
  else sheetsHoldingTheSelection.delete(sheet);
  if (printing || keptForSelection || nearSheets.has(sheet)) showRows(sheet);
  else holdRows(sheet);
}

document.addEventListener('selectionchange', () => {
  for (const sheet of sheetsHoldingTheSelection) placeRows(sheet);
});

const sheetsNearTheView = new IntersectionObserver((entries) => {
  for (const { target, isIntersecting } of entries) {
    if (isIntersecting) nearSheets.add(target);
    else nearSheets.delete(target);
    placeRows(target);
  }
}, { root: mainElement, rootMargin: '100% 0px' });

function holdRows(sheet) {
  if (sheet._heldRows) return;
  sheet._heldRows = document.createDocumentFragment();
  sheet._heldRows.append(...sheet.childNodes);
}

function showRows(sheet) {
  if (!sheet._heldRows) return;
  sheet.append(sheet._heldRows);
  sheet._heldRows = null;
}

function printEverySheet(whole) {
  printing = whole;
  for (const sheet of matchTables.querySelectorAll('match-table.completed')) placeRows(sheet);
}

window.addEventListener('beforeprint', () => printEverySheet(true));
window.addEventListener('afterprint', () => printEverySheet(false));

// What a sheet's rows read as when the web view copies them: a line a row, a tab before every cell but a
// row's leading empty ones, each slanted name on a line of its own, white space collapsed as it is shown.
function rowsText(rows) {
  const lines = [];
  for (const table of rows.children) {
    if (table.localName !== 'table' || table.classList.contains('hidden')) continue;
    for (const row of table.rows) {
      let line = '';
      for (const cell of row.children) {
        if (line !== '' && !line.endsWith('\n')) line += '\t';
        const name = cell.firstElementChild;
        const text = shownText(name ?? cell);
        if (!name) line += text;
        else if (text !== '') line += `${text}\n`;
      }
      if (line.endsWith('\n')) line = line.slice(0, -1);
      if (line !== '') lines.push(line);
    }
  }
  return lines.join('\n');
}

// Only the white space that the style sheet collapses, not an em space.
function shownText(node) {
  const text = node.textContent;
  return /[ \t\n\r\f]/.test(text) ? text.replace(/[ \t\n\r\f]+/g, ' ').replace(/^ | $/g, '') : text;
}

// A copy takes the rows that far sheets hold aside as if they were shown, for every such sheet the selection
// takes whole (one it takes in part is near, or holds an end of the selection, and shows its rows). The web
// view cleans copied markup at some 4 ms a sheet: a copy of more far sheets than this carries its text alone.
const sheetsCopiedWithMarkup = 64;

document.addEventListener('copy', (event) => {
  const selection = getSelection();
  const held = [...matchTables.querySelectorAll('match-table.completed')]
    .filter((sheet) => sheet._heldRows && selection.containsNode(sheet));
  if (held.length === 0) return;
  event.clipboardData.setData('text/plain', copiedText(selection, held));
  if (held.length <= sheetsCopiedWithMarkup) event.clipboardData.setData('text/html', copiedMarkup(selection, held));
  event.preventDefault();
});

// The web view's text of the selection, with each far sheet's rows read in its place, found by a mark that no
// page text holds.
function copiedText(selection, held) {
  const mark = `held-rows-${Math.random()}`;
  const marks = held.map((sheet) => sheet.appendChild(document.createTextNode(mark)));
  const pieces = selection.toString().split(mark);
  for (const node of marks) node.remove();
  return pieces.map((piece, k) => (k < held.length ? piece + rowsText(held[k]._heldRows) : piece)).join('');
}

// The selection's markup with the far sheets' rows put back and what is never shown left out.
function copiedMarkup(selection, held) {
  const markup = selection.getRangeAt(0).cloneContents();
  const rows = new Map(held.map((sheet) => [sheet.id, sheet._heldRows]));
  for (const sheet of markup.querySelectorAll('match-table')) {
    if (rows.has(sheet.id)) sheet.append(rows.get(sheet.id).cloneNode(true));
  }
  for (const part of markup.querySelectorAll(neverShown)) part.remove();
  const box = document.createElement('div');
  box.append(markup);
  return box.innerHTML;
}

// The height of a whole completed sheet, with and without its tie-break, depends on the fonts and the
// zoom. It is measured on a copy of the first sheet the page gets, each time the screen is visited and
// whenever the zoom or the window changes. Below the first row, with the team and coach names, every
// sheet holds rows of the same heights: each is as tall as the copy and what its first row adds to the
// copy's (or takes from it), whatever its rows round to where it stands.
let sheetProbe = null;
// The view's width in the page's pixels when the sheets were last measured; a zoom changes it.
let measuredWidth = 0;
const sheetsToFit = new Set();
// By the text of a name's cell (a team's name and coach, the same on each of its sheets): what a first row
// holding it adds to the copy's.
const rowExtras = new Map();
// What a first row of one line adds to the copy's, the width that a name's cell gives its text, and the
// most that the screen's rounding adds to a glyph (a pixel of it, and no text is drawn below 9 of them).
let oneLineRowExtra = 0;
let nameWidth = 0;
let glyphRounding = 0;
const textWidths = document.createElement('canvas').getContext('2d');

function firstRow(sheet) {
  return (sheet._heldRows ?? sheet).querySelector('thead > tr');
}

function nameTexts(sheet) {
  return [...(firstRow(sheet)?.querySelectorAll('th[colspan]') ?? [])].map((cell) => cell.textContent);
}

function measureSheets(source) {
  if (!sheetProbe) {
    if (!source) return;
    sheetProbe = source.cloneNode(true);
    sheetProbe.removeAttribute('id');
    sheetProbe.className = 'probe';
  }
  const table = tiebreakTable(sheetProbe);
  const name = firstRow(sheetProbe)?.querySelector('th[colspan]');
  if (!table || !name) return;
  matchTables.append(sheetProbe);
  table.classList.add('hidden');
  const plain = sheetProbe.getBoundingClientRect().height;
  const head = sheetProbe.querySelector('thead').getBoundingClientRect().height;
  table.classList.remove('hidden');
  const withTiebreak = sheetProbe.getBoundingClientRect().height;
  const style = getComputedStyle(name);
  const width = name.getBoundingClientRect().width - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
  const font = `${style.fontWeight} ${style.fontSize} ${style.fontFamily}`;
  const rounding = parseFloat(style.fontSize) / 9;
  sheetProbe.remove();
  // Not shown (another screen is): measured again on the next visit.
  if (plain === 0) return;
  if (innerWidth !== measuredWidth) {
    for (const sheet of mainElement.querySelectorAll('match-table')) sheetsToFit.add(sheet);
    rowExtras.clear();
  }
  measuredWidth = innerWidth;
  matchesSection.style.setProperty('--sheet-head-height', `${head}px`);
  matchTables.style.setProperty('--completed-sheet-height', `${plain}px`);
  matchTables.style.setProperty('--completed-tiebreak-sheet-height', `${withTiebreak}px`);
  oneLineRowExtra = firstRowExtras([''])[0];
  nameWidth = width;
  textWidths.font = font;
  glyphRounding = rounding;
  fitSheets();
}

// Laying out the names of a load's sheets would cost more than the rest of the load: a text that fits its
// cell, however the screen rounds its glyphs, stands on one line, and any other is laid out once.
function fitSheets() {
  if (nameWidth === 0 || sheetsToFit.size === 0) return;
  const fits = (text) => textWidths.measureText(text).width + text.length * glyphRounding <= nameWidth;
  const unmeasured = new Set();
  for (const sheet of sheetsToFit) {
    for (const text of nameTexts(sheet)) {
      if (rowExtras.has(text)) continue;
      if (fits(text)) rowExtras.set(text, oneLineRowExtra);
      else unmeasured.add(text);
    }
  }
  if (unmeasured.size > 0) {
    const texts = [...unmeasured];
    firstRowExtras(texts).forEach((extra, k) => rowExtras.set(texts[k], extra));
  }
  for (const sheet of sheetsToFit) {
    const extra = Math.max(oneLineRowExtra, ...nameTexts(sheet).map((text) => rowExtras.get(text)));
    sheet.style.setProperty('--first-row-extra', `${extra}px`);
  }
  sheetsToFit.clear();
}

// A copy of the first sheet's first row with the text in one name's cell and none in the other.
function rowHolding(text) {
  const row = firstRow(sheetProbe).cloneNode(true);
  const [first, second] = row.querySelectorAll('th[colspan]');
  first.textContent = text;
  second.textContent = '';
  return row;
}

// What a first row holding each text adds to the first sheet's own first row: both laid out below a copy of
// the first sheet's head, whose label row makes the columns as wide as on every sheet; each in a row group of
// its own, so that no row's rounding carries over to the next, and in a box of their own, whose layout is
// never the list's.
let rowProbes = null;

function firstRowExtras(texts) {
  if (!rowProbes) {
    rowProbes = document.body.appendChild(document.createElement('div'));
    rowProbes.className = 'row-probes';
  }
  const probe = rowProbes.appendChild(sheetProbe.cloneNode(false));
  const table = probe.appendChild(sheetProbe.querySelector('table').cloneNode(false));
  const head = table.appendChild(sheetProbe.querySelector('thead').cloneNode(true));
  // The slanted names would only cost.
  head.rows[1]?.remove();
  const groups = [firstRow(sheetProbe).cloneNode(true), ...texts.map(rowHolding)].map((row) => {
    const group = table.appendChild(document.createElement('tbody'));
    group.append(row);
    return group;
  });
  const [own, ...heights] = groups.map((group) => group.getBoundingClientRect().height);
  probe.remove();
  return heights.map((height) => height - own);
}

// Only the width and the zoom shape a sheet.
window.addEventListener('resize', () => {
  if (innerWidth !== measuredWidth) measureSheets();
});

// Every sheet's first row is fitted, for the height of its head; a completed sheet's, for its own height too.
function keepFitted(sheet) {
  if (!sheetProbe) measureSheets(sheet);
  sheetsToFit.add(sheet);
}

// Marks a sheet as a completed match's record: as tall as its rows, whether far from the view without
// them or not.
function keepCompleted(sheet) {
  keepFitted(sheet);
  sheet.classList.add('completed');
  sheet.classList.toggle('with-tiebreak', tiebreakTable(sheet)?.classList.contains('hidden') === false);
  sheetsNearTheView.observe(sheet);
}

// The read-only sheet of a completed match, or null for an empty reply.
function completedSheet(markup) {
  const sheet = parseSheets(markup).querySelector('match-table');
  if (!sheet) return null;
  // Only the last cell is read: a script object for each of its cells would cost more than the rest.
  const cells = sheet.querySelectorAll(':scope > table > * > tr > td');
  const lastCell = cells[cells.length - 1];
  const table = tiebreakTable(sheet);
  // White tie-break initials mean the tie-break was played, so its table shows.
  if (lastCell && lastCell.textContent.trim() !== '' && table) table.classList.remove('hidden');
  keepCompleted(sheet);
  // Appended with the others of its batch, out of the web view's way until it comes near.
  placeRows(sheet);
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
  keepFitted(sheet);
  fitSheets();
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
  const refuseUnreadableSums = async (end) => {
    const sums = fields.slice(end + 1, end + whiteTotalOffset + 2).filter((text) => text !== '').map(leadingInteger);
    let sentence = null;
    if (sums.includes(null)) sentence = `Subtotals and totals must lie between ${smallestScore} and ${largestScore}.`;
    else if (sums.includes(notANumber)) sentence = `A subtotal or total of ${notANumber} cannot be saved.`;
    if (sentence) await showMessage(sentence);
    return sentence !== null;
  };
  const capitaliseInitials = (end) => {
    for (const offset of [redInitialsOffset, whiteInitialsOffset]) {
      fields[end + offset + 1] = field(end, offset).toUpperCase();
    }
  };

  if (!hasTotals(mainScoreCells)) {
    await showMessage('The match cannot be saved without scores.');
    return;
  }
  if (await refuseUnreadableSums(mainScoreCells)) return;
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
    if (await refuseUnreadableSums(tiebreakSubtotalCell)) return;
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
    keepCompleted(sheet);
    fitSheets();
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
    if (markup === '') return;
    futureMatchesTables.replaceChildren(parseSheets(markup));
    for (const sheet of futureMatchesTables.querySelectorAll('match-table')) keepFitted(sheet);
    fitSheets();
  });
}

const overlaps = (a, b) => a.left < b.right && a.right > b.left && a.top < b.bottom && a.bottom > b.top;

// The web view scrolls what takes the keys into the view, but not out from under its sheet's head or the find
// field: an element in main is scrolled on until the part of the view that they leave free shows its box whole
// (its top, when the box is taller). Nothing moves while nothing covers the box.
function bringIntoSight(element, box, clearOfField = true) {
  if (!mainElement.contains(element)) return;
  const view = mainElement.getBoundingClientRect();
  let top = view.top + mainElement.clientTop;
  let bottom = top + mainElement.clientHeight;
  const left = view.left + mainElement.clientLeft;
  const right = left + mainElement.clientWidth;
  const head = element.closest('match-table')?.querySelector('thead');
  if (head && !head.contains(element)) {
    const headBox = head.getBoundingClientRect();
    // Only a head that has left the top of its table to stay in view lies over rows; its shadow is part of it.
    if (headBox.top > head.parentElement.getBoundingClientRect().top + 0.5) top = Math.max(top, headBox.bottom + 2);
  }
  const field = clearOfField && findOpen() ? findForm.getBoundingClientRect() : null;
  if (field && overlaps(field, { left: box.left, right: box.right, top, bottom })) {
    if (field.top - top < bottom - field.bottom) top = Math.max(top, field.bottom);
    else bottom = Math.min(bottom, field.top);
  }
  // How far the view moves for the box to lie between the two edges, in whole pixels away from zero.
  const shift = (low, high, near, far) => {
    const by = near < low ? near - low : Math.max(0, Math.min(far - high, near - low));
    return Math.sign(by) * Math.ceil(Math.abs(by));
  };
  const across = shift(left, right, box.left, box.right);
  const down = shift(top, bottom, box.top, box.bottom);
  if (across !== 0 || down !== 0) mainElement.scrollBy(across, down);
}

function keepKeysInSight() {
  const element = document.activeElement;
  if (element) bringIntoSight(element, element.getBoundingClientRect());
}

// Tab, a click, the keys given back after a message or after find, and typing into an element that a zoom put
// out of sight: once the web view has scrolled the element into the view, and before the frame shows.
for (const type of ['focusin', 'input']) {
  mainElement.addEventListener(type, () => requestAnimationFrame(keepKeysInSight));
}
