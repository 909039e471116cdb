// Find in the page. Ctrl+F opens a field of the page's own, so the keys typed before it stay where they were
// typed and those after it go to the field, however far behind the page is. The page searches its own text,
// text node by text node, the rows that far sheets hold aside included, and marks the matches with CSS
// highlights: nothing in the markup changes and nothing is laid out. While the field is open, a change to
// the page is searched again where it happened.

const findForm = byId('find-form');
const findInput = byId('find-inp');
const findCount = byId('find-count');
const currentFindMark = new Highlight();
currentFindMark.priority = 1;

// What the style sheet never shows, told by the page's own classes and elements (no style or layout is asked),
// and the find field itself and the sheets' measuring box.
const neverShown = '.hidden, section:not(.active), #zoom-warning:not(.active), script, style, template, select, ' +
  'textarea, #find-form, .row-probes';

let searchedText = null;  // what the matches belong to; null while nothing is searched
let findPattern = null;
// The matches in page order, in blocks: one for each sheet and one for each run of the page between sheets.
// A block keeps each match's text node and offsets; ranges are made only for what is marked.
let findBlocks = [];
// Each sheet's block, until the sheet or the search changes.
let sheetBlocks = new WeakMap();
// The sheets changed since the last count, each with its block from before the change.
const changedSheets = new Map();
let pageChanged = false;
let findDue = false;
let currentMatch = null;  // { block, index }
let keysCameFrom = null;  // where the keys were when the field took them

function findOpen() {
  return !findForm.classList.contains('hidden');
}

// Hands onText every text node under root that is not in a part matching passOver, in page order.
function eachText(root, passOver, onText) {
  const walker = document.createTreeWalker(root, NodeFilter.SHOW_TEXT);
  // Each part passed over is left at its first text.
  const partFrom = new Map();
  let outer = null;
  for (const part of root.querySelectorAll(passOver)) {
    if (outer?.contains(part)) continue;
    outer = part;
    walker.currentNode = part;
    const first = walker.firstChild();
    if (first) partFrom.set(first, part);
  }
  walker.currentNode = root;
  for (let node = walker.nextNode(); node;) {
    const part = partFrom.get(node);
    if (part) {
      walker.currentNode = part;
      node = walker.nextSibling();
    } else {
      onText(node);
      node = walker.nextNode();
    }
  }
}

function newBlock(sheet) {
  return { sheet, nodes: [], starts: [], ends: [], marks: null };
}

function addMatches(block, node) {
  const text = node.data;
  findPattern.lastIndex = 0;
  for (let found; (found = findPattern.exec(text)) !== null;) {
    block.nodes.push(node);
    block.starts.push(found.index);
    block.ends.push(found.index + found[0].length);
  }
}

function sameMatches(a, b) {
  return a.nodes.length === b.nodes.length &&
    a.nodes.every((node, k) => node === b.nodes[k] && a.starts[k] === b.starts[k] && a.ends[k] === b.ends[k]);
}

function matchRange({ nodes, starts, ends }, k) {
  const node = nodes[k];
  return new StaticRange({ startContainer: node, startOffset: starts[k], endContainer: node, endOffset: ends[k] });
}

function blockMarks(block) {
  block.marks ??= block.nodes.map((node, k) => matchRange(block, k));
  return block.marks;
}

// A far sheet's rows held aside belong to it and come after what it shows. Its whole text tells cheaply
// whether any of its texts can match.
function sheetBlock(sheet) {
  let block = sheetBlocks.get(sheet);
  if (block) return block;
  block = newBlock(sheet);
  for (const root of sheet._heldRows ? [sheet, sheet._heldRows] : [sheet]) {
    findPattern.lastIndex = 0;
    if (findPattern.test(root.textContent)) eachText(root, neverShown, (node) => addMatches(block, node));
  }
  const before = changedSheets.get(sheet);
  if (before && sameMatches(before, block)) block = before;
  sheetBlocks.set(sheet, block);
  return block;
}

// The page's matches, in blocks; those of unchanged sheets and page runs are the blocks from before.
function searchPage() {
  const found = [];
  const runsBefore = findBlocks.filter((block) => !block.sheet);
  let run = newBlock(null);
  const endRun = () => {
    if (run.nodes.length === 0) return;
    const before = runsBefore.shift();
    found.push(before && sameMatches(before, run) ? before : run);
    run = newBlock(null);
  };
  const sheets = [...mainElement.querySelectorAll('match-table')].filter((sheet) => !sheet.closest(neverShown));
  let next = 0;
  // The sheets that come before the node, or all that are left.
  const sheetsBefore = (node) => {
    for (; next < sheets.length; ++next) {
      if (node && !(sheets[next].compareDocumentPosition(node) & Node.DOCUMENT_POSITION_FOLLOWING)) return;
      endRun();
      const block = sheetBlock(sheets[next]);
      if (block.nodes.length > 0) found.push(block);
    }
  };
  eachText(document.body, `${neverShown}, match-table`, (node) => {
    sheetsBefore(node);
    addMatches(run, node);
  });
  sheetsBefore(null);
  endRun();
  return found;
}

// The web view goes through every range of a highlight for each piece of text it paints, and adding a range
// to a highlight costs as much again: only the matches of the sheets in view and of the page between sheets
// are marked, in a highlight made anew as sheets come into view and go.
const sheetsInView = new Set();
const sheetsWatchedForFind = new Set();

function markInView() {
  const ranges = [];
  for (const block of findBlocks) {
    if (!block.sheet || sheetsInView.has(block.sheet)) ranges.push(...blockMarks(block));
  }
  CSS.highlights.set('find-match', new Highlight(...ranges));
}

const sheetsComingIntoView = new IntersectionObserver((entries) => {
  for (const { target, isIntersecting } of entries) {
    if (isIntersecting) sheetsInView.add(target);
    else sheetsInView.delete(target);
  }
  markInView();
}, { root: mainElement });

// Marks the blocks found in place of those before, unless nothing marked changed.
function markMatches(found) {
  const marked = (block) => !block.sheet || sheetsInView.has(block.sheet);
  const before = new Set(findBlocks);
  const after = new Set(found);
  const changed = findBlocks.some((block) => !after.has(block) && marked(block)) ||
    found.some((block) => !before.has(block) && marked(block));
  findBlocks = found;
  const sheets = new Set(found.map((block) => block.sheet).filter((sheet) => sheet));
  for (const sheet of sheetsWatchedForFind) {
    if (sheets.has(sheet)) continue;
    sheetsComingIntoView.unobserve(sheet);
    sheetsWatchedForFind.delete(sheet);
    sheetsInView.delete(sheet);
  }
  for (const sheet of sheets) {
    if (sheetsWatchedForFind.has(sheet)) continue;
    sheetsComingIntoView.observe(sheet);
    sheetsWatchedForFind.add(sheet);
  }
  if (changed) markInView();
}

function matchCount() {
  return findBlocks.reduce((sum, block) => sum + block.nodes.length, 0);
}

function matchNumber({ block, index }) {
  let number = index;
  for (const other of findBlocks) {
    if (other === block) return number;
    number += other.nodes.length;
  }
  return -1;
}

function matchAt(number) {
  for (const block of findBlocks) {
    if (number < block.nodes.length) return { block, index: number };
    number -= block.nodes.length;
  }
  return null;
}

// The count always belongs to the text in the field: while a new text waits for its search, there is none.
function showFindCount() {
  const total = matchCount();
  let text = '';
  if (searchedText === findInput.value && findPattern) {
    if (total === 0) text = 'No matches';
    else if (currentMatch) text = `${matchNumber(currentMatch) + 1} of ${total}`;
    else text = total === 1 ? '1 match' : `${total} matches`;
  }
  findCount.textContent = text;
}

// Marks the match as the current one and scrolls to it, bringing only its own sheet near.
function goToMatch(match, scroll = true) {
  currentMatch = match;
  const range = match.block.marks?.[match.index] ?? matchRange(match.block, match.index);
  currentFindMark.clear();
  currentFindMark.add(range);
  showFindCount();
  if (!scroll) return;
  if (match.block.sheet) showRows(match.block.sheet);
  // A sheet's head stays at the top of the view while the sheet scrolls by: a match in a sheet comes in at the
  // bottom.
  const block = match.block.sheet ? 'end' : 'center';
  const element = range.startContainer.parentElement;
  element?.scrollIntoView({ block, inline: 'nearest' });
  if (element) placeFieldClearOf(element, range);
}

// As a browser's find bar, the field never hides the match it shows: the match comes out from under its sheet's
// head, then the field moves from the top right corner to the bottom right one while the match lies under it,
// and only when it lies under it there too does the view move on.
function placeFieldClearOf(element, { startContainer, startOffset, endContainer, endOffset }) {
  const live = document.createRange();
  live.setStart(startContainer, startOffset);
  live.setEnd(endContainer, endOffset);
  findForm.classList.remove('low');
  bringIntoSight(element, live.getBoundingClientRect(), false);
  findForm.classList.toggle('low', overlaps(findForm.getBoundingClientRect(), live.getBoundingClientRect()));
  bringIntoSight(element, live.getBoundingClientRect());
}

// Case as browsers take it, and any white space for white space, as the page shows a line break in its text.
function patternFor(text) {
  if (text.trim() === '') return null;
  return new RegExp(text.replace(/[\\^$.*+?()[\]{}|/]/g, '\\$&').replace(/\s+/g, '\\s+'), 'giu');
}

function searchAnew() {
  searchedText = findInput.value;
  findPattern = patternFor(searchedText);
  sheetBlocks = new WeakMap();
  changedSheets.clear();
  currentMatch = null;
  currentFindMark.clear();
  markMatches(findPattern ? searchPage() : []);
  if (findBlocks.length > 0) goToMatch(matchAt(0));
  else showFindCount();
}

// The page changed under the field: only the changed sheets are searched again, and the current match stays
// unless the change took it away.
function countAgain() {
  for (const sheet of changedSheets.keys()) sheetBlocks.delete(sheet);
  const before = new Set(findBlocks);
  markMatches(searchPage());
  if (currentMatch && !findBlocks.includes(currentMatch.block)) {
    const { block: was, index: at } = currentMatch;
    currentMatch = null;
    currentFindMark.clear();
    for (const block of findBlocks.filter((other) => !before.has(other))) {
      const index = block.nodes.findIndex((node, k) =>
        node === was.nodes[at] && block.starts[k] === was.starts[at] && block.ends[k] === was.ends[at]);
      if (index >= 0) goToMatch({ block, index }, false);
    }
  }
  showFindCount();
}

function findNow() {
  findDue = false;
  clearTimeout(findTimer);
  if (!findOpen()) return;
  if (findInput.value !== searchedText) searchAnew();
  else if (findPattern && (pageChanged || changedSheets.size > 0)) countAgain();
  pageChanged = false;
  changedSheets.clear();
}

// A burst of changes is searched once, and so are keys typed into the field in quick succession: a search
// for the first of them alone may find most of the page.
let findTimer = 0;
const typingPause = 50;

function findSoon(delay = 0) {
  findDue = true;
  clearTimeout(findTimer);
  findTimer = setTimeout(findNow, delay);
}

// The classes that show or hide a part of the page.
const showingClasses = (classes) =>
  (classes ?? '').split(/\s+/).filter((name) => name === 'hidden' || name === 'active').sort().join(' ');

const pageWatch = new MutationObserver((records) => {
  for (const { type, target, oldValue } of records) {
    const element = target.nodeType === Node.ELEMENT_NODE ? target : target.parentElement;
    // The field's own count and the measuring of sheets are no change to what is searched.
    if (!element || element.closest('#find-form, .row-probes')) continue;
    if (type === 'attributes' && showingClasses(oldValue) === showingClasses(element.className)) continue;
    const sheet = element.closest('match-table');
    // Rows that a sheet takes back from what it holds aside, or puts there, are no change of text.
    if (type === 'childList' && sheet && !element.closest('td, th')) continue;
    if (!sheet) pageChanged = true;
    else if (!changedSheets.has(sheet)) changedSheets.set(sheet, sheetBlocks.get(sheet));
  }
  if (pageChanged || changedSheets.size > 0) findSoon();
});

function step(direction) {
  if (findDue) findNow();
  const total = matchCount();
  if (total === 0) return;
  const number = currentMatch ? matchNumber(currentMatch) + direction : Math.min(direction, 0);
  goToMatch(matchAt((number + total) % total));
}

function keepKeysPlace() {
  const element = document.activeElement;
  const selection = getSelection();
  keysCameFrom = {
    element,
    // A text field has a selection of its own; an editable cell's caret is the page's selection.
    fieldRange: typeof element?.selectionStart === 'number'
      ? [element.selectionStart, element.selectionEnd, element.selectionDirection] : null,
    ends: selection.rangeCount > 0
      ? [selection.anchorNode, selection.anchorOffset, selection.focusNode, selection.focusOffset] : null,
  };
}

function giveKeysBack() {
  const { element, fieldRange, ends } = keysCameFrom ?? {};
  keysCameFrom = null;
  if (element?.isConnected && element !== document.body) element.focus();
  else findInput.blur();
  try {
    if (fieldRange) element.setSelectionRange(...fieldRange);
    else if (ends && ends[0].isConnected && ends[2].isConnected) getSelection().setBaseAndExtent(...ends);
  } catch {
    // The text around the caret changed meanwhile; the focus alone goes back.
  }
}

// The first line of what the page had selected when the field took the keys.
function selectedText() {
  const { element, fieldRange } = keysCameFrom;
  const text = fieldRange ? element.value.slice(fieldRange[0], fieldRange[1]) : String(getSelection());
  return text.split(/\r?\n/)[0];
}

function openFind() {
  if (!findForm.contains(document.activeElement)) {
    keepKeysPlace();
    const selected = selectedText();
    if (selected !== '') findInput.value = selected;
  }
  if (!findOpen()) {
    findForm.classList.remove('hidden', 'low');
    searchedText = null;
    CSS.highlights.set('find-current', currentFindMark);
    pageWatch.observe(document.body, {
      subtree: true, childList: true, characterData: true,
      attributes: true, attributeFilter: ['class'], attributeOldValue: true,
    });
  }
  if (findInput.value !== searchedText) {
    showFindCount();
    findSoon();
  }
  findInput.focus({ preventScroll: true });
  findInput.select();
}

function closeFind() {
  if (!findOpen()) return;
  const hadKeys = findForm.contains(document.activeElement);
  findForm.classList.add('hidden');
  pageWatch.disconnect();
  CSS.highlights.delete('find-match');
  CSS.highlights.delete('find-current');
  currentFindMark.clear();
  findBlocks = [];
  sheetsComingIntoView.disconnect();
  sheetsWatchedForFind.clear();
  sheetsInView.clear();
  searchedText = null;
  findPattern = null;
  currentMatch = null;
  changedSheets.clear();
  pageChanged = false;
  if (hadKeys) giveKeysBack();
  keysCameFrom = null;
}

// Ctrl+F anywhere, F3 while the field is open, and Enter and Escape in the field are find's alone: neither the
// page's code nor a dialog sees them.
window.addEventListener('keydown', (event) => {
  const otherModifier = event.altKey || event.metaKey;
  const inField = event.target === findInput && !event.isComposing;
  if (event.ctrlKey && !otherModifier && event.key?.toLowerCase() === 'f') {
    openFind();
  } else if (!findOpen() || event.ctrlKey || otherModifier) {
    return;
  } else if (event.key === 'F3' || (event.key === 'Enter' && inField)) {
    step(event.shiftKey ? -1 : 1);
  } else if (event.key === 'Escape' && inField) {
    closeFind();
    // Its key-up would reach the score cell that has the keys back, which adds the sheet up again.
    swallowKeyUps(new Set([event.code]));
  } else {
    return;
  }
  event.preventDefault();
  event.stopImmediatePropagation();
}, true);

findInput.addEventListener('input', () => {
  showFindCount();
  findSoon(typingPause);
});
findForm.addEventListener('submit', (event) => event.preventDefault());
// A click into the field takes the keys from where they were; the buttons leave the keys where they are.
findForm.addEventListener('mousedown', (event) => {
  if (event.target !== findInput) event.preventDefault();
  else if (!findForm.contains(document.activeElement)) keepKeysPlace();
});
byId('find-previous-btn').addEventListener('click', () => step(-1));
byId('find-next-btn').addEventListener('click', () => step(1));
byId('find-close-btn').addEventListener('click', closeFind);
