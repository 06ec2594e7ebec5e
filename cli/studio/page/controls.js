// The studio page's parameter controls and the values behind them, made
// from the parameters the module registers, as the server describes them
// (/api/session): nothing about a parameter is written here. Each control
// holds its option's track (a value, or keys at frames) and shows the value
// the server sent back for the current frame. Loaded before studio.js,
// which holds the page's state and calls these when the session arrives.
'use strict';

// ---- values ----

function valueText(param, value) {
  return param.kind === 'checkbox' ? (value ? 'on' : 'off') : String(value);
}

function trackText(param, track) {
  if (!track.keyed) {
    return valueText(param, track.value);
  }
  return [...track.keys.entries()].sort((a, b) => a[0] - b[0])
      .map(([frame, value]) => `${valueText(param, value)}@${frame}`).join(',');
}

// Every value that is keyed or not at its default, as the command line
// writes it.
function valuesForServer() {
  const values = {};
  for (const param of studio.params) {
    const track = studio.tracks.get(param.option);
    if (track.keyed || track.value !== param.default) {
      values[param.option] = trackText(param, track);
    }
  }
  return values;
}

function currentValue(param) {
  const track = studio.tracks.get(param.option);
  if (!track.keyed) {
    return track.value;
  }
  if (track.keys.has(studio.frame)) {
    return track.keys.get(studio.frame);
  }
  return param.option in studio.shown ? studio.shown[param.option] : track.value;
}

function shownNumber(param, value) {
  return Number.isInteger(value) ? String(value) : String(Number(value.toFixed(Math.max(param.decimals, 4))));
}

// Every parameter at its default, then the values given: each option's
// keys as [frame, value] pairs.
function applyValues(values) {
  for (const param of studio.params) {
    studio.tracks.set(param.option, {keyed: false, value: param.default, keys: new Map()});
  }
  for (const [option, keys] of Object.entries(values || {})) {
    const track = studio.tracks.get(option);
    if (!track || keys.length === 0) {
      continue;
    }
    if (keys.length === 1) {
      track.value = keys[0][1];
    } else {
      track.keyed = true;
      track.keys = new Map(keys.map(([frame, value]) => [frame, value]));
    }
  }
  studio.shown = {};
  studio.params.forEach(showControl);
}

function setValue(param, value, since) {
  const track = studio.tracks.get(param.option);
  if (track.keyed) {
    track.keys.set(studio.frame, value);
  } else {
    track.value = value;
  }
  showControl(param);
  requestRender(since);
}

function toggleKey(param) {
  const track = studio.tracks.get(param.option);
  const value = currentValue(param);
  if (!track.keyed) {
    track.keyed = true;
    track.keys = new Map([[studio.frame, value]]);
  } else if (track.keys.has(studio.frame)) {
    track.keys.delete(studio.frame);
    if (track.keys.size === 0) {
      track.keyed = false;
      track.value = value;
    }
  } else {
    track.keys.set(studio.frame, value);
  }
  showControl(param);
  requestRender(performance.now());
}

function resetParam(param) {
  studio.tracks.set(param.option, {keyed: false, value: param.default, keys: new Map()});
  showControl(param);
  requestRender(performance.now());
}

// ---- controls ----

function element(tag, properties = {}, children = []) {
  const made = Object.assign(document.createElement(tag), properties);
  made.append(...children);
  return made;
}

function stepOf(param) {
  return param.kind === 'checkbox' ? 1 : 10 ** -param.decimals;
}

// Arrow keys one step (Shift: ten), Page Up/Down a tenth of the range,
// Home/End its ends.
function keyboardStep(param, event) {
  const step = stepOf(param);
  const span = param.maximum - param.minimum;
  const moves = {
    ArrowRight: step, ArrowUp: step, ArrowLeft: -step, ArrowDown: -step,
    PageUp: span / 10, PageDown: -span / 10,
  };
  let value;
  if (event.key === 'Home' || event.key === 'End') {
    value = event.key === 'Home' ? param.minimum : param.maximum;
  } else if (event.key in moves) {
    const move = moves[event.key] * (event.shiftKey && event.key.startsWith('Arrow') ? 10 : 1);
    const stepped = Math.round((currentValue(param) + move) / step) * step;
    value = Math.min(param.maximum, Math.max(param.minimum, Number(stepped.toFixed(param.decimals))));
  } else {
    return;
  }
  event.preventDefault();
  setValue(param, value, event.timeStamp);
}

function makeControl(param) {
  const id = `p-${param.option}`;
  const row = element('div', {className: 'param'});
  Object.assign(row.dataset, {
    option: param.option, name: param.name, group: param.group, kind: param.kind,
    minimum: param.minimum, maximum: param.maximum, default: param.default, decimals: param.decimals,
  });
  const label = element('label', {htmlFor: id, textContent: param.name,
    title: param.group ? `"${param.name}" in "${param.group}"` : `"${param.name}"`});
  const key = element('button', {type: 'button', className: 'key', textContent: '\u25C6',
    title: 'Key this value at the current frame (K)'});
  const reset = element('button', {type: 'button', className: 'reset', textContent: '\u21BA',
    title: `Reset to ${param.default_text}`});
  key.addEventListener('click', () => toggleKey(param));
  reset.addEventListener('click', () => resetParam(param));
  const head = element('div', {className: 'param-head'}, [label]);
  const description = element('div', {className: 'param-desc',
    textContent: `${param.description} \u00B7 ${param.range_text}, default ${param.default_text} \u00B7 --${param.option}`});
  if (param.kind === 'checkbox') {
    const box = element('input', {type: 'checkbox', id, className: 'switch'});
    box.addEventListener('change', (event) => setValue(param, box.checked ? 1 : 0, event.timeStamp));
    head.prepend(box);
    head.append(key, reset);
    row.append(head, description);
    return row;
  }
  const attributes = {min: param.minimum, max: param.maximum, step: stepOf(param)};
  const slider = element('input', {type: 'range', id, className: 'slider', ...attributes});
  const number = element('input', {type: 'number', className: 'number', ...attributes});
  number.setAttribute('aria-label', param.name);
  slider.addEventListener('keydown', (event) => keyboardStep(param, event));
  slider.addEventListener('input', (event) => setValue(param, Number(slider.value), event.timeStamp));
  number.addEventListener('input', (event) => {
    if (number.value !== '' && Number.isFinite(Number(number.value))) {
      setValue(param, Number(number.value), event.timeStamp);
    }
  });
  head.append(number, key, reset);
  row.append(head, slider, description);
  return row;
}

function rowOf(param) {
  return document.querySelector(`.param[data-option="${param.option}"]`);
}

function showControl(param) {
  const row = rowOf(param);
  const track = studio.tracks.get(param.option);
  const value = currentValue(param);
  if (param.kind === 'checkbox') {
    row.querySelector('.switch').checked = value !== 0;
  } else {
    const slider = row.querySelector('.slider');
    const number = row.querySelector('.number');
    if (document.activeElement !== slider) {
      slider.value = value;
    }
    if (document.activeElement !== number) {
      number.value = shownNumber(param, value);
    }
  }
  const key = row.querySelector('.key');
  key.classList.toggle('keyed', track.keyed);
  key.classList.toggle('here', track.keyed && track.keys.has(studio.frame));
  key.hidden = !studio.session.input.numbered;
  row.classList.toggle('changed', track.keyed || track.value !== param.default);
}

// Fieldsets in the host's groups, in registration order.
function buildControls() {
  const form = $('parameters');
  let group = null;
  let container = form;
  for (const param of studio.params) {
    if (param.group !== group) {
      group = param.group;
      container = group ? element('fieldset', {}, [element('legend', {textContent: group})]) : form;
      if (group) {
        form.append(container);
      }
    }
    container.append(makeControl(param));
  }
  form.addEventListener('submit', (event) => event.preventDefault());
}
