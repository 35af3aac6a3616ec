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

class Watcher {
  // onResponse(details, request): a response of such a request, with the
  // method and headers its request was sent with (or undefined).
  constructor(ext, onResponse) {
    this.ext = ext;
    this.onResponse = onResponse;
    this.requests = new RequestBook();
    this.listeners = null;
  }

  get watching() {
    return this.listeners !== null;
  }

  // Listens when the permission is held; the API exists only then.
  start() {
    const webRequest = this.ext.webRequest;
    if (this.listeners || !webRequest)
      return;
    // Chromium hides Cookie and Referer from listeners unless asked; Firefox
    // has no such option and would refuse the word.
    const sendOptions = ["requestHeaders"];
    const extra = webRequest.OnSendHeadersOptions && webRequest.OnSendHeadersOptions.EXTRA_HEADERS;
    if (extra)
      sendOptions.push(extra);
    this.listeners = [
      [webRequest.onSendHeaders, (d) => this.requests.remember(d), sendOptions],
      [webRequest.onResponseStarted, (d) => this.onResponse(d, this.requests.take(d.requestId)), ["responseHeaders"]],
      [webRequest.onCompleted, (d) => this.requests.forget(d.requestId)],
      [webRequest.onErrorOccurred, (d) => this.requests.forget(d.requestId)],
    ];
    for (const [event, listener, options] of this.listeners)
      options ? event.addListener(listener, MAY_CARRY_STREAMS, options) : event.addListener(listener, MAY_CARRY_STREAMS);
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
