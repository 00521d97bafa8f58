// Small things several parts of the page use.
import {hex4} from "../../tools/draw/atlas/format.js";

export function element(tag, text, className) {
  const el = document.createElement(tag);
  if (text !== undefined) el.textContent = text;
  if (className) el.className = className;
  return el;
}

// 0xA9B4 -> "0xA9B4"; 0x13000000 -> "0x13000000".
export const landblockName = (n) => `0x${hex4(n)}`;
export const hex8 = (id) => `0x${(id >>> 0).toString(16).toUpperCase().padStart(8, "0")}`;

// Blob URLs the page made for one view, given back when the view changes.
export class BlobUrls {
  constructor() { this.urls = []; }
  // `bytes`: a Uint8Array, or an array of the Blob's parts.
  make(bytes, type) {
    const url = URL.createObjectURL(new Blob(Array.isArray(bytes) ? bytes : [bytes], {type}));
    this.urls.push(url);
    return url;
  }
  release() {
    for (const url of this.urls) URL.revokeObjectURL(url);
    this.urls = [];
  }
}

// A link that saves `bytes` (as BlobUrls.make takes them) as `fileName`.
export function downloadLink(urls, bytes, fileName, label, type = "application/octet-stream") {
  const link = element("a", label, "button");
  link.href = urls.make(bytes, type);
  link.download = fileName;
  return link;
}

// The same for a file made only when the link is first followed: `make()`
// gives its bytes (or parts). The click sets the link's address before the
// browser follows it.
export function lazyDownloadLink(urls, make, fileName, label, type = "application/octet-stream") {
  const link = element("a", label, "button");
  link.href = `#${fileName}`;
  link.download = fileName;
  link.addEventListener("click", () => {
    if (link.dataset.made) return;
    link.href = urls.make(make(), type);
    link.dataset.made = "1";
  });
  return link;
}

// A hex dump of the first `limit` bytes, sixteen a line: offset, bytes, text.
export function hexDump(bytes, limit = 65536) {
  const lines = [];
  const end = Math.min(bytes.length, limit);
  for (let at = 0; at < end; at += 16) {
    const row = bytes.subarray(at, Math.min(end, at + 16));
    const hex = [...row].map((b) => b.toString(16).padStart(2, "0")).join(" ").padEnd(47);
    const text = [...row].map((b) => (b >= 0x20 && b < 0x7f ? String.fromCharCode(b) : ".")).join("");
    lines.push(`${at.toString(16).padStart(8, "0")}  ${hex}  ${text}`);
  }
  return lines.join("\n");
}
