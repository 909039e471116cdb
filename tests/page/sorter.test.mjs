// The table sorter on tables built in the page for each case.
import { after, before, beforeEach, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { launchBrowser, Session } from './harness.mjs';

let browser;
let session;
let page;
before(async () => {
  browser = await launchBrowser();
  session = await Session.open(browser, { host: false });
  page = session.page;
});
after(async () => {
  await session?.close();
  await browser?.close();
  assert.deepEqual(session.errors, []);
});

// Puts a table into the shown section and sets the sorter up on it. Each row is a list of cell texts,
// or of { text, value } for a cell with a data-value.
function makeTable({ heads, rows, headAttributes = [], withHead = true }) {
  return page.evaluate(({ heads, rows, headAttributes, withHead }) => {
    document.getElementById('sorter-case')?.remove();
    const table = document.createElement('table');
    table.id = 'sorter-case';
    table.setAttribute('data-sortable', '');
    if (withHead) {
      const head = table.createTHead().insertRow();
      heads.forEach((text, index) => {
        const th = document.createElement('th');
        th.textContent = text;
        for (const [name, value] of Object.entries(headAttributes[index] ?? {})) th.setAttribute(name, value);
        head.append(th);
      });
    }
    const body = table.createTBody();
    for (const cells of rows) {
      const row = body.insertRow();
      for (const cell of cells) {
        const td = row.insertCell();
        if (typeof cell === 'string') td.textContent = cell;
        else {
          td.textContent = cell.text;
          td.setAttribute('data-value', cell.value);
        }
      }
    }
    document.querySelector('section.active').prepend(table);
    return window.Sortable.reinitialize(table)[0] === table;
  }, { heads, rows, headAttributes, withHead });
}

function column(index = 0) {
  return page.$$eval('#sorter-case tbody tr', (rows, i) => rows.map((row) => row.cells[i].textContent), index);
}

function press(index = 0, button = 'left') {
  return page.click(`#sorter-case th >> nth=${index}`, { button });
}

function marks() {
  return page.$$eval('#sorter-case th', (ths) =>
    ths.map((th) => [th.getAttribute('data-sorted'), th.getAttribute('data-sorted-direction')]));
}

describe('Table sorter', () => {
  beforeEach(() => page.evaluate(() => document.getElementById('sorter-case')?.remove()));

  test('sorts numbers by value and reverses on the next press', async () => {
    await makeTable({ heads: ['Seed'], rows: [['9'], ['10'], ['2']] });
    await press();
    assert.deepEqual(await column(), ['2', '9', '10']);
    assert.deepEqual(await marks(), [['true', 'ascending']]);
    await press();
    assert.deepEqual(await column(), ['10', '9', '2']);
    assert.deepEqual(await marks(), [['true', 'descending']]);
  });

  test('reads numeric keys the way the column type says', async () => {
    // The first non-empty cell makes the column numeric; a text without digits sorts first.
    await makeTable({ heads: ['Value'], rows: [[''], ['5'], ['abc'], ['Team 12'], ['1']] });
    await press();
    assert.deepEqual(await column(), ['', 'abc', '1', '5', 'Team 12']);
    await press();
    assert.deepEqual(await column(), ['Team 12', '5', '1', 'abc', '']);

    // Commas go, a currency sign and a percent sign are allowed, and the number ends where it stops.
    await makeTable({
      heads: ['Amount', 'Row'],
      rows: [['45%', 'a'], ['1,5', 'b'], ['$1,234.5', 'c'], ['1.2.3', 'd'], ['1,234.5', 'e'], ['\u00C25', 'f']],
    });
    await press();
    assert.deepEqual(await column(1), ['d', 'f', 'b', 'a', 'c', 'e']);
  });

  test('sorts dates by time and other texts by the locale, keeping equal keys in order', async () => {
    await makeTable({ heads: ['Day'], rows: [['2024-03-01'], ['2023-12-31'], ['2024-01-15']] });
    await press();
    assert.deepEqual(await column(), ['2023-12-31', '2024-01-15', '2024-03-01']);

    await makeTable({ heads: ['Name', 'Row'], rows: [['birch', '1'], ['Ash', '2'], ['birch', '3'], ['ash', '4'], ['Ash', '5']] });
    await press();
    assert.deepEqual(await column(1), ['4', '2', '5', '1', '3']);
  });

  test('takes a cell\'s data-value as its key', async () => {
    await makeTable({ heads: ['Round'], rows: [[{ text: 'Final', value: '9' }], [{ text: 'First', value: '1' }], [{ text: 'Second', value: '2' }]] });
    await press();
    assert.deepEqual(await column(), ['First', 'Second', 'Final']);
  });

  test('reverses the rows as they stand when the sorted column is pressed again', async () => {
    await makeTable({ heads: ['Seed'], rows: [['3'], ['1'], ['2']] });
    await press();
    await page.evaluate(() => {
      const row = document.querySelector('#sorter-case tbody').insertRow();
      row.insertCell().textContent = '0';
    });
    await press();
    assert.deepEqual(await column(), ['0', '3', '2', '1']);
  });

  test('follows the head cells\' own attributes', async () => {
    await makeTable({
      heads: ['Fixed', 'As text'],
      rows: [['3', '9'], ['1', '10'], ['2', '100']],
      headAttributes: [{ 'data-sortable': 'false' }, { 'data-sortable-type': 'alpha' }],
    });
    // A column marked not sortable has no handler.
    await press(0);
    assert.deepEqual(await column(0), ['3', '1', '2']);
    assert.deepEqual(await marks(), [[null, null], [null, null]]);
    // A named type wins over detection: the numbers sort as text.
    await press(1);
    assert.deepEqual(await column(1), ['10', '100', '9']);
    // An unknown type name is ignored and detection decides.
    await makeTable({ heads: ['Seed'], rows: [['10'], ['9']], headAttributes: [{ 'data-sortable-type': 'roman' }] });
    await press();
    assert.deepEqual(await column(), ['9', '10']);
  });

  test('sets a table up once, and anew on reinitialize', async () => {
    await makeTable({ heads: ['Seed', 'Name'], rows: [['2', 'b'], ['1', 'a']] });
    // A second init must not add a second handler, which would sort and then reverse.
    await page.evaluate(() => window.Sortable.init());
    await press(0);
    assert.deepEqual(await column(), ['1', '2']);
    // Pressing another column moves the marks there.
    await press(1);
    assert.deepEqual(await marks(), [[null, null], ['true', 'ascending']]);
    await press(0);
    assert.deepEqual(await marks(), [['true', 'ascending'], [null, null]]);
    // After reinitialize the marks are gone, so the next press sorts ascending instead of reversing.
    await page.evaluate(() => window.Sortable.reinitialize('#sorter-case'));
    assert.deepEqual(await marks(), [[null, null], [null, null]]);
    await press(0);
    assert.deepEqual(await column(), ['1', '2']);
    assert.deepEqual(await marks(), [['true', 'ascending'], [null, null]]);
  });

  test('skips a table without a head and sorts on any pointer button', async () => {
    assert.equal(await makeTable({ heads: [], rows: [['2'], ['1']], withHead: false }), false);
    assert.equal(await page.$eval('#sorter-case', (table) => table.hasAttribute('data-sortable-initialized')), false);

    await makeTable({ heads: ['Seed'], rows: [['2'], ['3'], ['1']] });
    await press(0, 'right');
    assert.deepEqual(await column(), ['1', '2', '3']);
    await press(0, 'middle');
    assert.deepEqual(await column(), ['3', '2', '1']);
  });
});
