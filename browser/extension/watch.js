"use strict";

// Watching: the webRequest listeners. Holding the optional "webRequest"
// permission is the switch: while the extension lacks it, no listener exists
// and the browser passes no request through the extension. The pages'
// switch asks for or gives back the permission; nothing else records it.

const WATCH_PERMISSION = { permissions: ["webRequest"] };

// Requests that may carry a stream: what a media element, a player's
// fetch, a plugin or a tab opened on a media address loads. Images, scripts,
// styles and fonts never do, and a listener on them slows every page.
const MAY_CARRY_STREAMS = {
  urls: ["<all_urls>"],
  types: ["main_frame", "sub_frame", "media", "xmlhttprequest", "object", "other"],
};

// A player's fetches are most of a busy page's requests, and each event a
// request wakes costs the page: their headers are kept only where the address
// names a manifest or media file. The responses of the others are still
// judged, and sent with what the browser sends by default (withHiddenHeaders).
const KEEP_HEADERS = [
  { urls: ["<all_urls>"], types: ["main_frame", "sub_frame", "media", "object", "other"] },
  { urls: [...MANIFEST_EXTENSIONS, ...MEDIA_EXTENSIONS.keys()].map((e) => "*://*/*." + e + "*"),
    types: ["xmlhttprequest"] },
];

class Watcher {
  // onResponse(details, request): a response of such a request, with the
  // method and headers its request was sent with (or undefined).
  constructor(ext, onResponse) {
    this.ext = ext;
    this.onResponse = onResponse;
    this.requests = new RequestBook();
    this.listeners = null;
    this.headersHidden = false;
  }

  get watching() {
    return this.listeners !== null;
  }

  // Listens when the permission is held; the API exists only then.
  start() {
    const webRequest = this.ext.webRequest;
    if (this.listeners || !webRequest)
      return;
    // Chromium hides Cookie and Referer from listeners unless they ask for
    // every header, and asking makes every request of every page wait for
    // this worker: the stream's cookies and referrer are filled in when it is
    // judged (withHiddenHeaders). Firefox hands them over as sent.
    this.headersHidden = Boolean(webRequest.OnSendHeadersOptions && webRequest.OnSendHeadersOptions.EXTRA_HEADERS);
    // Two events a request at most: each costs the page a message to this
    // worker. A request that fails before its response leaves its entry in
    // the book until the book's bound drops it.
    this.listeners = KEEP_HEADERS.map((filter) => [webRequest.onSendHeaders, (d) => this.requests.remember(d), filter,
                                                  ["requestHeaders"]]);
    this.listeners.push([webRequest.onResponseStarted, (d) => this.onResponse(d, this.requests.take(d.requestId)),
                         MAY_CARRY_STREAMS, ["responseHeaders"]]);
    for (const [event, listener, filter, options] of this.listeners)
      event.addListener(listener, filter, options);
  }

  stop() {
    for (const [event, listener] of this.listeners || []) {
      try {
        event.removeListener(listener);
      } catch (e) {
        // The browser took the API away with the permission, and its listeners with it.
      }
    }
    this.listeners = null;
    this.requests = new RequestBook();
  }
}
