"use strict";

// The "Watch streams in this browser" switch of the popup and the options
// page: it asks for the optional webRequest permission or gives it back.
// The permission is asked for straight from the click, as browsers require.

const WATCH_COST =
  "Off: pages load as if the extension were not there. \u201cDownload with Vidarro\u201d in the " +
  "page's menu still sends pages, links and videos. On: every request a page makes passes " +
  "through the extension so that the streams you play are listed here and in Vidarro; " +
  "a page of many requests may load up to a quarter slower.";

// Chromium counts the extensions that may watch as it loads and unloads
// them, so a permission granted or given back meanwhile counts from its next
// start; the extension reloading itself would not help (it would unload with
// a permission it was not loaded with).
const CHROMIUM_AFTER_SWITCH =
  " Chromium follows the switch from its next start: close all its windows and open it again.";

function setUpWatchSwitch(checkbox, note) {
  const ext = globalThis.browser || globalThis.chrome;
  const chromium = typeof globalThis.browser === "undefined";
  const permission = { permissions: ["webRequest"] };
  let initial = null;
  const show = () => ext.permissions.contains(permission).then((on) => {
    checkbox.checked = on;
    initial = initial === null ? on : initial;
    note.textContent = WATCH_COST + (chromium && on !== initial ? CHROMIUM_AFTER_SWITCH : "");
  });
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
