"use strict";

// The user's actions: "Download with Vidarro" on a page, a link or a media
// element, the shortcut for the page, and the popup's saves. Each becomes
// one message to the host naming a web address or streams the host holds.

const TITLE_LIMIT = 512;

function isWebAddress(address) {
  return typeof address === "string" && /^https?:\/\//i.test(address);
}

// The menu entry's handler. Resolves with the host's answer.
function onMenu(info, tab) {
  const tabId = tab && typeof tab.id === "number" ? tab.id : -1;
  if (info.mediaType === "video" || info.mediaType === "audio")
    return saveMedia(info.srcUrl, info.pageUrl || (tab && tab.url) || "", tab, tabId);
  return openAddress(info.linkUrl || info.pageUrl || (tab && tab.url) || "");
}

// A page or link: Vidarro's download page with its formats.
function openAddress(address) {
  if (!isWebAddress(address))
    return Promise.resolve({ ok: false, error: "only web pages can be sent to Vidarro" });
  return host.send({ kind: "open", url: address });
}

// A media element: the stream the tab played from that address, else (a
// player's blob) the stream the tab played for it, else the element's own
// address with the page's cookies.
async function saveMedia(source, pageUrl, tab, tabId) {
  const listed = tabStreams.find(tabId, source) || (isWebAddress(source) ? null : tabStreams.best(tabId));
  if (listed)
    return host.send({ kind: "save", ids: [listed.id] });
  if (!isWebAddress(source))
    return { ok: false, error: "this player's stream was not watched: turn watching on and play it again" };
  return host.send({
    kind: "media",
    url: source,
    requestHeaders: await withHiddenHeaders([], source, pageUrl, tab),
    tabTitle: ((tab && tab.title) || "").slice(0, TITLE_LIMIT),
    pageUrl: isWebAddress(pageUrl) ? pageUrl : "",
  });
}

// The headers of a request with those the browser sends by default and did
// not show: its name, the given referrer, the cookie store's cookies for the address.
async function withHiddenHeaders(headers, address, referrer, tab) {
  const has = (name) => headers.some((h) => h.name.toLowerCase() === name);
  const completed = headers.slice();
  if (!has("user-agent"))
    completed.push({ name: "User-Agent", value: navigator.userAgent });
  if (!has("referer") && isWebAddress(referrer))
    completed.push({ name: "Referer", value: referrer });
  if (!has("cookie")) {
    const query = { url: address };
    if (tab && tab.cookieStoreId)
      query.storeId = tab.cookieStoreId;
    const cookies = await ext.cookies.getAll(query).catch(() => []);
    if (cookies.length > 0)
      completed.push({ name: "Cookie", value: cookies.map((c) => c.name + "=" + c.value).join("; ") });
  }
  return completed;
}

// The referrer a request of a page carries by default: the page's address
// to its own origin, the origin alone to others.
function defaultReferrer(address, initiator, pageUrl) {
  try {
    const target = new URL(address).origin;
    const page = isWebAddress(pageUrl) ? new URL(pageUrl) : null;
    if (page && page.origin === (initiator || page.origin)) {
      page.hash = "";
      return target === page.origin ? page.href : page.origin + "/";
    }
    return isWebAddress(initiator) ? initiator + "/" : "";
  } catch (e) {
    return "";
  }
}

// The popup's "Save" and "Save all", by the host's numbers.
// The host takes at most 8 numbers a message.
async function saveStreams(tabId, ids) {
  const held = new Set(tabStreams.list(tabId).map((e) => e.id));
  const wanted = ids.filter((id) => held.has(id));
  let answer = { ok: false, error: "nothing to save" };
  for (let i = 0; i < wanted.length; i += 8) {
    answer = await host.send({ kind: "save", ids: wanted.slice(i, i + 8) });
    if (!answer.ok)
      break;
  }
  return answer;
}
