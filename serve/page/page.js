// The status page: asks /status.json every few seconds and updates the figures in place. Names
// from the folder go in as text only, never as markup.
'use strict';

const POLL_MS = 5000;
const REQUEST_LIMIT_MS = 10000;

const byId = (id) => document.getElementById(id);
// What each list shows now, as the status gave it.
const shownLists = new Map();

function setText(id, text) {
  const element = byId(id);
  if (element.textContent !== text) {
    element.textContent = text;
  }
}

// Times are shown on the camera's wall clock, as the folder's ISO times carry it, whatever the
// zone of the phone that looks.
const dateOf = (iso) => iso.slice(0, 10);
const clockOf = (iso) => iso.slice(11, 16);

function shownTime(iso, today) {
  return dateOf(iso) === today ? clockOf(iso) : `${dateOf(iso)} ${clockOf(iso)}`;
}

function plural(count, one, many) {
  return `${count.toLocaleString()} ${count === 1 ? one : many}`;
}

function oneDecimal(value) {
  return value.toLocaleString(undefined, {
    minimumFractionDigits: 1,
    maximumFractionDigits: 1
  });
}

function shownBytes(bytes) {
  const units = ['bytes', 'KB', 'MB', 'GB', 'TB'];
  let value = bytes;
  let unit = 0;
  while (value >= 1024 && unit < units.length - 1) {
    value /= 1024;
    unit += 1;
  }
  return unit === 0 ? `${value} bytes` : `${oneDecimal(value)} ${units[unit]}`;
}

function shownFree(mb) {
  return mb >= 1024 ? `${oneDecimal(mb / 1024)} GB free` : `${mb.toLocaleString()} MB free`;
}

function shownDaysLeft(days) {
  if (days === null) {
    return '';
  }
  return days < 1 ? '(less than a day left)' :
    `(about ${plural(Math.round(days), 'day', 'days')} left)`;
}

// A range of the schedule: "06:12–20:40"; an end at the next midnight is the day's 24:00.
function shownRange(range) {
  const end = dateOf(range.end) !== dateOf(range.start) && clockOf(range.end) === '00:00' ?
    '24:00' : clockOf(range.end);
  return `${clockOf(range.start)}–${end}`;
}

function showLatest(latest, today) {
  const image = byId('latest');
  byId('no-frame').hidden = latest !== null;
  if (latest === null) {
    image.removeAttribute('src');
    image.removeAttribute('data-loaded');
    image.dataset.file = '';
    setText('latest-time', '–');
    return;
  }
  setText('latest-time', shownTime(latest.time, today));
  // The picture is asked for again only when another frame is the latest.
  if (image.dataset.file !== latest.file) {
    image.dataset.file = latest.file;
    image.removeAttribute('data-loaded');
    image.src = `/latest.jpg?v=${encodeURIComponent(latest.file)}`;
  }
}

// Rebuilds a list only when what it lists has changed, so that a link being tapped stays put.
function showList(id, entries, emptyText, makeItem) {
  const key = JSON.stringify(entries);
  if (shownLists.get(id) === key) {
    return;
  }
  shownLists.set(id, key);
  const items = entries.map(makeItem);
  if (items.length === 0) {
    const empty = document.createElement('li');
    empty.className = 'empty';
    empty.textContent = emptyText;
    items.push(empty);
  }
  byId(id).replaceChildren(...items);
}

function videoItem(video, today) {
  const item = document.createElement('li');
  const link = document.createElement('a');
  link.href = video.url;
  link.textContent = video.name;
  const about = document.createElement('span');
  about.className = 'about';
  about.textContent = `${shownBytes(video.size)} · ${shownTime(video.time, today)}`;
  item.append(link, about);
  return item;
}

function pictureItem(picture) {
  const item = document.createElement('li');
  const link = document.createElement('a');
  link.href = picture.url;
  const image = document.createElement('img');
  image.src = picture.url;
  image.alt = picture.name;
  image.loading = 'lazy';
  const name = document.createElement('span');
  name.textContent = picture.name.replace(/^days\//, '');
  link.append(image, name);
  item.append(link);
  return item;
}

// What each trouble's code is called on the page; its message says the rest.
const TROUBLE_NAMES = {
  stalled: 'Capture stalled',
  camera: 'Camera failed',
  disk: 'Disk filling up',
  daily: 'Daily video missing',
  dark: 'Frames dark in daylight'
};

function troubleItem(trouble, today) {
  const item = document.createElement('li');
  const name = document.createElement('strong');
  name.textContent = TROUBLE_NAMES[trouble.code] ?? trouble.code;
  const since = document.createElement('span');
  since.className = 'about';
  since.textContent = ` since ${shownTime(trouble.since, today)}`;
  const message = document.createElement('p');
  message.textContent = trouble.message;
  item.append(name, since, message);
  return item;
}

function show(status) {
  const today = status.updated === null ? '' : dateOf(status.updated);
  byId('troubles').hidden = status.troubles.length === 0;
  showList('trouble-list', status.troubles, '', (trouble) => troubleItem(trouble, today));
  setText('frames', plural(status.frames, 'frame', 'frames'));
  showLatest(status.latest, today);
  setText('free', status.free_mb === null ? 'free space unknown' : shownFree(status.free_mb));
  setText('days-left', shownDaysLeft(status.days_left));
  setText('capturing', status.capturing ? 'capturing' : 'outside the schedule');
  const next = status.next_capture;
  setText('next-capture', next === null ? '' :
    `, next ${status.capturing ? 'frame ' : ''}${shownTime(next, today)}`);
  setText('today', status.today.length === 0 ? 'no capture today' :
    status.today.map(shownRange).join(', '));
  setText('left-out', status.left_out_today === 0 ? 'none' :
    plural(status.left_out_today, 'frame', 'frames'));
  showList('videos', status.videos, 'No videos yet', (video) => videoItem(video, today));
  showList('pictures', status.pictures, 'No day pictures yet', pictureItem);
}

async function poll() {
  const abort = new AbortController();
  const limit = setTimeout(() => abort.abort(), REQUEST_LIMIT_MS);
  try {
    const response = await fetch('/status.json', {
      cache: 'no-store',
      credentials: 'same-origin',
      signal: abort.signal
    });
    if (!response.ok) {
      throw new Error(`status ${response.status}`);
    }
    show(await response.json());
    byId('connection').hidden = true;
  } catch (error) {
    byId('connection').hidden = false;
  } finally {
    clearTimeout(limit);
    setTimeout(poll, POLL_MS);
  }
}

byId('latest').addEventListener('load', (event) => {
  const image = event.target;
  image.dataset.loaded = `${image.naturalWidth}x${image.naturalHeight}`;
});
poll();
