// The files: every id of both archives with its type, size and flags, a
// search by id, a record the bake reads shown as `dat show`'s JSON (a folding
// tree and the raw text), any other file as hex; a file's bytes to download.
import {grouped} from "../../tools/draw/atlas/format.js";
import {jsonTree} from "./json_tree.js";
import {BlobUrls, downloadLink, element, hex8, hexDump} from "./util.js";

// Rows of the list drawn at most: the search narrows it.
const MAX_ROWS = 500;
const ARCHIVES = ["client_portal.dat", "client_cell_1.dat"];
const NO_TYPE = 0xffffffff;

export class FilesView {
  // request(op, ...args): the page's worker.
  constructor(request) {
    this.request = request;
    this.archive = 0;
    this.entries = [null, null];
    this.types = null;
    this.urls = new BlobUrls();
    this.list = document.querySelector("#files-list tbody");
    this.view = document.getElementById("file-view");
    this.search = document.getElementById("files-search");
    this.count = document.getElementById("files-count");
    this.select = document.getElementById("files-archive");
    this.search.addEventListener("input", () => this.draw());
    this.select.addEventListener("change", () => { this.archive = Number(this.select.value); this.load(); });
  }

  // Loads the archive's list when it is first shown.
  async load() {
    if (!this.types) this.types = await this.request("recordTypes");
    const archive = this.archive;
    if (!this.entries[archive]) this.entries[archive] = await this.request("entries", archive);
    if (archive === this.archive) this.draw();
  }

  // The ids matching the search: its hexadecimal digits anywhere in the 8-digit id.
  draw() {
    const entries = this.entries[this.archive];
    if (!entries) return;
    const query = this.search.value.trim().replace(/^0x/i, "").toUpperCase();
    const rows = [];
    let matches = 0;
    for (let k = 0; k < entries.ids.length; k++) {
      const id = hex8(entries.ids[k]);
      if (query && !id.slice(2).includes(query)) continue;
      if (++matches > MAX_ROWS) continue;
      const tr = element("tr");
      tr.dataset.id = id;
      tr.dataset.index = k;
      const type = entries.types[k] === NO_TYPE ? "" : this.types[entries.types[k]];
      tr.append(element("td", id), element("td", type), element("td", grouped(entries.sizes[k])),
                element("td", (entries.flags[k] & 1 ? "compressed " : "") + hex8(entries.flags[k])));
      tr.addEventListener("click", () => this.open(k));
      rows.push(tr);
    }
    this.list.replaceChildren(...rows);
    this.count.textContent = matches > MAX_ROWS ? `${grouped(matches)} ids, the first ${MAX_ROWS} shown`
      : `${grouped(matches)} of ${grouped(entries.ids.length)} ids`;
  }

  // Shows entry `k` of the archive: its record as JSON, or its bytes as hex.
  async open(k) {
    const archive = this.archive, entries = this.entries[archive];
    const id = entries.ids[k], type = entries.types[k];
    for (const tr of this.list.querySelectorAll("tr.selected")) tr.classList.remove("selected");
    this.list.querySelector(`tr[data-index="${k}"]`)?.classList.add("selected");
    this.urls.release();
    const view = this.view;
    view.replaceChildren(element("h2", `${ARCHIVES[archive]} ${hex8(id)}`), element("p", "Reading\u2026"));
    view.dataset.id = hex8(id);
    view.dataset.ready = "0";
    const parts = [element("h2", `${ARCHIVES[archive]} ${hex8(id)}`)];
    try {
      const bytes = await this.request("get", archive, id);
      parts.push(downloadLink(this.urls, bytes, `${hex8(id)}.bin`, `Download the file (${grouped(bytes.length)} bytes)`));
      parts[parts.length - 1].id = "file-download";
      if (type !== NO_TYPE) {
        try {
          const text = await this.request("show", archive, id);
          const raw = element("pre");
          raw.id = "file-json";
          raw.textContent = text;
          const tree = element("div", undefined, "tree");
          tree.id = "file-tree";
          tree.append(jsonTree(JSON.parse(text)));
          parts.push(element("h3", `${this.types[type]} (dat show)`), tree, element("h3", "Raw text"), raw);
        } catch (error) {
          const shown = element("p", `error: ${error.message}`, "error");
          shown.id = "file-error";
          parts.push(shown, element("h3", "Bytes"), Object.assign(element("pre", hexDump(bytes)), {id: "file-hex"}));
        }
      } else {
        parts.push(element("h3", bytes.length > 65536 ? "The first 64 KiB" : "Bytes"),
                   Object.assign(element("pre", hexDump(bytes)), {id: "file-hex"}));
      }
    } catch (error) {
      const shown = element("p", `error: ${error.message}`, "error");
      shown.id = "file-error";
      parts.push(shown);
    }
    if (view.dataset.id !== hex8(id)) return;
    view.replaceChildren(...parts);
    view.dataset.ready = "1";
  }
}
