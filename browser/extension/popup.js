"use strict";

// Shows whether Vidarro's host answers and how many streams were passed on.
// Asks the host once when opened, then follows the counts while open.

const ext = globalThis.browser || globalThis.chrome;
const STATE_TEXTS = {
  answering: "answering",
  absent: "not answering",
  unknown: "asking…",
};

function show(status) {
  if (!status)
    return;
  const state = document.getElementById("state");
  state.textContent = STATE_TEXTS[status.state] || status.state;
  state.className = "state " + status.state;
  document.getElementById("window").textContent = status.state !== "answering" ? ""
      : status.windowOpen ? "The Vidarro window is open."
      : "The Vidarro window is closed: streams are kept until it opens.";
  document.getElementById("error").textContent = status.error;
  document.getElementById("passed").textContent = String(status.passed);
  document.getElementById("refused").textContent = String(status.refused);
  document.getElementById("lost").textContent = String(status.lost);
}

function ask(probe) {
  ext.runtime.sendMessage({ kind: "status", probe }).then(show, () => {});
}

ask(true);
setInterval(() => ask(false), 500);
