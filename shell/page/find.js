// Find in the page. Ctrl+F opens a field of the page's own, so the keys typed before it stay where they were
// typed and those after it go to the field, however far behind the page is. The page searches its own text,
// text node by text node, the rows that far sheets hold aside included, comparing letters as the web view's own
// find does, and marks the matches near the view with CSS highlights: nothing in the markup changes and nothing
// is laid out. While the field is open, a change to the page is searched again where it happened.

const findForm = byId('find-form');
const findInput = byId('find-inp');
const findCount = byId('find-count');
const currentFindMark = new Highlight();
currentFindMark.priority = 1;

// What the style sheet never shows, told by the page's own classes and elements (no style or layout is asked),
// and the find field itself and the sheets' measuring box.
const neverShown = '.hidden, section:not(.active), #zoom-warning:not(.active), script, style, template, select, ' +
  'textarea, #find-form, .row-probes';

// Letters as the web view's own find takes them: compatibility forms as their plain letters (ﬁ, Ａ, ²), marks
// and invisible characters left out, case folded fully, and the few letters that it takes for others.
const foldedAway = /[\p{M}\p{Default_Ignorable_Code_Point}]/gu;
const nonAscii = /[^\0-\x7f]/;
const otherLetters = { ß: 'ss', ς: 'σ', æ: 'ae', œ: 'oe', ø: 'o', ł: 'l', đ: 'd', ð: 'd', ħ: 'h' };
const otherLetter = /[ßςæœøłđðħ]/g;

function fold(text) {
  return text.normalize('NFKD').replace(foldedAway, '').toLowerCase()
    .replace(otherLetter, (letter) => otherLetters[letter]);
}

// Each letter's folded form, as letters are met.
const letterFolds = new Map();

// Where each letter of a text's folded form comes from in the text, and the text's end after the last.
function foldOrigins(text) {
  const origins = [];
  for (let at = 0; at < text.length;) {
    const letter = String.fromCodePoint(text.codePointAt(at));
    let folded = letterFolds.get(letter);
    if (folded === undefined) letterFolds.set(letter, folded = fold(letter));
    for (let k = 0; k < folded.length; ++k) origins.push(at);
    at += letter.length;
  }
  origins.push(text.length);
  return origins;
}

// The page's text in parts, each marked only while it is in view: a sheet with the rows it holds aside, a table
// row, or the element around a run of text. A part keeps its text nodes and their texts joined, folded where
// they are not plain ASCII; the texts of a sheet are kept until the sheet changes or the field closes, so that a
// search reads no node it has read before.
let sheetParts = new WeakMap();
let pageParts = null;  // in page order; null until searched and after a change around the sheets
// Between the texts of a part, where nothing matches: no text of the page holds it, as the parser turns it into
// U+FFFD and the store refuses it in every name and cell.
const textBreak = '\0';

// The texts of a part as they are read: their nodes and their texts.
function newRun() {
  return { nodes: [], texts: [] };
}

function addText(run, node, text) {
  run.nodes.push(node);
  run.texts.push(text);
}

function newPart(holder, sheet, { nodes, texts }) {
  let text = texts.join(textBreak);
  const folded = nonAscii.test(text);
  if (folded) text = texts.map((one) => (nonAscii.test(one) ? fold(one) : one)).join(textBreak);
  return { holder, sheet, nodes, text, folded, places: null, origins: new Map() };
}

// Where each text of a part begins in the part's text.
function placesOf(part) {
  if (!part.places) {
    const { text } = part;
    part.places = [0];
    for (let at = text.indexOf(textBreak); at >= 0; at = text.indexOf(textBreak, at + 1)) part.places.push(at + 1);
  }
  return part.places;
}

// Hands onText every text node under root that is not in a part matching passOver, with its text, in page
// order; white space alone in a text is never between two of its letters, where alone white space is found.
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
      const text = node.data;
      if (/\S/.test(text)) onText(node, text);
      node = walker.nextNode();
    }
  }
}

// A far sheet's rows held aside belong to it and come after what it shows.
const sheetRoots = (sheet) => (sheet._heldRows ? [sheet, sheet._heldRows] : [sheet]);

// A sheet's texts are read only once a search may find something in them: until then its part keeps the
// sheet's whole text, which holds every match of its texts, so that a search that finds few sheets reads few.
function sheetPart(sheet) {
  let part = sheetParts.get(sheet);
  if (part) return part;
  const whole = sheetRoots(sheet).map((root) => root.textContent).join(textBreak);
  part = { holder: sheet, sheet, whole: nonAscii.test(whole) ? fold(whole) : whole };
  sheetParts.set(sheet, part);
  return part;
}

// A sheet holds only its own markup, where nothing but the class hides a part.
function readSheetTexts(part) {
  const run = newRun();
  for (const root of sheetRoots(part.sheet)) eachText(root, '.hidden', (node, text) => addText(run, node, text));
  Object.assign(part, newPart(part.holder, part.sheet, run), { whole: null });
}

function findPageParts() {
  const parts = [];
  let holder = null;
  let run = newRun();
  const endRun = () => {
    if (run.nodes.length > 0) parts.push(newPart(holder, null, run));
    run = newRun();
  };
  const sheets = [...mainElement.querySelectorAll('match-table')].filter((sheet) => !sheet.closest(neverShown));
  let next = 0;
  // The sheets that come before the node, or all that are left.
  const sheetsBefore = (node) => {
    for (; next < sheets.length; ++next) {
      if (node && !(sheets[next].compareDocumentPosition(node) & Node.DOCUMENT_POSITION_FOLLOWING)) return;
      endRun();
      parts.push(sheetPart(sheets[next]));
    }
  };
  eachText(document.body, `${neverShown}, match-table`, (node, text) => {
    sheetsBefore(node);
    const around = node.parentElement.closest('tr') ?? node.parentElement;
    if (around !== holder) endRun();
    holder = around;
    addText(run, node, text);
  });
  sheetsBefore(null);
  endRun();
  return parts;
}

// The part's text that holds the place.
function textAt(part, place) {
  const places = placesOf(part);
  let low = 0;
  for (let high = places.length - 1; low < high;) {
    const middle = (low + high + 1) >> 1;
    if (places[middle] <= place) low = middle;
    else high = middle - 1;
  }
  return low;
}

function originsOf(part, k) {
  if (!part.folded) return null;
  let origins = part.origins.get(k);
  if (origins === undefined) {
    const { data } = part.nodes[k];
    origins = nonAscii.test(data) ? foldOrigins(data) : null;
    part.origins.set(k, origins);
  }
  return origins;
}

// The text node of a match and where the match begins and ends in it, its letters' marks included.
function matchPlace(block, index) {
  const { part, starts, ends } = blockMatches(block);
  const k = textAt(part, starts[index]);
  const origins = originsOf(part, k);
  const from = starts[index] - part.places[k];
  const to = ends[index] - part.places[k];
  return [part.nodes[k], origins ? origins[from] : from, origins ? origins[to] : to];
}

// Whether a match begins and ends with whole letters of the page: "s" is not half of ß.
function wholeLetters(part, start, end) {
  if (!part.folded) return true;
  const k = textAt(part, start);
  const origins = originsOf(part, k);
  if (!origins) return true;
  const from = start - part.places[k];
  const to = end - part.places[k];
  return (from === 0 || origins[from] !== origins[from - 1]) && origins[to] !== origins[to - 1];
}

let searchedText = null;  // what the matches belong to; null while nothing is searched
let findPattern = null;
// How long every match is in plain ASCII text, when the text searched has no white space; otherwise 0.
let matchLength = 0;
// The matches in page order, in blocks: one for each part that has any. Ranges are made only for what is
// marked.
let findBlocks = [];
// Each part's block for the text searched, those without matches included.
let partBlocks = new Map();
// The sheets changed since the last count, each with its block from before the change.
const changedSheets = new Map();
let pageChanged = false;
let findDue = false;
let currentMatch = null;  // { block, index }
let keysCameFrom = null;  // where the keys were when the field took them

function findOpen() {
  return !findForm.classList.contains('hidden');
}

// The block of every part without matches: most parts have none, and a search leaves no block behind for them.
const noMatches = Object.freeze({ count: 0 });

// Hands onMatch where each match of the text searched begins and ends in the part's text.
function eachMatch(part, onMatch) {
  findPattern.lastIndex = 0;
  if (!part.folded && matchLength > 0) {
    while (findPattern.test(part.text)) onMatch(findPattern.lastIndex - matchLength, findPattern.lastIndex);
    return;
  }
  for (let found; (found = findPattern.exec(part.text)) !== null;) {
    const start = found.index;
    const end = start + found[0].length;
    if (wholeLetters(part, start, end)) onMatch(start, end);
    else findPattern.lastIndex = start + 1;
  }
}

// A part's block holds how many matches it has; where they are is found again only for the blocks marked or
// gone to, so that a search of a letter keeps nothing for each of its many matches.
function partMatches(part) {
  if (part.whole != null) {
    findPattern.lastIndex = 0;
    if (!findPattern.test(part.whole)) return noMatches;
    readSheetTexts(part);
  }
  let count = 0;
  eachMatch(part, () => ++count);
  return count === 0 ? noMatches : { part, sheet: part.sheet, count, starts: null, ends: null, marks: null };
}

function blockMatches(block) {
  if (!block.starts) {
    block.starts = [];
    block.ends = [];
    eachMatch(block.part, (start, end) => {
      block.starts.push(start);
      block.ends.push(end);
    });
  }
  return block;
}

function samePlace(a, k, b, j) {
  const [node, from, to] = matchPlace(a, k);
  const [otherNode, otherFrom, otherTo] = matchPlace(b, j);
  return node === otherNode && from === otherFrom && to === otherTo;
}

function sameMatches(a, b) {
  if (a.count !== b.count) return false;
  for (let k = 0; k < a.count; ++k) if (!samePlace(a, k, b, k)) return false;
  return true;
}

function matchRange(block, index) {
  const [node, from, to] = matchPlace(block, index);
  return new StaticRange({ startContainer: node, startOffset: from, endContainer: node, endOffset: to });
}

function blockMarks(block) {
  block.marks ??= blockMatches(block).starts.map((_, k) => matchRange(block, k));
  return block.marks;
}

// The page's matches, in blocks; those of unchanged parts are the blocks from before, and so is a changed
// sheet's when its matches stayed (before holds each changed sheet's block).
function searchPage(before = new Map()) {
  pageParts ??= findPageParts();
  const blocks = new Map();
  for (const part of pageParts) {
    let block = partBlocks.get(part);
    if (!block) {
      block = partMatches(part);
      const was = before.get(part.sheet);
      if (was && sameMatches(was, block)) block = was;
    }
    blocks.set(part, block);
  }
  partBlocks = blocks;
  return [...blocks.values()].filter((block) => block.count > 0);
}

// The page's changes since the last search: a changed sheet's texts are read again, and the whole page's when
// it changed around the sheets.
function forgetChangedTexts() {
  for (const sheet of changedSheets.keys()) sheetParts.delete(sheet);
  if (pageChanged) pageParts = null;
  else if (pageParts && changedSheets.size > 0) {
    pageParts = pageParts.map((part) => (changedSheets.has(part.sheet) ? sheetPart(part.sheet) : part));
  }
}

// The web view goes through every range of a highlight for each piece of text it paints, and adding a range
// to a highlight costs as much again: only the matches of the parts in view are marked, in a highlight made
// anew as parts come into view and go.
const partsInView = new Set();
const partsWatchedForFind = new Set();
const marked = (block) => partsInView.has(block.part.holder);

function markInView() {
  const ranges = [];
  for (const block of findBlocks) {
    if (marked(block)) ranges.push(...blockMarks(block));
  }
  CSS.highlights.set('find-match', new Highlight(...ranges));
}

const partsComingIntoView = new IntersectionObserver((entries) => {
  for (const { target, isIntersecting } of entries) {
    if (isIntersecting) partsInView.add(target);
    else partsInView.delete(target);
  }
  markInView();
});

// Marks the blocks found in place of those before, unless nothing marked changed.
function markMatches(found) {
  const before = new Set(findBlocks);
  const after = new Set(found);
  const changed = findBlocks.some((block) => !after.has(block) && marked(block)) ||
    found.some((block) => !before.has(block) && marked(block));
  findBlocks = found;
  const holders = new Set(found.map((block) => block.part.holder));
  for (const holder of partsWatchedForFind) {
    if (holders.has(holder)) continue;
    partsComingIntoView.unobserve(holder);
    partsWatchedForFind.delete(holder);
    partsInView.delete(holder);
  }
  for (const holder of holders) {
    if (partsWatchedForFind.has(holder)) continue;
    partsComingIntoView.observe(holder);
    partsWatchedForFind.add(holder);
  }
  if (changed) markInView();
}

function matchCount() {
  return findBlocks.reduce((sum, block) => sum + block.count, 0);
}

function matchNumber({ block, index }) {
  let number = index;
  for (const other of findBlocks) {
    if (other === block) return number;
    number += other.count;
  }
  return -1;
}

function matchAt(number) {
  for (const block of findBlocks) {
    if (number < block.count) return { block, index: number };
    number -= block.count;
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

// Any white space for white space, as the page shows a line break in its text; white space at either end of
// the text, or all of it, only where the page shows it: between two letters of one text.
function patternFor(text) {
  if (text === '') return [null, 0];
  const folded = fold(text).replaceAll(textBreak, '');
  const letter = `[^\\s${textBreak}]`;
  let source = folded.replace(/[\\^$.*+?()[\]{}|/]/g, '\\$&').replace(/\s+/g, '\\s+');
  if (/^\s/.test(folded)) source = `(?<=${letter})${source}`;
  if (/\s$/.test(folded)) source += `(?=${letter})`;
  // Marks alone are no letters: they find nothing.
  return [new RegExp(source || '(?!)', 'giu'), /\s/.test(folded) ? 0 : folded.length];
}

function searchAnew() {
  searchedText = findInput.value;
  [findPattern, matchLength] = patternFor(searchedText);
  partBlocks = new Map();
  // The page's texts are read as the field opens, so that the first key typed into it only searches them.
  pageParts ??= findPageParts();
  currentMatch = null;
  currentFindMark.clear();
  markMatches(findPattern ? searchPage() : []);
  if (findBlocks.length > 0) goToMatch(matchAt(0));
  else showFindCount();
}

// The page changed under the field: only the changed parts are searched again, and the current match stays
// unless the change took it away.
function countAgain() {
  const before = new Set(findBlocks);
  markMatches(searchPage(changedSheets));
  if (currentMatch && !findBlocks.includes(currentMatch.block)) {
    const { block: was, index: at } = currentMatch;
    currentMatch = null;
    currentFindMark.clear();
    for (const block of findBlocks.filter((other) => !before.has(other))) {
      const index = blockMatches(block).starts.findIndex((_, k) => samePlace(block, k, was, at));
      if (index >= 0) goToMatch({ block, index }, false);
    }
  }
  showFindCount();
}

function findNow() {
  findDue = false;
  clearTimeout(findTimer);
  if (!findOpen()) return;
  forgetChangedTexts();
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
    if (sheet && !changedSheets.has(sheet)) changedSheets.set(sheet, partBlocks.get(sheetParts.get(sheet)));
    // Which sheets are shown changes with a class of a sheet's own or of what is around them.
    if (!sheet || element === sheet) pageChanged = true;
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
  partBlocks = new Map();
  pageParts = null;
  sheetParts = new WeakMap();
  partsComingIntoView.disconnect();
  partsWatchedForFind.clear();
  partsInView.clear();
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
