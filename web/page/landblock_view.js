// A landblock's panel: its counts, the events of each family in a table, its
// picture (the SVG of `ravelin-bake render`) and its manifest, exactly the
// bytes, with a download link; or the bake's error, in the CLI's words.
import {grouped} from "../../tools/draw/atlas/format.js";
import {BlobUrls, downloadLink, element, landblockName} from "./util.js";

// Rows of a family's table shown at most; the manifest below has them all.
const MAX_ROWS = 200;

const decoder = new TextDecoder();

const cellText = (value) => value === undefined ? "" : typeof value === "object" ? JSON.stringify(value) : String(value);

// One family's events as a table: a column per key, in the order they come.
function eventTable(events) {
  const keys = [];
  for (const event of events) for (const key of Object.keys(event)) if (key !== "source" && !keys.includes(key)) keys.push(key);
  const table = element("table");
  const head = element("tr");
  for (const key of keys) head.append(element("th", key));
  table.append(head);
  for (const event of events.slice(0, MAX_ROWS)) {
    const tr = element("tr");
    for (const key of keys) tr.append(element("td", cellText(event[key])));
    table.append(tr);
  }
  return table;
}

export class LandblockView {
  constructor(panel, families, onClose) {
    Object.assign(this, {panel, families, onClose});
    this.urls = new BlobUrls();
    this.shown = -1;
  }

  heading(n) {
    const heading = element("h2", `Landblock ${landblockName(n)}`);
    const close = element("button", "\u00d7");
    close.type = "button";
    close.title = "Close";
    close.id = "landblock-close";
    close.addEventListener("click", () => this.onClose());
    heading.append(close);
    return heading;
  }

  // While the worker bakes it.
  loading(n) {
    this.shown = n;
    this.urls.release();
    this.panel.replaceChildren(this.heading(n), element("p", "Baking\u2026"));
    this.panel.dataset.landblock = landblockName(n);
    this.panel.dataset.ready = "0";
    this.panel.hidden = false;
  }

  // `result`: {manifest: bytes, svg: text} or {error: text}.
  show(n, result) {
    if (n !== this.shown) return;
    const panel = this.panel;
    const parts = [this.heading(n), element("p", `id ${landblockName(n)}0000`)];
    if (result.error !== undefined) {
      parts.push(element("p", "The bake failed:"));
      const error = element("p", `error: ${result.error}`, "error");
      error.id = "landblock-error";
      parts.push(error);
    } else {
      const text = decoder.decode(result.manifest);
      const lines = text.split("\n").filter(Boolean).map((line) => JSON.parse(line));
      const bySource = new Map(this.families.map((f) => [f.source, []]));
      for (const event of lines) {
        if (!bySource.has(event.source)) bySource.set(event.source, []);
        bySource.get(event.source).push(event);
      }
      const counts = element("table");
      counts.id = "landblock-counts";
      const row = (label, value, key) => {
        const tr = element("tr");
        const cell = element("td", grouped(value), "count");
        cell.dataset.count = key;
        tr.append(element("td", label), cell);
        counts.append(tr);
      };
      for (const f of this.families) row(f.display, bySource.get(f.source).length, f.source);
      row("total events", lines.length, "total");
      row("manifest bytes", result.manifest.length, "bytes");
      parts.push(counts);
      const picture = element("img");
      picture.id = "landblock-picture";
      picture.alt = `Picture of landblock ${landblockName(n)}`;
      picture.src = this.urls.make(result.svg, "image/svg+xml");
      parts.push(element("h3", "Picture"), picture);
      for (const [source, events] of bySource) {
        if (events.length === 0) continue;
        const display = this.families.find((f) => f.source === source)?.display ?? source;
        const title = events.length > MAX_ROWS ? `${display}: the first ${MAX_ROWS} of ${grouped(events.length)} events`
          : `${display}: ${grouped(events.length)} events`;
        const box = element("div", undefined, "events");
        box.dataset.family = source;
        box.append(eventTable(events));
        parts.push(element("h3", title), box);
      }
      const manifest = element("pre");
      manifest.id = "landblock-manifest";
      manifest.textContent = text;
      const fileName = `${landblockName(n)}.events.jsonl`;
      const save = downloadLink(this.urls, result.manifest, fileName, `Download ${fileName}`, "application/jsonl");
      save.id = "landblock-download";
      parts.push(element("h3", "Manifest"), save, manifest);
    }
    panel.replaceChildren(...parts);
    panel.dataset.ready = "1";
  }

  close() {
    this.shown = -1;
    this.urls.release();
    this.panel.hidden = true;
    this.panel.replaceChildren();
    delete this.panel.dataset.landblock;
  }
}
