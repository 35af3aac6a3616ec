"use strict";

// The streams each tab played, for the popup's list and for the menu entry
// on a media element: only those Vidarro's host took (they carry the number
// the host keeps them under). Bounded per tab and in tabs; a tab's list goes
// when the tab closes or loads another page.

const STREAMS_PER_TAB = 50;
const TABS_KEPT = 100;
// As the window's list: smaller responses are a player's probes, not what was played.
const SMALLEST_LISTED = 100000;
const SEGMENT_EXTENSIONS = new Set(["ts", "m4s"]);

class TabStreams {
  constructor() {
    this.tabs = new Map(); // tabId -> entries, oldest first
  }

  // entry: { id, url, kind, quality, size, name, parts }. False when not listed.
  add(tabId, entry) {
    if (typeof tabId !== "number" || tabId < 0)
      return false;
    const manifest = entry.kind === "HLS" || entry.kind === "DASH";
    if (!manifest && (SEGMENT_EXTENSIONS.has(pathExtension(entry.url)) ||
                      (entry.size >= 0 && entry.size < SMALLEST_LISTED)))
      return false;
    let list = this.tabs.get(tabId) || [];
    list = list.filter((e) => e.url !== entry.url);
    list.push(entry);
    while (list.length > STREAMS_PER_TAB)
      list.shift();
    this.tabs.delete(tabId); // re-insert: newest last
    this.tabs.set(tabId, list);
    while (this.tabs.size > TABS_KEPT)
      this.tabs.delete(this.tabs.keys().next().value);
    return true;
  }

  // What the tab shows: a playlist its master names is left out beside it,
  // as the window lists it; a playlist of one quality of its own stays.
  list(tabId) {
    const list = this.tabs.get(tabId) || [];
    const named = new Set(list.flatMap((e) => e.parts || []));
    return list.filter((e) => !named.has(e.url));
  }

  find(tabId, url) {
    return this.list(tabId).find((e) => e.url === url) || null;
  }

  // The stream a player fed its element from: a manifest first, else the largest.
  best(tabId) {
    const list = this.list(tabId);
    const manifests = list.filter((e) => e.kind === "HLS" || e.kind === "DASH");
    if (manifests.length > 0)
      return manifests[manifests.length - 1];
    return list.reduce((a, b) => (!a || b.size > a.size ? b : a), null);
  }

  update(tabId, url, change) {
    const entry = (this.tabs.get(tabId) || []).find((e) => e.url === url);
    if (entry)
      Object.assign(entry, change);
  }

  forget(tabId) {
    this.tabs.delete(tabId);
  }
}

// The last part of an address's path, decoded, or the host.
function addressFileName(address) {
  try {
    const url = new URL(address);
    const segment = url.pathname.slice(url.pathname.lastIndexOf("/") + 1);
    return decodeURIComponent(segment) || url.hostname;
  } catch (e) {
    return address.slice(0, 80);
  }
}

// Playlists an HLS master names at most, kept per manifest.
const PARTS_KEPT = 100;

// The best quality a manifest names ("720p"), and the playlists an HLS
// master at `base` names (its qualities and renditions), as absolute
// addresses. Reads at most the first 256 KiB.
function manifestQuality(text, base) {
  const head = text.slice(0, 262144);
  let height = 0;
  for (const m of head.matchAll(/RESOLUTION=\d+x(\d+)/g))
    height = Math.max(height, Number(m[1]));
  for (const m of head.matchAll(/\sheight="(\d+)"/g))
    height = Math.max(height, Number(m[1]));
  const parts = [];
  if (head.includes("#EXT-X-STREAM-INF")) {
    const lines = head.split(/\r?\n/);
    const named = [];
    lines.forEach((line, i) => {
      const uri = /^#EXT-X-(?:MEDIA|I-FRAME-STREAM-INF):.*\bURI="([^"]*)"/.exec(line);
      if (uri)
        named.push(uri[1]);
      else if (i > 0 && lines[i - 1].startsWith("#EXT-X-STREAM-INF") && line && !line.startsWith("#"))
        named.push(line.trim());
    });
    for (const uri of named.slice(0, PARTS_KEPT)) {
      try {
        parts.push(new URL(uri, base).href);
      } catch (e) {
        // not an address: nothing to leave out
      }
    }
  }
  return { quality: height > 0 ? height + "p" : "", parts };
}
