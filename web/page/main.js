// The page's start: the module and the workers' script from the page itself,
// then the user's files opened in a worker and shown: the map, a landblock's
// panel, the world's bake and the files.
import {parseLandblock} from "../../tools/draw/atlas/format.js";
import {bakeWorld} from "./bake_world.js";
import {FilesView} from "./files_view.js";
import {LandblockView} from "./landblock_view.js";
import {MapView} from "./map_view.js";
import {droppedFiles, locateWorld, namedFiles} from "./picker.js";
import {WorkerHost} from "./pool.js";
import {BlobUrls, element, landblockName, lazyDownloadLink} from "./util.js";

const byId = (id) => document.getElementById(id);
const MAX_BAKE_WORKERS = 8;

// The module's bytes, embedded as base64.
function moduleBytes() {
  const text = atob(byId("ravelin-module").textContent.trim());
  const bytes = new Uint8Array(text.length);
  for (let k = 0; k < text.length; k++) bytes[k] = text.charCodeAt(k);
  return bytes;
}

const compiled = WebAssembly.compile(moduleBytes());
const workerUrl = URL.createObjectURL(new Blob([byId("worker-script").textContent], {type: "text/javascript"}));
// Read once: their text need not stay in the page.
byId("ravelin-module").remove();
byId("worker-script").remove();

const page = {
  world: null,        // {named, where, landblocks, families, land, summary, entries}
  host: null,         // the worker of the map, the panel and the files
  bakeHosts: [],
  generation: 0,      // bumped when new files are given: answers for older ones are dropped
  baking: false,
};

function notice(text) {
  byId("notice").textContent = text;
  console.warn(`ravelin: ${text}`);
}

const landblockView = new LandblockView(byId("landblock"), [], () => {
  landblockView.close();
  if (location.hash) history.pushState(null, "", location.pathname + location.search);
});
const mapView = new MapView((n) => select(n));
const filesView = new FilesView((op, ...args) => page.host.request(op, ...args), (error) => notice(error.message));
const indexUrls = new BlobUrls();

// A landblock picked on the map or by the address: its panel, and the address follows.
async function select(n) {
  if (!page.world) return;
  const name = landblockName(n);
  if (location.hash !== `#${name}`) history.pushState(null, "", `#${name}`);
  if (landblockView.shown === n && byId("landblock").dataset.ready === "1") return;
  performance.mark("page-landblock-asked");
  landblockView.loading(n);
  const generation = page.generation;
  let result;
  try {
    result = await page.host.request("landblock", n);
  } catch (error) {
    result = {error: error.message};
  }
  if (generation !== page.generation) return;
  landblockView.show(n, result);
  performance.mark("page-landblock-shown");
}

// The landblock the address names, selected as if typed into the jump box.
function followAddress() {
  if (!page.world || byId("map-tab").hidden) return;
  const n = location.hash.length > 1 ? parseLandblock(decodeURIComponent(location.hash.slice(1))) : -1;
  if (n < 0) { if (landblockView.shown >= 0) landblockView.close(); return; }
  if (n !== landblockView.shown) mapView.jump(landblockName(n));
}
window.addEventListener("popstate", followAddress);
window.addEventListener("hashchange", followAddress);

function setState(state) { document.body.dataset.state = state; }

function stopWorkers() {
  if (page.host) page.host.terminate();
  for (const host of page.bakeHosts) host.terminate();
  page.host = null;
  page.bakeHosts = [];
}

function hostFor(setup) {
  return new WorkerHost(workerUrl, setup, {onLost: notice, onNote: (text) => console.warn(`ravelin.wasm: ${text}`)});
}

// Opens the world in the named files ([name, File] pairs) and draws its map.
async function openWorld(named) {
  performance.mark("page-files-given");
  const generation = ++page.generation;
  stopWorkers();
  page.world = null;
  landblockView.close();
  byId("failures").hidden = true;
  byId("bake-status").textContent = "";
  byId("pick-error").hidden = true;
  byId("notice").textContent = "";
  setState("loading");
  const where = locateWorld(named);
  byId("world-name").textContent = `${where.datDir || named.map(([name]) => name).join(", ")}` +
    (where.spawnsDir ? " (with spawns)" : "");
  let module;
  try {
    module = await compiled;
  } catch (error) {
    return failed(`the page's module does not compile here: ${error.message}`);
  }
  const world = {datDir: where.datDir, spawnsDir: where.spawnsDir, setupTable: where.setupTable};
  page.setup = {module, files: named, world, slices: {sliceSize: 256 << 10, maxSlices: 8}};
  // The map from a worker of its own that is ended once it has given the
  // land (a module's memory never shrinks, and the raster of a large world
  // takes tens of megabytes), reading the cell archive by slices of a megabyte. The
  // page's worker, for the panels and the files, opens the world after it,
  // while the page draws the land: the two never hold their memory at once.
  const landHost = hostFor({...page.setup, slices: {sliceSize: 1 << 20, maxSlices: 2}});
  try {
    await landHost.ready;
    const [landblocks, families, {land, summary}] = [await landHost.request("landblocks"),
      await landHost.request("families"), await landHost.request("landAndSummary")];
    if (generation !== page.generation) return;
    page.world = {named, where, landblocks, families, land, summary, entries: []};
  } catch (error) {
    if (generation !== page.generation) return;
    const missing = where.missing.length ? `\n(the page was given ${named.length === 0 ? "no files" : named.map(([name]) => name).join(", ")}; ` +
      `it looks for ${where.missing.join(" and ")}${where.datDir ? ` in ${where.datDir}/` : ""})` : "";
    return failed(`error: ${error.message}${missing}`);
  } finally {
    landHost.terminate();
  }
  page.host = hostFor(page.setup);
  delete document.body.dataset.worker;
  page.host.ready.then(() => { if (generation === page.generation) document.body.dataset.worker = "ready"; },
                       (error) => notice(`error: ${error.message}`));
  landblockView.families = page.world.families;
  setState("ready");
  showTab("map");
  mapView.show(page.world);
  byId("bake-workers").value = Math.min(navigator.hardwareConcurrency || 1, MAX_BAKE_WORKERS);
  filesView.clear();
  followAddress();
}

function failed(text) {
  stopWorkers();
  setState("failed");
  const shown = byId("pick-error");
  shown.textContent = text;
  shown.hidden = false;
}

function showTab(tab) {
  for (const button of document.querySelectorAll("#tabs button")) button.setAttribute("aria-pressed", String(button.dataset.tab === tab));
  byId("map-tab").hidden = tab !== "map";
  byId("files-tab").hidden = tab !== "files";
  if (tab === "files" && page.world) filesView.load().catch((error) => notice(error.message));
}
for (const button of document.querySelectorAll("#tabs button")) button.addEventListener("click", () => showTab(button.dataset.tab));

for (const id of ["pick-files", "pick-folder"]) {
  const input = byId(id);
  input.addEventListener("change", () => {
    const named = namedFiles(input.files);
    input.value = "";
    openWorld(named);
  });
}
document.addEventListener("dragover", (event) => { event.preventDefault(); byId("drop-zone").classList.add("over"); });
document.addEventListener("dragleave", () => byId("drop-zone").classList.remove("over"));
document.addEventListener("drop", async (event) => {
  event.preventDefault();
  byId("drop-zone").classList.remove("over");
  openWorld(await droppedFiles(event.dataTransfer));
});

// "Bake the world": its own workers, given back when it is done.
byId("bake-world").addEventListener("click", async () => {
  if (!page.world || page.baking) return;
  const world = page.world, generation = page.generation;
  const count = Math.max(1, Math.min(MAX_BAKE_WORKERS, Number(byId("bake-workers").value) || 1));
  const progress = byId("bake-progress"), status = byId("bake-status");
  page.baking = true;
  byId("bake-world").disabled = true;
  progress.hidden = false;
  progress.max = world.landblocks.length;
  progress.value = 0;
  status.textContent = `baking with ${count} workers\u2026`;
  delete status.dataset.done;
  performance.mark("page-bake-started");
  // The added workers only bake: their instances keep the landblocks' own
  // records of the cell archive's directory, not the world's cells.
  const setup = {...page.setup, world: {...page.setup.world, bakesOnly: true}};
  // The page's own worker bakes too (a panel asked for meanwhile waits for a batch at most):
  // one worker less, whose memory the page would hold as well.
  page.bakeHosts = Array.from({length: count - 1}, () => hostFor(setup));
  const hosts = [page.host, ...page.bakeHosts];
  try {
    const baked = await bakeWorld(world.landblocks, world.families, hosts, (done, total, failures) => {
      progress.value = done;
      status.textContent = `${done.toLocaleString("en")} of ${total.toLocaleString("en")} landblocks, ${failures} failed`;
    }, () => generation !== page.generation);
    // Their memory back before the page builds the index and draws it.
    for (const host of page.bakeHosts) host.terminate();
    page.bakeHosts = [];
    if (generation !== page.generation) return;
    performance.mark("page-bake-done");
    const entries = baked.lines();
    world.entries = entries;
    showFailures(entries);
    mapView.show(world);
    indexUrls.release();
    // Made on the first click: a large world's index is some 16 MB of text.
    const save = lazyDownloadLink(indexUrls, () => indexText(entries), "index.jsonl", "index.jsonl", "application/jsonl");
    save.id = "bake-index";
    const failures = entries.filter((e) => e.error !== undefined).length;
    status.replaceChildren(`${entries.length.toLocaleString("en")} landblocks baked, ${failures} failed \u00b7 `, save);
    status.dataset.done = "1";
  } finally {
    for (const host of page.bakeHosts) host.terminate();
    page.bakeHosts = [];
    page.baking = false;
    progress.hidden = true;
    byId("bake-world").disabled = false;
  }
});

// bake-all's index.jsonl as the parts of a Blob: text of a thousand lines
// each, never the whole file as one string beside its bytes.
function indexText(entries) {
  const parts = [];
  for (let at = 0; at < entries.length; at += 1000)
    parts.push(entries.slice(at, at + 1000).map((line) => JSON.stringify(line) + "\n").join(""));
  return parts;
}

function showFailures(entries) {
  const failures = entries.filter((e) => e.error !== undefined);
  const box = byId("failures");
  box.hidden = failures.length === 0;
  box.querySelector("summary").textContent = `${failures.length} landblocks failed`;
  box.querySelector("ul").replaceChildren(...failures.map((e) => {
    const item = element("li");
    const link = element("a", landblockName(parseInt(e.landblock_id, 16) >>> 16));
    link.addEventListener("click", () => mapView.jump(link.textContent));
    item.append(link, `: ${e.error}`);
    return item;
  }));
}
