(function () {
  'use strict';

  const defaultSelector = 'table[data-sortable]';
  const sortEvents = ['pointerdown'];
  // An optional minus, at most one currency sign, then digits, commas and points with a digit among them.
  const numericPattern = /^-?[\u00C2\u00A3$\u00C2\u00A4]?[\d,.]*\d[\d,.]*%?$/;

  const types = [
    {
      name: 'numeric',
      defaultSortDirection: 'ascending',
      match: (text) => numericPattern.test(text),
      comparator: (text) => {
        const value = parseFloat(text.replace(/[^0-9.-]/g, ''));
        return Number.isNaN(value) ? -Infinity : value;
      },
    },
    {
      name: 'date',
      defaultSortDirection: 'ascending',
      match: (text) => !Number.isNaN(Date.parse(text)),
      comparator: (text) => {
        const value = Date.parse(text);
        return Number.isNaN(value) ? 0 : value;
      },
    },
    {
      name: 'alpha',
      defaultSortDirection: 'ascending',
      match: () => true,
      compare: (a, b) => a.localeCompare(b),
    },
  ];

  class SortableTables {
    init(options) {
      const selector = (options && options.selector) || defaultSelector;
      return Array.from(document.querySelectorAll(selector), (table) => this.initTable(table));
    }

    reinitialize(target) {
      let tables;
      if (typeof target === 'string') tables = Array.from(document.querySelectorAll(target));
      else if (target instanceof Element) tables = [target];
      else tables = Array.from(document.querySelectorAll(defaultSelector));
      return tables.map((table) => {
        table.removeAttribute('data-sortable-initialized');
        for (const th of table.querySelectorAll('th')) {
          th.removeAttribute('data-sorted');
          th.removeAttribute('data-sorted-direction');
        }
        return this.initTable(table);
      });
    }

    initTable(table) {
      if (!table.tHead) return null;
      if (table.getAttribute('data-sortable-initialized') === 'true') return table;
      table.setAttribute('data-sortable-initialized', 'true');
      table.querySelectorAll('th').forEach((th, index) => {
        if (th.getAttribute('data-sortable') !== 'false') this.setupClickableHeader(table, th, index);
      });
      return table;
    }

    setupClickableHeader(table, th, index) {
      if (th._sortableHandler) {
        for (const name of sortEvents) th.removeEventListener(name, th._sortableHandler);
        delete th._sortableHandler;
      }
      const type = this.getColumnType(table, index);
      const handler = () => {
        const wasSorted = th.getAttribute('data-sorted') === 'true';
        let direction = type.defaultSortDirection;
        if (wasSorted) {
          direction = th.getAttribute('data-sorted-direction') === 'ascending' ? 'descending' : 'ascending';
        }
        for (const other of th.closest('tr').querySelectorAll('th')) {
          other.removeAttribute('data-sorted');
          other.removeAttribute('data-sorted-direction');
        }
        th.setAttribute('data-sorted', 'true');
        th.setAttribute('data-sorted-direction', direction);
        this.sortTable(table, index, type, wasSorted, direction);
      };
      for (const name of sortEvents) th.addEventListener(name, handler);
      th._sortableHandler = handler;
    }

    sortTable(table, index, type, reverseOnly, direction) {
      const body = table.tBodies[0];
      if (!body) return;
      const rows = Array.from(body.rows);
      if (reverseOnly) {
        body.append(...rows.reverse());
        return;
      }
      const keyed = rows.map((row, position) => {
        const text = this.getNodeValue(row.cells[index]);
        return { row, position, key: type.comparator ? type.comparator(text) : text };
      });
      const sign = direction === 'ascending' ? 1 : -1;
      keyed.sort((a, b) => {
        // Equal keys keep their order in both directions.
        if (a.key === b.key) return a.position - b.position;
        const order = type.compare ? type.compare(a.key, b.key) : a.key - b.key;
        return sign * order || a.position - b.position;
      });
      body.append(...keyed.map((entry) => entry.row));
    }

    getColumnType(table, index) {
      const th = table.querySelectorAll('th')[index];
      const named = th && th.getAttribute('data-sortable-type');
      if (named) {
        const type = types.find((candidate) => candidate.name === named);
        if (type) return type;
      }
      const body = table.tBodies[0];
      if (body) {
        for (const row of body.rows) {
          const text = this.getNodeValue(row.cells[index]);
          if (text !== '') return types.find((candidate) => candidate.match(text));
        }
      }
      return types[types.length - 1];
    }

    getNodeValue(cell) {
      if (!cell) return '';
      if (cell.hasAttribute('data-value')) return cell.getAttribute('data-value');
      return (cell.innerText || cell.textContent).trim();
    }
  }

  window.Sortable = new SortableTables();
  if (document.readyState === 'loading') {
    document.addEventListener('DOMContentLoaded', () => window.Sortable.init(), { once: true });
  } else {
    window.Sortable.init();
  }
})();
