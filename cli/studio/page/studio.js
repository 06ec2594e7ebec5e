// The studio's page: its state, the picture, time, and taking a look
// elsewhere. The controls (controls.js) are made from the parameters the
// module registers, as the server describes them (/api/session). Values go to the server in the render
// command's own form ("12", "on", "0@0,400@48"), and the server parses,
// checks and interpolates them with the command's code: the page shows
// the values at the current frame that the server sends back.
//
// One render request at a time: a change made while one runs marks the
// picture stale, and when the answer comes the newest values go out, so
// no queue of stale frames builds up. The time from the input event to
// the new pixels on screen is kept in window.studioLatencies.
'use strict';

const token = new URLSearchParams(location.search).get('token') || '';
const $ = (id) => document.getElementById(id);
const canvas = $('picture');
const context = canvas.getContext('2d');

const studio = {
  session: null,
  params: [],
  tracks: new Map(),  // option -> {keyed, value, keys: Map(frame -> value)}
  shown: {},          // option -> value at the frame of the picture shown
  frame: 0,
  glitched: null,
  glitchedFrame: -1,
  original: null,
  originalFrame: -1,
  compare: 'glitched',
  holdingOriginal: false,
};
window.studioLatencies = [];

function call(path, body, type = 'application/json') {
  const options = {headers: {'X-Shardcast-Token': token}};
  if (body !== undefined) {
    options.method = 'POST';
    options.headers['Content-Type'] = type;
    options.body = typeof body === 'string' ? body : JSON.stringify(body);
  }
  return fetch(path, options);
}

async function refusal(response) {
  try {
    return (await response.json()).error || response.statusText;
  } catch (error) {
    return `${response.status} ${response.statusText}`;
  }
}

function showAlert(text) {
  $('alert').textContent = text;
  $('alert').hidden = !text;
}

// The timing goes into the tooltip, so that the page looks the same from
// one render to the next.
function setStatus(text, timing = '') {
  $('status').textContent = text;
  $('status').title = timing;
}

// A picture as the server frames it: the length of a JSON head, the head,
// then RGBA pixels.
async function framedPicture(response) {
  const buffer = await response.arrayBuffer();
  const headLength = new DataView(buffer).getUint32(0, true);
  const head = JSON.parse(new TextDecoder().decode(new Uint8Array(buffer, 4, headLength)));
  const pixels = new Uint8ClampedArray(buffer, 4 + headLength, head.width * head.height * 4);
  return {head, image: new ImageData(pixels, head.width, head.height)};
}

// ---- the picture ----

let rendering = false;
let stale = false;
let staleSince = 0;

function requestRender(since) {
  stale = true;
  staleSince = since;
  pump();
}

async function pump() {
  if (rendering || !stale) {
    return;
  }
  stale = false;
  rendering = true;
  canvas.dataset.busy = 'true';
  const since = staleSince;
  const body = {frame: studio.frame, values: valuesForServer()};
  try {
    const response = await call('/api/render', body);
    if (response.ok && response.status !== 204) {
      const {head, image} = await framedPicture(response);
      showRendered(head, image, since);
      showAlert(head.warning ? `warning: ${head.warning}` : '');
    } else if (!response.ok) {
      showAlert(await refusal(response));
    }
  } catch (error) {
    showAlert(`The studio does not answer (${error.message}). Is it still running?`);
  }
  rendering = false;
  canvas.dataset.busy = String(stale);
  pump();
}

function showRendered(head, image, since) {
  studio.glitched = image;
  studio.glitchedFrame = head.frame;
  if (head.frame === studio.frame) {
    studio.shown = head.values;
    studio.params.forEach(showControl);
  }
  showDecoder(head.decoder);
  draw();
  // The pixels are on screen once the frame after this one starts.
  requestAnimationFrame(() => requestAnimationFrame(() => {
    const latency = performance.now() - since;
    window.studioLatencies.push(latency);
    canvas.dataset.renders = Number(canvas.dataset.renders) + 1;
    setStatus(`frame ${head.frame}`, `rendered in ${head.milliseconds.toFixed(0)} ms, ` +
              `on screen ${latency.toFixed(0)} ms after the change`);
  }));
  updateCommand();
}

function compareMode() {
  return studio.holdingOriginal ? 'original' : studio.compare;
}

function draw() {
  const glitched = studio.glitched;
  if (!glitched) {
    return;
  }
  if (canvas.width !== glitched.width || canvas.height !== glitched.height) {
    canvas.width = glitched.width;
    canvas.height = glitched.height;
  }
  const original = studio.original && studio.originalFrame === studio.glitchedFrame &&
      studio.original.width === glitched.width && studio.original.height === glitched.height ? studio.original : null;
  const mode = compareMode();
  if (mode === 'original' && original) {
    context.putImageData(original, 0, 0);
  } else {
    context.putImageData(glitched, 0, 0);
    const split = Math.round(glitched.width * Number($('split').value) / 100);
    if (mode === 'split' && original && split > 0) {
      context.putImageData(original, 0, 0, 0, 0, split, glitched.height);
    }
  }
  const line = $('split-line');
  line.hidden = mode !== 'split';
  line.style.left = `${$('split').value}%`;
}

let fetchingOriginal = false;

async function fetchOriginal() {
  if (fetchingOriginal || compareMode() === 'glitched' || studio.originalFrame === studio.frame) {
    return;
  }
  fetchingOriginal = true;
  try {
    const response = await call(`/api/original?frame=${studio.frame}`);
    if (response.ok && response.status !== 204) {
      const {head, image} = await framedPicture(response);
      studio.original = image;
      studio.originalFrame = head.frame;
      draw();
    } else if (!response.ok) {
      showAlert(await refusal(response));
    }
  } catch (error) {
    showAlert(`The studio does not answer (${error.message}).`);
  }
  fetchingOriginal = false;
  fetchOriginal();
}

function showDecoder(decoder) {
  $('decoder-count').textContent = `${decoder.lines.toLocaleString('en')} line${decoder.lines === 1 ? '' : 's'}`;
  const body = $('decoder-kinds').tBodies[0];
  body.replaceChildren(...decoder.kinds.map(({kind, count}) => element('tr', {}, [
    element('td', {textContent: kind}), element('td', {textContent: count.toLocaleString('en')})])));
  const more = decoder.lines > decoder.first.length ? `\n\u2026 and ${decoder.lines - decoder.first.length} more` : '';
  $('decoder-first').textContent = decoder.first.join('\n') + more;
}

// ---- time ----

function setFrame(frame, since) {
  const input = studio.session.input;
  studio.frame = Math.min(input.last, Math.max(input.first, Math.round(frame)));
  $('scrubber').value = studio.frame;
  $('frame-number').value = studio.frame;
  studio.params.forEach(showControl);
  requestRender(since);
  fetchOriginal();
}

function buildTimeline() {
  const input = studio.session.input;
  studio.frame = input.first;
  if (!input.numbered) {
    return;
  }
  $('timeline').hidden = false;
  for (const id of ['scrubber', 'frame-number']) {
    Object.assign($(id), {min: input.first, max: input.last, value: input.first});
  }
  $('frame-last').textContent = `of ${input.first}\u2013${input.last} at ${input.rate} fps`;
  $('scrubber').addEventListener('input', (event) => setFrame(Number($('scrubber').value), event.timeStamp));
  $('frame-number').addEventListener('change', (event) => setFrame(Number($('frame-number').value), event.timeStamp));
  $('frame-back').addEventListener('click', (event) => setFrame(studio.frame - 1, event.timeStamp));
  $('frame-next').addEventListener('click', (event) => setFrame(studio.frame + 1, event.timeStamp));
}

// ---- taking it elsewhere ----

function download(blob, name) {
  const link = element('a', {href: URL.createObjectURL(blob), download: name});
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

function fileNameOf(response, fallback) {
  const match = /filename="([^"]+)"/.exec(response.headers.get('Content-Disposition') || '');
  return match ? match[1] : fallback;
}

let commandSerial = 0;

async function updateCommand() {
  const serial = ++commandSerial;
  const response = await call('/api/command', {frame: studio.frame, values: valuesForServer()});
  if (response.ok && serial === commandSerial) {
    $('command').value = (await response.json()).command;
  }
}

async function copyCommand() {
  await updateCommand();
  const command = $('command');
  command.select();
  try {
    await navigator.clipboard.writeText(command.value);
    setStatus('the render command is on the clipboard');
  } catch (error) {
    setStatus(document.execCommand('copy') ? 'the render command is on the clipboard'
                                           : 'select the command below and copy it');
  }
}

async function exportPicture() {
  const response = await call('/api/export', {frame: studio.frame, values: valuesForServer()});
  if (!response.ok) {
    showAlert(await refusal(response));
    return;
  }
  const name = fileNameOf(response, 'glitched.png');
  download(await response.blob(), name);
  setStatus(`exported ${name}`);
}

async function saveSettings() {
  const response = await call('/api/settings/save', {values: valuesForServer()});
  if (!response.ok) {
    showAlert(await refusal(response));
    return;
  }
  download(await response.blob(), fileNameOf(response, 'shardcast-settings.toml'));
}

async function loadSettings(file) {
  const response = await call(`/api/settings/load?name=${encodeURIComponent(file.name)}`, await file.text(),
                              'text/plain');
  if (!response.ok) {
    showAlert(await refusal(response));
    return;
  }
  applyValues((await response.json()).values);
  showAlert('');
  requestRender(performance.now());
}

async function chooseLook(name) {
  if (!name) {
    return;
  }
  const response = await call(`/api/look?name=${encodeURIComponent(name)}`);
  if (!response.ok) {
    showAlert(await refusal(response));
    return;
  }
  applyValues((await response.json()).values);
  requestRender(performance.now());
}

// ---- a whole clip ----

function showClip(progress) {
  const running = progress.state === 'running';
  $('clip-start').disabled = running;
  $('clip-stop').disabled = !running;
  $('clip-progress').max = Math.max(1, progress.total);
  $('clip-progress').value = progress.done;
  const words = {running: 'rendering', done: 'written', failed: 'failed', cancelled: 'stopped', idle: ''};
  $('clip-state').textContent = progress.state === 'idle' ? '' :
      `${words[progress.state]}: ${progress.done}/${progress.total} frames \u2192 ${progress.output}`;
  $('clip-message').textContent = progress.message;
  if (running) {
    setTimeout(followClip, 250);
  }
}

async function followClip() {
  const response = await call('/api/clip');
  if (response.ok) {
    showClip(await response.json());
  }
}

async function startClip() {
  const response = await call('/api/clip', {values: valuesForServer(), format: $('clip-format').value});
  if (!response.ok) {
    showAlert(await refusal(response));
    return;
  }
  showClip(await response.json());
}

function buildClipRender() {
  const formats = studio.session.clip_formats;
  if (formats.length === 0) {
    return;
  }
  $('clip-render').hidden = false;
  $('clip-format').append(...formats.map((format) => element('option', {value: format,
    textContent: format === 'png' ? 'PNG pictures, in a new folder' : `.${format} video`})));
  $('clip-state').textContent = `into ${studio.session.output_folder}`;
  $('clip-start').addEventListener('click', startClip);
  $('clip-stop').addEventListener('click', async () => showClip(await (await call('/api/clip/cancel', {})).json()));
  followClip();
}

// ---- keys and start ----

function typing(target) {
  return target.matches('input[type=number], textarea, select') || target.isContentEditable;
}

function listenToKeys() {
  document.addEventListener('keydown', (event) => {
    if (typing(event.target) || event.ctrlKey || event.metaKey || event.altKey) {
      return;
    }
    if (event.key === 'o' || event.key === 'O') {
      studio.holdingOriginal = true;
      fetchOriginal();
      draw();
    } else if ((event.key === '[' || event.key === ']') && studio.session.input.numbered) {
      setFrame(studio.frame + (event.key === ']' ? 1 : -1), event.timeStamp);
    } else if ((event.key === 'k' || event.key === 'K') && studio.session.input.numbered) {
      const row = event.target.closest && event.target.closest('.param');
      const param = row && studio.params.find((p) => p.option === row.dataset.option);
      if (param) {
        toggleKey(param);
      }
    }
  });
  document.addEventListener('keyup', (event) => {
    if (event.key === 'o' || event.key === 'O') {
      studio.holdingOriginal = false;
      draw();
    }
  });
}

async function start() {
  const response = await call('/api/session');
  if (!response.ok) {
    showAlert(await refusal(response));
    setStatus('');
    return;
  }
  studio.session = await response.json();
  studio.params = studio.session.parameters;
  $('input-description').textContent = studio.session.input.description;
  document.title = `Shardcast studio \u2013 ${studio.session.input.description}`;
  buildTimeline();
  buildControls();
  applyValues(studio.session.start);
  $('looks').append(...studio.session.looks.map((name) => element('option', {value: name, textContent: name})));
  $('looks').addEventListener('change', () => chooseLook($('looks').value));
  $('reset-all').addEventListener('click', () => {
    applyValues({});
    requestRender(performance.now());
  });
  for (const radio of document.querySelectorAll('input[name=compare]')) {
    radio.addEventListener('change', () => {
      studio.compare = radio.value;
      $('split').disabled = studio.compare !== 'split';
      fetchOriginal();
      draw();
    });
  }
  $('split').addEventListener('input', draw);
  $('copy-command').addEventListener('click', copyCommand);
  $('export').addEventListener('click', exportPicture);
  $('save-settings').addEventListener('click', saveSettings);
  $('load-settings').addEventListener('change', () => {
    const file = $('load-settings').files[0];
    $('load-settings').value = '';
    if (file) {
      loadSettings(file);
    }
  });
  buildClipRender();
  listenToKeys();
  requestRender(performance.now());
}

start();
