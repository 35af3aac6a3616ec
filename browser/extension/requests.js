"use strict";

// Request bookkeeping: the method and request headers of each request in
// flight, kept from onSendHeaders until its response is judged. A request
// that never gets one (a failure, a closed tab, a suspended worker) must not
// keep its entry forever, so the book is bounded and the oldest entries go
// first.

const REQUEST_BOOK_LIMIT = 1000;
const HEADERS_PER_REQUEST_LIMIT = 100;
const HEADER_VALUE_LIMIT = 16384;

class RequestBook {
  constructor(limit = REQUEST_BOOK_LIMIT) {
    this.limit = limit;
    this.entries = new Map(); // requestId -> { method, headers }
  }

  // Called again for every redirect hop: the newest headers win.
  remember(details) {
    const headers = [];
    for (const header of details.requestHeaders || []) {
      if (headers.length >= HEADERS_PER_REQUEST_LIMIT)
        break;
      // Binary values (rare, Chromium only) cannot be replayed as text.
      if (typeof header.value !== "string" || header.value.length > HEADER_VALUE_LIMIT)
        continue;
      headers.push({ name: header.name, value: header.value });
    }
    this.entries.delete(details.requestId); // re-insert: newest last
    this.entries.set(details.requestId, { method: details.method, headers });
    while (this.entries.size > this.limit)
      this.entries.delete(this.entries.keys().next().value);
  }

  // The entry of a request, removed from the book: a response is judged once.
  take(requestId) {
    const entry = this.entries.get(requestId);
    this.entries.delete(requestId);
    return entry;
  }

  get size() {
    return this.entries.size;
  }
}
