// The catalogue view: a page per place in the tree, chosen by the address's
// fragment ("#/model?category=...&type=...&model=..."), filled from the
// server's JSON. Repository text enters the page only as text nodes
// (textContent), with control characters shown as escapes.
'use strict';

(() => {
  const page = document.getElementById('page');
  const trail = document.getElementById('trail');
  const loginForm = document.getElementById('login');
  let generation = 0;  // a page drawn for an older address is dropped

  class LoggedOut extends Error {}

  // ---- talking to the server -------------------------------------------------------

  async function api(what, params) {
    const response = await fetch('/api/' + what + '?' + new URLSearchParams(params || {}),
                                 {credentials: 'same-origin'});
    const body = await response.json().catch(() => ({}));
    if (response.status === 401) {
      showLogin();
      throw new LoggedOut();
    }
    if (!response.ok) throw new Error(body.error || response.statusText);
    return body;
  }

  async function post(what, body) {
    const response = await fetch('/api/' + what, {method: 'POST', credentials: 'same-origin',
                                                  headers: {'Content-Type': 'application/json'},
                                                  body: JSON.stringify(body)});
    const answer = await response.json().catch(() => ({}));
    if (!response.ok) throw new Error(answer.error || response.statusText);
    return answer;
  }

  // ---- building the page -----------------------------------------------------------

  // C0 and C1 control characters but tab and line ends, as "\xNN".
  function visible(text) {
    return String(text).replace(/[\u0000-\u0008\u000b\u000c\u000e-\u001f\u007f-\u009f]/g,
                                (c) => '\\x' + c.charCodeAt(0).toString(16).padStart(2, '0'));
  }

  // An element with text children (strings) and element children.
  function el(tag, className, ...children) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    for (const child of children) {
      if (child === null || child === undefined) continue;
      if (child instanceof Node) node.appendChild(child);
      else node.appendChild(document.createTextNode(visible(child)));
    }
    return node;
  }

  function link(text, route, params) {
    const node = el('a', null, text);
    node.href = '#/' + route + (params ? '?' + new URLSearchParams(params) : '');
    return node;
  }

  function table(headings, rows, numeric) {
    const head = el('tr', null, ...headings.map((heading) => el('th', null, heading)));
    const body = rows.map((row) => el('tr', null, ...row.map((cell) => el('td', numeric ? 'number' : null,
                                                                            String(cell)))));
    return el('table', null, el('thead', null, head), el('tbody', null, ...body));
  }

  function names(list, empty) {
    if (!list.length) return el('p', null, empty);
    return el('ul', 'names', ...list.map((item) => el('li', null, item)));
  }

  function show(title, ...content) {
    page.replaceChildren(el('h1', null, title), ...content);
  }

  function setTrail(steps) {
    const parts = [link('Categories', '')];
    for (const [text, route, params] of steps) parts.push(' / ', link(text, route, params));
    trail.replaceChildren(...parts);
  }

  // ---- pages ---------------------------------------------------------------------------

  async function categoriesPage(params) {
    const data = await api('categories', params.has('fresh') ? {fresh: '1'} : {});
    return () => {
      setTrail([]);
      const reload = el('button', null, 'Reload');
      reload.type = 'button';
      reload.id = 'reload';
      reload.addEventListener('click', () => { location.hash = '#/?fresh=' + Date.now(); });
      const list = data.categories.map((c) => el('li', null, link(c.name, 'types', {category: c.name}),
                                                  ' (' + c.types + ' types)'));
      show('Categories', list.length ? el('ul', 'names', ...list) :
                           el('p', null, 'Nothing here that this user may read.'), el('p', null, reload));
    };
  }

  async function typesPage(params) {
    const category = params.get('category');
    const data = await api('types', {category});
    return () => {
      setTrail([[category, 'types', {category}]]);
      const list = data.types.map((t) => el('li', null, link(t.name, 'models', {category, type: t.name}),
                                             ' (' + t.models + ' models)'));
      show('Types of ' + category, list.length ? el('ul', 'names', ...list) : el('p', null, 'No types.'));
    };
  }

  async function modelsPage(params) {
    const category = params.get('category');
    const type = params.get('type');
    const contains = params.get('contains') || '';
    const offset = Number(params.get('offset') || 0);
    const data = await api('models', {category, type, offset, limit: 50, contains});
    return () => {
      setTrail([[category, 'types', {category}], [type, 'models', {category, type}]]);
      const filter = el('input');
      filter.id = 'contains';
      filter.placeholder = 'Name contains';
      filter.value = contains;
      filter.addEventListener('change', () => {
        location.hash = '#/models?' + new URLSearchParams({category, type, contains: filter.value});
      });
      const pager = el('div', 'pager', filter,
                       (data.offset + 1) + '–' + Math.min(data.offset + data.limit, data.total) + ' of ' + data.total);
      if (data.offset > 0)
        pager.append(link('Previous', 'models', {category, type, contains, offset: Math.max(0, offset - data.limit)}));
      if (data.offset + data.limit < data.total)
        pager.append(link('Next', 'models', {category, type, contains, offset: offset + data.limit}));
      const list = data.models.map((m) => el('li', null, link(m.name, 'model', {category, type, model: m.name}),
                                              ' (' + m.solvers + ' solvers)'));
      show('Models of ' + category + ' / ' + type, pager,
           list.length ? el('ul', 'names', ...list) : el('p', null, 'No models.'));
    };
  }

  function parametersTable(parameters) {
    return table(['name', 'type', 'mode', 'default', 'lower', 'upper', 'options', 'description'],
                 parameters.map((p) => [p.name, p.type, p.mode, p.default, p.lower, p.upper, p.options.join(', '),
                                        p.description]));
  }

  function portsTable(ports) {
    return table(['name', 'type', 'direction', 'description'],
                 ports.map((p) => [p.name, p.type, p.direction, p.description]));
  }

  async function modelPage(params) {
    const where = {category: params.get('category'), type: params.get('type'), model: params.get('model')};
    const data = await api('model', where);
    return () => {
      setTrail([[where.category, 'types', {category: where.category}],
                [where.type, 'models', {category: where.category, type: where.type}],
                [where.model, 'model', where]]);
      const solvers = data.solvers.map((name) => el('li', null, link(name, 'solver', {...where, solver: name})));
      show(data.name, el('p', 'text', data.description),
           el('h2', null, 'Solvers'), solvers.length ? el('ul', 'names', ...solvers) : el('p', null, 'No solvers.'),
           el('h2', null, 'Parameters'), parametersTable(data.parameters),
           el('h2', null, 'Ports'), portsTable(data.ports),
           el('h2', null, 'Species'), names(data.species, 'No species.'));
    };
  }

  async function solverPage(params) {
    const where = {category: params.get('category'), type: params.get('type'), model: params.get('model'),
                   solver: params.get('solver')};
    const data = await api('solver', where);
    return () => {
      const model = {category: where.category, type: where.type, model: where.model};
      setTrail([[where.category, 'types', {category: where.category}],
                [where.type, 'models', {category: where.category, type: where.type}],
                [where.model, 'model', model], [where.solver, 'solver', where]]);
      const surfaces = data.surfaces.map((name) => el('li', null, link(name, 'surface', {...where, surface: name})));
      show(data.name, el('p', 'text', data.description),
           el('p', null, 'Command: ', el('code', null, data.command)),
           el('h2', null, 'Surfaces'), surfaces.length ? el('ul', 'names', ...surfaces) : el('p', null, 'No surfaces.'),
           el('h2', null, 'Files'), names(data.files, 'No files.'),
           el('h2', null, 'Instances'), names(data.instances.map(String), 'No instances.'),
           el('h2', null, 'Parameters'), parametersTable(data.parameters),
           el('h2', null, 'Ports'), portsTable(data.ports),
           el('h2', null, 'Species'), names(data.species, 'No species.'));
    };
  }

  // A plot's canvas, and below it a button that shows its numbers as a table
  // and a link that downloads them as CSV.
  function plotBlock(id, csvParams, tableOf) {
    const canvas = el('canvas');
    canvas.id = id;
    const holder = el('div', 'plot', canvas);
    const button = el('button', null, 'Show the numbers');
    button.type = 'button';
    button.id = id + '-numbers';
    const csv = el('a', null, 'CSV');
    csv.href = '/api/surface.csv?' + new URLSearchParams(csvParams);
    csv.id = id + '-csv';
    const numbers = el('div');
    numbers.hidden = true;
    button.addEventListener('click', () => {
      numbers.hidden = !numbers.hidden;
      if (!numbers.hidden) numbers.replaceChildren(tableOf());
      button.textContent = numbers.hidden ? 'Show the numbers' : 'Hide the numbers';
    });
    return {canvas, block: el('div', null, holder, el('div', 'tools', button, csv), numbers)};
  }

  async function surfacePage(params) {
    const where = {category: params.get('category'), type: params.get('type'), model: params.get('model'),
                   solver: params.get('solver'), surface: params.get('surface')};
    const data = await api('surface', where);
    const first = data.modes ? await api('mode', {...where, mode: 0}) : null;
    return () => {
      const model = {category: where.category, type: where.type, model: where.model};
      setTrail([[where.category, 'types', {category: where.category}],
                [where.type, 'models', {category: where.category, type: where.type}],
                [where.model, 'model', model], [where.solver, 'solver', {...model, solver: where.solver}],
                [where.surface, 'surface', where]]);
      const summary = el('p', null, data.reports.length + ' reports (' + data.reports.join(', ') + '), ' +
                                    data.modes + ' PCA modes.');
      if (!data.modes) {
        show('Surface ' + data.name, summary, el('p', null, 'No PCA modes yet: nothing to plot.'));
        return;
      }
      const singular = plotBlock('singular', {...where, part: 'singular'},
                                 () => table(['rank', 'mode', 'singular value', 'share (%)'],
                                             data.singular.map((row, rank) => [rank + 1, row.mode, row.value,
                                                                               (100 * row.share).toFixed(3)]), true));
      const amplitudes = plotBlock('amplitudes', {...where, part: 'amplitudes'},
                                   () => table(['report'].concat(data.singular.map((_, mode) => 'mode ' + mode)),
                                               data.amplitudes.map((row) => [row.report].concat(row.values)), true));
      let shown = first;
      const modePlot = plotBlock('mode-plot', {...where, part: 'mode', mode: 0},
                                 () => table(['node', shown.axes[0], shown.axes[1], 'value'],
                                             shown.points.map((point, node) => [node].concat(point)), true));
      const choice = el('select');
      choice.id = 'mode-choice';
      for (let mode = 0; mode < data.modes; ++mode) choice.appendChild(el('option', null, 'mode ' + mode));
      const note = el('p', null);
      const describe = () => {
        note.textContent = shown.points.length + ' nodes drawn (' + shown.nodes + ' node positions, ' +
                           shown.values + ' values), projected on ' + shown.axes.join(' and ') + '.';
      };
      choice.addEventListener('change', async () => {
        shown = await api('mode', {...where, mode: choice.selectedIndex});
        modePlot.block.querySelector('a').href =
            '/api/surface.csv?' + new URLSearchParams({...where, part: 'mode', mode: choice.selectedIndex});
        TalixPlots.mode(modePlot.canvas, shown);
        describe();
      });
      describe();
      show('Surface ' + data.name, summary,
           el('h2', null, 'Singular values, largest first, with each one\u2019s share of their total'),
           singular.block,
           el('h2', null, 'Modal amplitudes across the reports'), amplitudes.block,
           el('h2', null, 'A mode on the surface\u2019s nodes'), el('p', null, choice), note, modePlot.block);
      TalixPlots.singular(singular.canvas, data.singular);
      TalixPlots.amplitudes(amplitudes.canvas, data.modes, data.amplitudes);
      TalixPlots.mode(modePlot.canvas, shown);
    };
  }

  const pages = {'': categoriesPage, types: typesPage, models: modelsPage, model: modelPage, solver: solverPage,
                 surface: surfacePage};

  async function route() {
    const mine = ++generation;
    const [path, query] = location.hash.replace(/^#\/?/, '').split('?');
    const params = new URLSearchParams(query || '');
    const pageOf = pages[path] || categoriesPage;
    page.setAttribute('aria-busy', 'true');
    try {
      const draw = await pageOf(params);
      if (mine === generation) draw();
    } catch (error) {
      if (!(error instanceof LoggedOut) && mine === generation) show('Not shown', el('p', 'error', error.message));
    } finally {
      if (mine === generation) page.removeAttribute('aria-busy');
    }
  }

  // ---- session -------------------------------------------------------------------------

  function showLogin() {
    loginForm.hidden = false;
    page.replaceChildren();
    trail.replaceChildren();
    document.getElementById('who').textContent = '';
    document.getElementById('logout').hidden = true;
  }

  function loggedIn(user) {
    loginForm.hidden = true;
    document.getElementById('who').textContent = visible(user);
    document.getElementById('logout').hidden = false;
  }

  loginForm.addEventListener('submit', async (event) => {
    event.preventDefault();
    const password = document.getElementById('password');
    const error = document.getElementById('login-error');
    try {
      const answer = await post('login', {user: document.getElementById('user').value, password: password.value});
      password.value = '';
      error.textContent = '';
      loggedIn(answer.user);
      route();
    } catch (failure) {
      password.value = '';
      error.textContent = failure.message;
    }
  });

  document.getElementById('logout').addEventListener('click', async () => {
    await post('logout', {}).catch(() => {});
    showLogin();
  });

  window.addEventListener('hashchange', route);
  api('session').then((answer) => {
    loggedIn(answer.user);
    route();
  }, () => {});
})();
