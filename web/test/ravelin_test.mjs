// The module's wrapper without a module: its calls over stand-in exports, and
// what a trap does to the instance.
import assert from "node:assert/strict";
import {test} from "node:test";

import {Ravelin, RavelinError, STOPPED} from "../ravelin.js";

// Exports of a module whose `ravelin_web_bake` answers `answers` in turn: a
// status and a text, or an error to throw.
function standIn(answers) {
  const memory = new WebAssembly.Memory({initial: 1});
  let result = [0, 0], heap = 1024;
  const put = (text) => {
    const bytes = new TextEncoder().encode(text);
    new Uint8Array(memory.buffer, 4096, bytes.length).set(bytes);
    result = [4096, bytes.length];
  };
  const names = {4: "RAVELIN_ERROR_BAKE"};
  const exports = {
    memory,
    malloc: (n) => ((heap += n + 8), heap - n - 8),
    free: () => {},
    ravelin_web_result: () => result[0],
    ravelin_web_result_size: () => result[1],
    ravelin_status_name: (status) => {
      put(names[status]);
      const at = 8192;
      new Uint8Array(memory.buffer, at, result[1] + 1).set([...new Uint8Array(memory.buffer, 4096, result[1]), 0]);
      return at;
    },
    ravelin_web_bake: () => {
      const next = answers.shift();
      if (next instanceof Error) throw next;
      put(next[1]);
      return next[0];
    },
  };
  return new Ravelin({exports}, null);
}

test("a call gives its result, or its error's text and status", () => {
  const ravelin = standIn([[0, "{\"source\":\"ambient\"}\n"], [4, "CellLandblock 0x0001FFFF missing from DAT"]]);
  assert.equal(ravelin.bake(0xA9B4), "{\"source\":\"ambient\"}\n");
  assert.throws(() => ravelin.bake(0x0001), (error) => error instanceof RavelinError &&
    error.status === "RAVELIN_ERROR_BAKE" && error.message === "CellLandblock 0x0001FFFF missing from DAT");
});

test("after a trap every call says the module stopped, without calling it", () => {
  const answers = [new WebAssembly.RuntimeError("unreachable"), [0, "never reached"]];
  const ravelin = standIn(answers);
  assert.throws(() => ravelin.bake(0xA9B4), (error) => error.status === STOPPED && /unreachable/.test(error.message));
  assert.throws(() => ravelin.bake(0xA9B4), (error) => error.status === STOPPED && /earlier/.test(error.message));
  assert.equal(answers.length, 1);
  const plain = standIn([new TypeError("not the module's")]);
  assert.throws(() => plain.bake(1), TypeError);
});
