"use strict";

// Wiring: the menu entry, the shortcut and the popup's questions always;
// the webRequest events only while watching (watch.js). A media response
// goes to the host as one message, and the tab lists it once the host took
// it. A Chromium service worker loads the other files itself; Firefox lists
// them in the manifest.
if (typeof importScripts === "function")
  importScripts("requests.js", "media.js", "host.js", "tabs.js", "watch.js", "actions.js");

const ext = globalThis.browser || globalThis.chrome;
const host = new HostPort(ext.runtime, showStatus);
const tabStreams = new TabStreams();
const watcher = new Watcher(ext, judgeResponse);
const MENU_ID = "vidarro-download";

function judgeResponse(details, request) {
  // The extension's own reading of a manifest is no stream the user played.
  const origin = details.initiator || details.originUrl || "";
  if (origin.startsWith(ext.runtime.getURL("").replace(/\/$/, "")))
    return;
  if (details.type === "main_frame") {
    tabStreams.forget(details.tabId);
    showCount(details.tabId);
  }
  const contentType = headerValue(details.responseHeaders, "content-type");
  const kind = mediaKind(details.statusCode, details.url, contentType);
  if (!kind)
    return;
  const length = headerValue(details.responseHeaders, "content-length").trim();
  const message = {
    kind: "stream",
    url: details.url,
    method: request ? request.method : details.method,
    status: details.statusCode,
    requestHeaders: request ? request.headers : [],
    contentType: contentType,
    contentLength: /^[0-9]{1,15}$/.test(length) ? Number(length) : -1,
    contentRange: headerValue(details.responseHeaders, "content-range"),
    tabTitle: "",
    pageUrl: details.documentUrl || details.initiator || "",
    time: Math.round(details.timeStamp || Date.now()),
  };
  tabOf(details.tabId).then(async (tab) => {
    if (tab) {
      message.tabTitle = (tab.title || "").slice(0, TITLE_LIMIT);
      message.pageUrl = tab.url || message.pageUrl;
    }
    if (!request || watcher.headersHidden)
      message.requestHeaders = await withHiddenHeaders(message.requestHeaders, details.url, details.type === "main_frame"
        ? "" : defaultReferrer(details.url, details.initiator, details.documentUrl || (tab && tab.url)), tab);
    return host.send(message);
  }).then((answer) => {
    if (answer.ok && typeof answer.id === "number")
      listStream(details.tabId, message, kind, answer.id);
  });
}

function listStream(tabId, message, kind, id) {
  const total = /\/([0-9]{1,15})$/.exec(message.contentRange);
  const size = total ? Number(total[1]) : message.contentLength;
  const manifest = kind === "manifest";
  const shown = manifest ? (/mpd$|dash/i.test(pathExtension(message.url) + message.contentType) ? "DASH" : "HLS")
                         : kind;
  const entry = { id, url: message.url, kind: shown, quality: "", size, parts: [],
                  name: message.tabTitle || addressFileName(message.url) };
  if (!tabStreams.add(tabId, entry))
    return;
  showCount(tabId);
  if (!manifest)
    return;
  // The best quality is in the manifest: read once, as the page would.
  fetch(message.url, { credentials: "include" })
    .then((response) => (response.ok ? response.text() : ""))
    .then((text) => {
      tabStreams.update(tabId, message.url, manifestQuality(text, message.url));
      showCount(tabId); // the playlists the master names leave the list
    }, () => {});
}

// The badge of a tab counts what its popup lists.
function showCount(tabId) {
  if (typeof tabId !== "number" || tabId < 0)
    return;
  const count = tabStreams.list(tabId).length;
  Promise.resolve(ext.action.setBadgeText({ tabId, text: count > 0 ? String(count) : "" })).catch(() => {});
}

// The tab a request belongs to, or null (requests of workers have none).
function tabOf(tabId) {
  if (typeof tabId !== "number" || tabId < 0)
    return Promise.resolve(null);
  return ext.tabs.get(tabId).catch(() => null);
}

function showStatus() {
  const status = host.status();
  const colour = { answering: "#2e7d32", absent: "#c62828" }[status.state] || "#757575";
  ext.action.setBadgeBackgroundColor({ color: colour });
}

// Both browsers add and remove the webRequest API of a running extension
// with the permission, so the listeners follow at once (Chromium passes
// requests through them from its next start: see switch.js).
function watchingChanged(permissions) {
  if (!(permissions.permissions || []).includes("webRequest"))
    return;
  ext.permissions.contains(WATCH_PERMISSION).then((on) => (on ? watcher.start() : watcher.stop()));
}

// Listeners first, while the worker starts: Chromium wakes it for these events only.
ext.contextMenus.onClicked.addListener((info, tab) => { onMenu(info, tab); });
ext.commands.onCommand.addListener((command, tab) => {
  if (command === "download-page" && tab)
    openAddress(tab.url || "");
});
ext.tabs.onRemoved.addListener((tabId) => tabStreams.forget(tabId));
ext.permissions.onAdded.addListener(watchingChanged);
ext.permissions.onRemoved.addListener(watchingChanged);
watcher.start();
Promise.resolve(ext.contextMenus.removeAll()).then(() => {
  ext.contextMenus.create({ id: MENU_ID, title: "Download with Vidarro", contexts: ["page", "link", "video", "audio"] });
});

// Ask at once whether the host answers: the badge's colour shows it from the start,
// and the open port tells Vidarro's window that a browser is connected.
host.probe();

// The popup's and the options page's questions. "probe" also asks the host whether it answers.
ext.runtime.onMessage.addListener((message, sender, sendResponse) => {
  if (!message || sender.id !== ext.runtime.id)
    return false;
  if (message.kind === "status") {
    if (message.probe)
      host.probe();
    sendResponse(Object.assign(host.status(), { watching: watcher.watching,
                                                streams: tabStreams.list(message.tabId) }));
    return false;
  }
  if (message.kind === "save" && Array.isArray(message.ids)) {
    saveStreams(message.tabId, message.ids).then(sendResponse);
    return true;
  }
  return false;
});
