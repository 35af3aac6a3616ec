"use strict";

// Wiring: webRequest events feed the request book, each response is judged,
// and a media response goes to the host as one message. A Chromium service
// worker loads the other files itself; Firefox lists them in the manifest.
if (typeof importScripts === "function")
  importScripts("requests.js", "media.js", "host.js");

const ext = globalThis.browser || globalThis.chrome;
const requests = new RequestBook();
const host = new HostPort(ext.runtime, showStatus);
// Requests that may carry a stream: what a media element, a player's
// fetch, a plugin or a tab opened on a media address loads. Images, scripts,
// styles and fonts never do, and a listener on them slows every page.
const mayCarryStreams = {
  urls: ["<all_urls>"],
  types: ["main_frame", "sub_frame", "media", "xmlhttprequest", "object", "other"],
};
const TITLE_LIMIT = 512;

// Chromium hides Cookie and Referer from listeners unless asked; Firefox
// has no such option and would refuse the word.
const sendHeadersOptions = ["requestHeaders"];
const extraHeaders = ext.webRequest.OnSendHeadersOptions &&
                     ext.webRequest.OnSendHeadersOptions.EXTRA_HEADERS;
if (extraHeaders)
  sendHeadersOptions.push(extraHeaders);

ext.webRequest.onSendHeaders.addListener((details) => requests.remember(details),
                                         mayCarryStreams, sendHeadersOptions);
ext.webRequest.onResponseStarted.addListener(judgeResponse, mayCarryStreams, ["responseHeaders"]);
ext.webRequest.onCompleted.addListener((details) => requests.forget(details.requestId), mayCarryStreams);
ext.webRequest.onErrorOccurred.addListener((details) => requests.forget(details.requestId), mayCarryStreams);

function judgeResponse(details) {
  const request = requests.take(details.requestId);
  const contentType = headerValue(details.responseHeaders, "content-type");
  if (!mediaKind(details.statusCode, details.url, contentType))
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
  tabOf(details.tabId).then((tab) => {
    if (tab) {
      message.tabTitle = (tab.title || "").slice(0, TITLE_LIMIT);
      message.pageUrl = tab.url || message.pageUrl;
    }
    host.send(message);
  });
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
  ext.action.setBadgeText({ text: status.passed > 0 ? String(status.passed) : "" });
  ext.action.setBadgeBackgroundColor({ color: colour });
}

// Ask at once whether the host answers: the badge shows it from the start,
// and the open port tells Vidarro's window that a browser is connected.
host.probe();

// The popup asks for the status; "probe" also asks the host whether it answers.
ext.runtime.onMessage.addListener((message, sender, sendResponse) => {
  if (!message || message.kind !== "status")
    return false;
  if (message.probe)
    host.probe();
  sendResponse(host.status());
  return false;
});
