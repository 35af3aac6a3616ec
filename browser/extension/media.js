"use strict";

// The media decision: is a response a video, an audio stream or a streaming
// manifest? Only responses judged here ever leave the browser.

const MANIFEST_TYPES = new Set([
  "application/vnd.apple.mpegurl",
  "application/x-mpegurl",
  "audio/mpegurl",
  "audio/x-mpegurl",
  "application/dash+xml",
]);

const MANIFEST_EXTENSIONS = new Set(["m3u8", "mpd"]);

// Types servers send when they do not say what a file is.
const GENERIC_TYPES = new Set([
  "",
  "application/octet-stream",
  "binary/octet-stream",
  "application/binary",
  "application/unknown",
  "application/force-download",
]);

const MEDIA_EXTENSIONS = new Map([
  ["mp4", "video"], ["m4v", "video"], ["webm", "video"], ["mkv", "video"],
  ["mov", "video"], ["flv", "video"], ["ogv", "video"], ["ts", "video"],
  ["m4s", "video"], ["mp3", "audio"], ["m4a", "audio"], ["aac", "audio"],
  ["oga", "audio"], ["ogg", "audio"], ["opus", "audio"], ["wav", "audio"],
  ["flac", "audio"],
]);

// "Video/MP4; codecs=avc1" -> "video/mp4"
function mediaTypeEssence(contentType) {
  return (contentType || "").split(";")[0].trim().toLowerCase();
}

// Lower-case extension of the address's last path segment, or "".
function pathExtension(address) {
  let path;
  try {
    path = new URL(address).pathname;
  } catch (e) {
    return "";
  }
  const segment = path.slice(path.lastIndexOf("/") + 1);
  const dot = segment.lastIndexOf(".");
  return dot < 0 ? "" : segment.slice(dot + 1).toLowerCase();
}

// "video", "audio", "manifest" or null for a response with this status,
// address and Content-Type.
function mediaKind(status, address, contentType) {
  if (status < 200 || status > 299 || status === 204)
    return null;
  if (!/^https?:/i.test(address))
    return null;
  const type = mediaTypeEssence(contentType);
  const extension = pathExtension(address);
  if (MANIFEST_TYPES.has(type) || MANIFEST_EXTENSIONS.has(extension))
    return "manifest";
  if (type.startsWith("video/"))
    return "video";
  if (type.startsWith("audio/"))
    return "audio";
  if (GENERIC_TYPES.has(type) && MEDIA_EXTENSIONS.has(extension))
    return MEDIA_EXTENSIONS.get(extension);
  return null;
}

// The value of a response header by case-insensitive name, or "".
function headerValue(headers, name) {
  const wanted = name.toLowerCase();
  for (const header of headers || [])
    if (header.name.toLowerCase() === wanted && typeof header.value === "string")
      return header.value;
  return "";
}
