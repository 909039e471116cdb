// The find bar's helper inside the page. It runs in a script world of its own, so the page neither sees it
// nor can change what it keeps. A search moves the page's selection, and with it the caret of the field
// being edited: the helper keeps them while the bar has the keys and gives them back when the bar closes.
// While the bar is open, it tells the bar when the page changes, so that the count can follow.
(() => {
  'use strict';
  let kept = null;
  let told = false;
  // One word for a burst of changes: a screen that is shown, then filled by a reply.
  const changed = () => {
    if (told) return;
    told = true;
    setTimeout(() => {
      told = false;
      window.webkit.messageHandlers.findBar.postMessage('changed');
    }, 100);
  };
  const observer = new MutationObserver(changed);

  const helper = Object.freeze({
    // The text selected in the page, in a text field or elsewhere; its first line only.
    selectedText() {
      const field = document.activeElement;
      const text =
        typeof field?.selectionStart === 'number' && field.selectionEnd > field.selectionStart
          ? field.value.slice(field.selectionStart, field.selectionEnd)
          : String(getSelection());
      return text.split('\n')[0];
    },

    // A search starts where the page's selection is; without one, at the top of the page.
    clearSelection() {
      getSelection().removeAllRanges();
    },

    keep() {
      const field = document.activeElement;
      const selection = getSelection();
      kept = {
        field,
        // A text field has a selection of its own; an editable cell's caret is the page's selection.
        fieldRange:
          typeof field?.selectionStart === 'number'
            ? [field.selectionStart, field.selectionEnd, field.selectionDirection]
            : null,
        ends:
          selection.rangeCount > 0
            ? [selection.anchorNode, selection.anchorOffset, selection.focusNode, selection.focusOffset]
            : null,
      };
    },

    giveBack() {
      if (!kept) return;
      const { field, fieldRange, ends } = kept;
      kept = null;
      if (!field?.isConnected) return;
      field.focus();
      try {
        if (fieldRange) field.setSelectionRange(...fieldRange);
        else if (ends) getSelection().setBaseAndExtent(...ends);
        else getSelection().removeAllRanges();
      } catch {
        // The text around the caret changed meanwhile; the field keeps the caret that focusing gave it.
      }
    },

    // The page is told when the bar opens and closes, so that it can lay out for the search whatever it
    // keeps out of the web view's way; what it changes then is no change for the count.
    watch(on) {
      if (on) {
        document.dispatchEvent(new Event('findbarshown'));
        observer.observe(document.documentElement, {
          subtree: true,
          childList: true,
          characterData: true,
          attributes: true,
        });
        // Typing into a text field changes its value, which no mutation shows.
        document.addEventListener('input', changed, true);
      } else {
        observer.disconnect();
        document.removeEventListener('input', changed, true);
        document.dispatchEvent(new Event('findbarhidden'));
      }
    },
  });
  window.findBar = helper;

  // Ctrl+F reaches the page after every key typed before it: only then is the caret where the user left it.
  // The page never sees the key.
  addEventListener(
    'keydown',
    (event) => {
      if (!event.ctrlKey || event.altKey || event.metaKey || event.key.toLowerCase() !== 'f') return;
      event.preventDefault();
      event.stopImmediatePropagation();
      helper.keep();
      window.webkit.messageHandlers.findBar.postMessage(`find:${helper.selectedText()}`);
    },
    true,
  );
})();
