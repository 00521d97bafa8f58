// The files: every id of both archives with its type, size and flags, a
// search by id, a record the bake reads shown as `dat show`'s JSON (a folding
// tree and the raw text), any other file as hex; a file's bytes to download.
import {grouped} from "../../tools/draw/atlas/format.js";
import {jsonTree} from "./json_tree.js";
import {BlobUrls, downloadLink, element, hex8, hexDump} from "./util.js";

// Rows of the list drawn at most: the search narrows it.
const MAX_ROWS = 200;
const ARCHIVES = ["client_portal.dat", "client_cell_1.dat"];
const NO_TYPE = 0xffffffff;

export class FilesView {
  // request(op, ...args): the page's worker; onError(error): a search that failed.
  constructor(request, onError) {
    this.request = request;
    this.archive = 0;
    this.types = null;
    this.asked = 0;  // the latest search; an answer to an older one is dropped
    this.urls = new BlobUrls();
    this.list = document.querySelector("#files-list tbody");
    this.view = document.getElementById("file-view");
    this.search = document.getElementById("files-search");
    this.count = document.getElementById("files-count");
    this.select = document.getElementById("files-archive");
    this.search.addEventListener("input", () => this.draw().catch(onError));
    this.select.addEventListener("change", () => { this.archive = Number(this.select.value); this.load().catch(onError); });
  }

  // A new world: what was shown and asked of the last one goes.
  clear() {
    this.asked++;
    delete this.list.dataset.shown;
    this.list.replaceChildren();
    this.view.replaceChildren();
  }

  // Shows the archive's list.
  async load() {
    if (!this.types) this.types = await this.request("recordTypes");
    await this.draw();
  }

  // The ids matching the search, its hexadecimal digits anywhere in the
  // 8-digit id: the worker searches, and gives the first rows and the count,
  // so the page never holds a list of a million ids.
  async draw() {
    if (!this.types) return;
    const archive = this.archive, query = this.search.value.trim().replace(/^0x/i, "").toUpperCase();
    const asked = ++this.asked;
    const found = await this.request("list", archive, query, MAX_ROWS);
    if (asked !== this.asked) return;
    const rows = [];
    for (let k = 0; k < found.ids.length; k++) {
      const entry = {id: found.ids[k], type: found.types[k]};
      const id = hex8(entry.id);
      const tr = element("tr");
      tr.dataset.id = id;
      const type = entry.type === NO_TYPE ? "" : this.types[entry.type];
      tr.append(element("td", id), element("td", type), element("td", grouped(found.sizes[k])),
                element("td", (found.flags[k] & 1 ? "compressed " : "") + hex8(found.flags[k])));
      tr.addEventListener("click", () => this.open(archive, entry));
      rows.push(tr);
    }
    this.list.replaceChildren(...rows);
    this.count.textContent = found.matches > MAX_ROWS ? `${grouped(found.matches)} ids, the first ${MAX_ROWS} shown`
      : `${grouped(found.matches)} of ${grouped(found.total)} ids`;
    this.list.dataset.shown = `${archive}:${query}`;
  }

  // Shows an entry of `archive` ({id, type}): its record as JSON, or its bytes as hex.
  async open(archive, {id, type}) {
    for (const tr of this.list.querySelectorAll("tr.selected")) tr.classList.remove("selected");
    this.list.querySelector(`tr[data-id="${hex8(id)}"]`)?.classList.add("selected");
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
