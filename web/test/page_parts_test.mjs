// The page's parts that run without a browser: where the world lies among
// the files given (picker.js), the world's bake over workers that may be lost
// (bake_world.js) and the build that joins the modules into one page
// (build_page.mjs).
import assert from "node:assert/strict";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import {test} from "node:test";

import {buildPage, joinModules} from "../build_page.mjs";
import {bakeWorld} from "../page/bake_world.js";
import {PageError, WORKER_LOST} from "../page/pool.js";
import {locateWorld} from "../page/picker.js";

test("locateWorld finds the archives' folder, its spawns and what is missing", () => {
  const cases = [
    {names: ["client_portal.dat", "client_cell_1.dat"], datDir: "", spawnsDir: null, missing: []},
    {names: ["w/client_cell_1.dat", "w/client_portal.dat", "w/spawns/wcid_to_setup.json", "w/spawns/0xA9B4.spawns.jsonl"],
      datDir: "w", spawnsDir: "w/spawns", missing: []},
    // spawns/ without its setup table is not used: the bake needs both.
    {names: ["w/client_cell_1.dat", "w/client_portal.dat", "w/spawns/0xA9B4.spawns.jsonl"], datDir: "w", spawnsDir: null, missing: []},
    {names: ["top/world/client_portal.dat", "top/world/client_cell_1.dat", "top/other/client_portal.dat/x"],
      datDir: "top/world", spawnsDir: null, missing: []},
    {names: ["w/client_portal.dat"], datDir: "w", spawnsDir: null, missing: ["client_cell_1.dat"]},
    {names: ["client_cell_1.dat"], datDir: "", spawnsDir: null, missing: ["client_portal.dat"]},
    {names: ["x/notes.txt", "x/y/z.bin"], datDir: "x", spawnsDir: null, missing: ["client_portal.dat", "client_cell_1.dat"]},
    {names: ["notes.txt"], datDir: "", spawnsDir: null, missing: ["client_portal.dat", "client_cell_1.dat"]},
    {names: [], datDir: "", spawnsDir: null, missing: ["client_portal.dat", "client_cell_1.dat"]},
  ];
  for (const {names, datDir, spawnsDir, missing} of cases) {
    const where = locateWorld(names.map((name) => [name, null]));
    assert.deepEqual({datDir: where.datDir, spawnsDir: where.spawnsDir, missing: where.missing}, {datDir, spawnsDir, missing},
      names.join(", "));
    assert.equal(where.setupTable, spawnsDir && `${spawnsDir}/wcid_to_setup.json`);
  }
});

function modules(files) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), "page-build-"));
  for (const [name, text] of Object.entries(files)) {
    fs.mkdirSync(path.dirname(path.join(dir, name)), {recursive: true});
    fs.writeFileSync(path.join(dir, name), text);
  }
  return dir;
}

test("joinModules runs each module once, after what it imports, with the names imported", () => {
  const dir = modules({
    "main.js": 'import {twice} from "./lib/twice.js";\nimport {base, log} from "./base.js";\nlog.push(`main ${twice(base)}`);\n',
    "lib/twice.js": 'import {log} from "../base.js";\nlog.push("twice");\nexport function twice(v) { return 2 * v; }\n',
    "base.js": "export const log = [\"base\"], base = 21;\nconst hidden = 1;\nexport class Unused {}\nvoid hidden;\n",
  });
  const script = joinModules(path.join(dir, "main.js"));
  const log = new Function(`${script.replace('"use strict";', "")}\nreturn module0.log;`)();
  assert.deepEqual(log, ["base", "twice", "main 42"]);
  // Only what is imported leaves a module.
  assert.match(script, /return \{log, base\};/);
});

test("joinModules refuses what it cannot join", () => {
  const cases = [
    [{"main.js": 'import {a as b} from "./a.js";\n', "a.js": "export const a = 1;\n"}, /write imports on one line/],
    [{"main.js": 'import a from "./a.js";\n', "a.js": "export default 1;\n"}, /write imports on one line/],
    [{"main.js": 'import {a} from "./a.js";\n', "a.js": "const a = 1;\nexport {a};\n"}, /export declarations only/],
    [{"main.js": 'import {a} from "./missing.js";\n'}, /does not exist/],
  ];
  for (const [files, error] of cases) assert.throws(() => joinModules(path.join(modules(files), "main.js")), error);
});

test("buildPage inlines the styles, the module and both scripts", () => {
  const bytes = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 255]);
  const {html, worker, main} = buildPage(bytes);
  assert.doesNotMatch(html, /src="main\.js"|href="page\.css"/);
  const embedded = /<script type="application\/octet-stream" id="ravelin-module">([^<]*)<\/script>/.exec(html);
  assert.deepEqual([...Buffer.from(embedded[1], "base64")], [...bytes]);
  assert.ok(html.includes(`<script type="text/plain" id="worker-script">\n${worker}</script>`));
  assert.ok(html.includes(`<script type="module">\n${main}</script>`));
  // The atlas's drawing module is in the page's script, not a copy in web/.
  assert.match(main, /\/\/ tools\/draw\/atlas\/atlas_map\.js\n/);
  assert.match(worker, /\/\/ web\/ravelin\.js\n/);
});

const FAMILIES = [{source: "ambient", display: "ambient"}, {source: "sky_chain", display: "sky chain"}];

// A worker host whose bakes give counts [id >>> 16 & 0xff, 1] and 100 bytes,
// fail landblock 0x0102 with its error, and whose worker is lost on the
// batches `losses` names (by batch number, as many times as listed). A slow
// host answers its first batch after the others have answered theirs.
function fakeHost(losses = [], log = [], {slow = false} = {}) {
  let batches = 0;
  return {
    async request(op, ids) {
      assert.equal(op, "bakeCounts");
      const batch = batches++;
      log.push(ids[0]);
      if (slow && batch === 0) await new Promise((resolve) => setTimeout(resolve, 20));
      if (losses.includes(batch)) throw new PageError(WORKER_LOST, "the worker stopped: test");
      return ids.map((id) => id === 0x01020000 ? {id, error: "no CellLandblock 0x0102FFFF"}
        : {id, counts: [(id >>> 16) & 0xff, 1], bytes: 100});
    },
  };
}

test("bakeWorld gives bake-all's index lines, in landblock order, over lost workers", async () => {
  const ids = Array.from({length: 300}, (_, k) => ((0x0100 + k) << 16) >>> 0);
  const cases = [
    {name: "no loss", hosts: [fakeHost(), fakeHost()], lostFailed: 0},
    {name: "the first batch answered last", hosts: [fakeHost([], [], {slow: true}), fakeHost()], lostFailed: 0},
    {name: "a batch lost once is baked again", hosts: [fakeHost([0]), fakeHost()], lostFailed: 0},
    {name: "a batch lost twice fails with the reason", hosts: [fakeHost([0, 1])], lostFailed: 128},
  ];
  for (const {name, hosts, lostFailed} of cases) {
    const progress = [];
    const lines = (await bakeWorld(ids, FAMILIES, hosts, (done, total, failed) => progress.push([done, total, failed]))).lines();
    assert.equal(lines.length, ids.length, name);
    assert.deepEqual(lines.map((l) => l.landblock_id), ids.map((id) => "0x" + id.toString(16).toUpperCase().padStart(8, "0")), name);
    const lost = lines.filter((l) => l.error === "the worker stopped: test");
    assert.equal(lost.length, lostFailed, name);
    if (lostFailed === 0) {
      assert.deepEqual(lines.find((l) => l.landblock_id === "0x01020000"), {landblock_id: "0x01020000", error: "no CellLandblock 0x0102FFFF"}, name);
      // Keys in bake-all's order: id, file, each family, bytes.
      assert.equal(JSON.stringify(lines.find((l) => l.landblock_id === "0x01050000")),
        '{"landblock_id":"0x01050000","file":"0x0105.events.jsonl","ambient":5,"sky_chain":1,"bytes":100}', name);
    }
    assert.deepEqual(progress.at(-1), [ids.length, ids.length, lines.filter((l) => l.error !== undefined).length], name);
  }
});

test("bakeWorld stops taking batches when told to", async () => {
  const ids = Array.from({length: 1000}, (_, k) => (k << 16) >>> 0);
  const log = [];
  let stop = false;
  const lines = (await bakeWorld(ids, FAMILIES, [fakeHost([], log)], (done) => { if (done >= 256) stop = true; }, () => stop)).lines();
  assert.equal(log.length, 2);
  assert.equal(lines.length, 256);
});
