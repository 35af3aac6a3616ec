"use strict";

// The "Watch streams in this browser" switch of the popup and the options
// page: it asks for the optional webRequest permission or gives it back.
// The permission is asked for straight from the click, as browsers require.

const WATCH_COST =
  "Off: pages load as if the extension were not there. \u201cDownload with Vidarro\u201d in the " +
  "page's menu still sends pages, links and videos. On: every request a page makes passes " +
  "through the extension so that the streams you play are listed here and in Vidarro; " +
  "a page of many requests may load up to a quarter slower.";

function setUpWatchSwitch(checkbox, note) {
  const ext = globalThis.browser || globalThis.chrome;
  const permission = { permissions: ["webRequest"] };
  const show = () => ext.permissions.contains(permission).then((on) => { checkbox.checked = on; });
  note.textContent = WATCH_COST;
  show();
  checkbox.addEventListener("change", () => {
    const asked = checkbox.checked ? ext.permissions.request(permission) : ext.permissions.remove(permission);
    asked.then(show, (e) => {
      note.textContent = "The browser did not allow it: " + (e && e.message ? e.message : e);
      show();
    });
  });
}
