// What hides the box of the cell that has the keys, or of the current find match when what is 'match', once the
// page has drawn its next frame: the edge of the view, a sheet's head other than the one the box lies in, or the
// find field; the empty text when nothing does. An expression, run in the page by the page and desktop tests.
async (what) => {
  for (let k = 0; k < 2; ++k) await new Promise((resolve) => requestAnimationFrame(resolve));
  let node = document.activeElement;
  let box = node.getBoundingClientRect();
  if (what === 'match') {
    const [found] = CSS.highlights.get('find-current');
    const live = new Range();
    live.setStart(found.startContainer, found.startOffset);
    live.setEnd(found.endContainer, found.endOffset);
    [node, box] = [found.startContainer.parentElement, live.getBoundingClientRect()];
  }
  const over = (other) => other.left < box.right - 1 && other.right > box.left + 1 &&
    other.top < box.bottom - 1 && other.bottom > box.top + 1;
  const main = document.querySelector('main');
  const { top, left } = main.getBoundingClientRect();
  const by = [];
  if (box.top < top - 1 || box.left < left - 1 || box.bottom > top + main.clientHeight + 1 ||
    box.right > left + main.clientWidth + 1) by.push('the edge of the view');
  for (const head of document.querySelectorAll('match-table thead')) {
    if (!head.contains(node) && over(head.getBoundingClientRect())) by.push(`the head of ${head.closest('[id]').id}`);
  }
  const field = document.getElementById('find-form');
  if (!field.classList.contains('hidden') && over(field.getBoundingClientRect())) by.push('the find field');
  return by.join(', ');
}
