"use strict";

// The port to Vidarro's native-messaging host. Opened on first use and kept
// open (an open port also keeps a Chromium service worker alive). The host
// answers every message in order with {"ok":true,"window":bool} (a stream's
// also with the number it keeps the stream under) or {"ok":false,"error":"..."},
// so the oldest unanswered message is the one an answer belongs to.

const HOST_NAME = "vidarro.browser_host";
const RECONNECT_PAUSE_MS = 5000;
const UNANSWERED_LIMIT = 200;

class HostPort {
  constructor(runtime, onChange) {
    this.runtime = runtime;
    this.onChange = onChange;
    this.port = null;
    this.unanswered = []; // { kind, resolve } of the messages sent and not yet answered
    this.lastFailure = -Infinity;
    this.state = "unknown"; // "unknown", "answering" or "absent"
    this.windowOpen = false;
    this.error = "";
    this.passed = 0;
    this.refused = 0;
    this.lost = 0;
  }

  // Resolves with the host's answer, or {ok:false,error} when none can come.
  send(message) {
    return new Promise((resolve) => {
      if (!this.connect() || this.unanswered.length >= UNANSWERED_LIMIT) {
        this.countLost(message.kind);
        this.onChange();
        resolve({ ok: false, error: this.error || "Vidarro's host is busy" });
        return;
      }
      this.unanswered.push({ kind: message.kind, resolve });
      try {
        this.port.postMessage(message);
      } catch (e) {
        this.disconnected(String(e && e.message ? e.message : e));
      }
    });
  }

  // Asks the host whether it answers, unless a message is already on its way.
  probe() {
    if (this.unanswered.length === 0)
      this.send({ kind: "hello" });
  }

  connect() {
    if (this.port)
      return true;
    // A missing host fails at once; do not retry it for every response.
    if (Date.now() - this.lastFailure < RECONNECT_PAUSE_MS)
      return false;
    let port;
    try {
      port = this.runtime.connectNative(HOST_NAME);
    } catch (e) {
      this.disconnected(String(e && e.message ? e.message : e));
      return false;
    }
    port.onMessage.addListener((answer) => this.answered(answer));
    port.onDisconnect.addListener((p) => {
      const error = (p && p.error) || this.runtime.lastError;
      this.disconnected(error && error.message ? error.message : "the host ended");
    });
    this.port = port;
    return true;
  }

  answered(answer) {
    const { kind, resolve } = this.unanswered.shift() || {};
    this.state = "answering";
    if (answer && answer.ok === true) {
      this.error = "";
      this.windowOpen = answer.window === true;
      if (kind === "stream")
        this.passed++;
    } else {
      this.error = answer && typeof answer.error === "string" ? answer.error : "unreadable answer";
      if (kind === "stream")
        this.refused++;
    }
    if (resolve)
      resolve(answer && typeof answer === "object" ? answer : { ok: false, error: this.error });
    this.onChange();
  }

  disconnected(reason) {
    const unanswered = this.unanswered;
    this.unanswered = [];
    for (const { kind, resolve } of unanswered) {
      this.countLost(kind);
      resolve({ ok: false, error: reason });
    }
    this.port = null;
    this.lastFailure = Date.now();
    this.state = "absent";
    this.error = reason;
    this.onChange();
  }

  countLost(kind) {
    if (kind === "stream")
      this.lost++;
  }

  status() {
    return {
      state: this.state,
      windowOpen: this.windowOpen,
      error: this.error,
      passed: this.passed,
      refused: this.refused,
      lost: this.lost,
    };
  }
}
