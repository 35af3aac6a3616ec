"use strict";

// The streams this tab played, each with "Save", and "Save all"; whether
// Vidarro answers; the watching switch. Asks the host once when opened,
// then follows the background while open. Opened as a page of its own,
// "?tab=N" names the tab.

const ext = globalThis.browser || globalThis.chrome;
const tabParameter = new URLSearchParams(location.search).get("tab");
let tabId = -1;
let shownIds = "";

function sizeText(bytes) {
  if (!(bytes >= 0))
    return "";
  const units = ["bytes", "KB", "MB", "GB"];
  let value = bytes, unit = 0;
  while (value >= 1000 && unit < units.length - 1) {
    value /= 1000;
    unit++;
  }
  return (unit === 0 ? value : value.toFixed(1)) + " " + units[unit];
}

function cell(row, text, className) {
  const td = row.insertCell();
  td.textContent = text;
  if (className)
    td.className = className;
  return td;
}

function showStreams(streams) {
  const ids = streams.map((s) => s.id + s.quality).join();
  if (ids === shownIds)
    return;
  shownIds = ids;
  const table = document.getElementById("streams");
  table.replaceChildren();
  for (const stream of streams) {
    const row = table.insertRow();
    row.dataset.id = stream.id;
    cell(row, stream.name, "name").title = stream.url;
    cell(row, stream.kind);
    cell(row, stream.quality);
    cell(row, sizeText(stream.size));
    const button = document.createElement("button");
    button.textContent = "Save";
    button.addEventListener("click", () => save([stream.id]));
    cell(row, "").appendChild(button);
  }
  document.getElementById("empty").hidden = streams.length > 0;
  document.getElementById("saveAll").disabled = streams.length === 0;
}

function show(status) {
  if (!status)
    return;
  const state = document.getElementById("state");
  state.textContent = status.state === "answering"
      ? (status.windowOpen ? "Vidarro is connected." : "Vidarro is connected; its window opens for a save.")
      : status.state === "absent" ? "Vidarro is not connected: " + status.error
      : "Asking Vidarro…";
  state.className = status.state;
  document.getElementById("counts").textContent = status.passed + " streams passed on, " +
      status.refused + " refused, " + status.lost + " not delivered.";
  showStreams(status.streams || []);
}

function save(ids) {
  const result = document.getElementById("result");
  result.textContent = "Sending…";
  ext.runtime.sendMessage({ kind: "save", tabId, ids }).then((answer) => {
    result.textContent = answer && answer.ok ? "Saving in Vidarro." : "Not saved: " + (answer ? answer.error : "");
  }, (e) => { result.textContent = "Not saved: " + e.message; });
}

function ask(probe) {
  ext.runtime.sendMessage({ kind: "status", probe, tabId }).then(show, () => {});
}

document.getElementById("saveAll").addEventListener("click", () => {
  save([...document.querySelectorAll("#streams tr")].map((row) => Number(row.dataset.id)));
});
setUpWatchSwitch(document.getElementById("watch"), document.getElementById("cost"));
(tabParameter !== null ? Promise.resolve([{ id: Number(tabParameter) }])
                       : ext.tabs.query({ active: true, currentWindow: true })).then((tabs) => {
  tabId = tabs.length > 0 ? tabs[0].id : -1;
  ask(true);
  setInterval(() => ask(false), 500);
});
