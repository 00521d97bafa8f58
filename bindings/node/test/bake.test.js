// The package against `ravelin-bake` over a sample world: every landblock's
// bake (one-off, session, sync and async), records, errors, the ES module, and
// async bakes that leave the event loop running. ravelin-bake is RAVELIN_BAKE,
// else RAVELIN_BUILD_DIR/tools/ravelin-bake.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const ravelin = require('..');

const command = process.env.RAVELIN_BAKE || path.join(process.env.RAVELIN_BUILD_DIR || '', 'tools', 'ravelin-bake');
const world = fs.mkdtempSync(path.join(os.tmpdir(), 'ravelin-node-'));
execFileSync(command, ['sample-world', world]);
test.after(() => fs.rmSync(world, { recursive: true, force: true }));

const hex4 = (landblock) => '0x' + (landblock >>> 16).toString(16).toUpperCase().padStart(4, '0');
const commandBake = (landblock, extra = []) =>
  execFileSync(command, ['bake', '--dat-dir', world, '--landblock', hex4(landblock), ...extra], { maxBuffer: 1 << 28 });
function commandError(args) {
  const run = spawnSync(command, args);
  assert.notEqual(run.status, 0);
  return run.stderr.toString().trimEnd().replace(/^error: /, '');
}

test('every landblock bakes as the command does, sync and async', async () => {
  const session = new ravelin.BakeSession(world);
  const landblocks = session.landblocks();
  assert.equal(landblocks.length, 9);
  // Every sync bake kept until the end: later bakes must not overwrite the
  // slices of a shared chunk that earlier ones returned.
  const kept = [];
  for (const landblock of landblocks) {
    const expected = commandBake(landblock);
    kept.push([session.bake(landblock), expected], [session.bake(landblock), expected]);
    assert.ok(kept.at(-1)[0].equals(expected), hex4(landblock));
    assert.ok((await session.bakeAsync(landblock)).equals(expected));
    assert.ok(ravelin.bake(world, landblock).equals(expected));
    assert.ok((await ravelin.bakeAsync(world, landblock >>> 16)).equals(expected));
  }
  const parallel = await Promise.all(landblocks.map((lb) => session.bakeAsync(lb)));
  parallel.forEach((bytes, i) => assert.ok(bytes.equals(commandBake(landblocks[i]))));
  assert.ok(ravelin.bake(world, 0xa9b4, { sky: false }).equals(commandBake(0xa9b40000, ['--no-sky'])));
  kept.forEach(([bytes, expected], i) => assert.ok(bytes.equals(expected), `kept bake ${i}`));
  session.close();
});

test('bakes with inputs give the same bytes and lists', () => {
  const session = new ravelin.BakeSession(world);
  for (const landblock of session.landblocks()) {
    const oneOff = ravelin.bakeWithInputs(world, landblock);
    assert.deepEqual(session.bakeWithInputs(landblock), oneOff);
    assert.ok(oneOff.jsonl.equals(session.bake(landblock)));
    assert.deepEqual(oneOff.inputs.cell, [(landblock | 0xfffe) >>> 0, (landblock | 0xffff) >>> 0]);
    assert.ok(oneOff.inputs.portal.includes(0x13000000));
  }
  assert.throws(() => session.bakeWithInputs(0x0101), (e) =>
    e.status === 'RAVELIN_ERROR_BAKE' && e.message === 'CellLandblock 0x0101FFFF missing from DAT' &&
    e.inputs.cell.length === 1 && e.inputs.cell[0] === 0x0101ffff);
  assert.throws(() => session.bakeWithInputs(0x1ffff), (e) => e.status === 'RAVELIN_ERROR_ARGUMENT' && !e.inputs);
  session.close();
});

test('async bakes leave the event loop running', async () => {
  const session = new ravelin.BakeSession(world);
  let turns = 0;
  let done = false;
  const spin = () => {
    turns++;
    if (!done) setImmediate(spin);
  };
  spin();
  // A promise resolved on the main thread would run on microtasks alone and
  // leave `turns` at 1.
  for (const landblock of session.landblocks()) await session.bakeAsync(landblock);
  done = true;
  assert.ok(turns > 1, `the event loop turned ${turns} times`);
  session.close();
});

test('archives give the bytes and documents of dat get and show', () => {
  const portal = path.join(world, 'client_portal.dat');
  const archive = new ravelin.Archive(portal);
  assert.ok(archive.entryCount > 0);
  assert.ok(archive.getFile(0x13000000).equals(execFileSync(command, ['dat', 'get', portal, '0x13000000'])));
  const shown = execFileSync(command, ['dat', 'show', '--compact', portal, '0x13000000']).toString();
  assert.equal(archive.showText(0x13000000, { compact: true }) + '\n', shown);
  assert.deepEqual(archive.show(0x13000000, { type: 'region' }), JSON.parse(shown));
  archive.close();
});

test('errors carry the status and the text', async () => {
  const missing = path.join(world, 'missing');
  const text = commandError(['bake', '--dat-dir', missing, '--landblock', '0xA9B4']);
  const session = new ravelin.BakeSession(world);
  const archive = new ravelin.Archive(path.join(world, 'client_portal.dat'));
  const cases = [
    [() => ravelin.bake(missing, 0xa9b4), 'RAVELIN_ERROR_BAKE', text],
    [() => new ravelin.BakeSession(missing), 'RAVELIN_ERROR_BAKE', text],
    [() => session.bake(0x1ffff), 'RAVELIN_ERROR_ARGUMENT',
      'not a landblock: 0x0001FFFF (a number up to 0xFFFF or a whole id 0xLLLL0000)'],
    [() => archive.getFile(0x13ffffff), 'RAVELIN_ERROR_DAT', 'File ID 13FFFFFF not found in provider'],
    [() => archive.show(0x13000000, { type: 'regoin' }), 'RAVELIN_ERROR_ARGUMENT',
      /^unknown record type 'regoin': one of region, /],
    [() => new ravelin.Archive(path.join(world, 'missing.dat')), 'RAVELIN_ERROR_DAT', /missing\.dat/],
  ];
  for (const [call, status, message] of cases) {
    assert.throws(call, (e) => e instanceof ravelin.RavelinError && e.status === status &&
      (typeof message === 'string' ? e.message === message : message.test(e.message)));
  }
  session.close();
  assert.throws(() => session.bake(0xa9b4), { status: 'RAVELIN_ERROR_HANDLE', message: 'ravelin_session_bake_into: session is closed' });
  assert.throws(() => session.close(), { status: 'RAVELIN_ERROR_HANDLE' });
  archive.close();
  assert.throws(() => archive.entryCount, { status: 'RAVELIN_ERROR_HANDLE' });
  assert.throws(() => ravelin.bake(world, -1), RangeError);
  assert.throws(() => ravelin.bake(world, '0xA9B4'), TypeError);
  assert.throws(() => ravelin.bake(world, 0xa9b4, { spawnsDir: world }), TypeError);
  // C would read the path only up to the NUL: another directory than the one named.
  assert.throws(() => new ravelin.BakeSession(`${world}\0/elsewhere`), { name: 'TypeError', message: 'datDir holds a NUL character' });
  await assert.rejects(ravelin.bakeAsync(world, -1), RangeError);
  await assert.rejects(ravelin.bakeAsync(missing, 0xa9b4), { status: 'RAVELIN_ERROR_BAKE', message: text });
});

test('the event families, and a manifest split by them', () => {
  const families = ravelin.eventFamilies;
  assert.ok(Object.isFrozen(families) && families.every((family) => Object.isFrozen(family)));
  assert.deepEqual(families.map((f) => [f.source, f.trigger]), [['ambient', 'terrain'],
    ['animation_sound', 'animation_sound'], ['physics_script_particle', 'physics_script_particle'],
    ['sky_chain', 'time_of_day']]);
  assert.deepEqual(families.map((f) => f.python), ['ambient', 'animation_sound', 'physics_particle', 'sky']);
  assert.ok(families.every((f) => f.table && f.display));

  const jsonl = commandBake(0xa9b40000);
  const split = ravelin.splitFamilies(jsonl);
  assert.deepEqual(Object.keys(split), families.map((f) => f.source));
  for (const family of families) {
    assert.ok(split[family.source].length > 0, family.display);
    const head = `{"source":"${family.source}","trigger":"${family.trigger}",`;
    for (const line of split[family.source]) assert.ok(line.toString().startsWith(head), line.toString());
  }
  // Every line, in order: the manifest again.
  const lines = Object.values(split).flat();
  assert.ok(Buffer.concat(lines.flatMap((line) => [line, Buffer.from('\n')])).equals(jsonl));
  assert.ok(lines.every((line) => line.buffer === jsonl.buffer));  // views, not copies
  assert.deepEqual(ravelin.splitFamilies(jsonl.toString()), Object.fromEntries(
    Object.entries(split).map(([source, buffers]) => [source, buffers.map(String)])));

  // A raw newline inside a day group name, even before what looks like a line, stays in its sky line.
  const sky = '{"source":"sky_chain","trigger":"time_of_day","day_group_name":"a\n{\\"source\\":\\"ambient\\"}\n"}';
  const ambient = '{"source":"ambient","trigger":"terrain"}';
  assert.deepEqual(ravelin.splitFamilies(`${ambient}\n${sky}\n${sky}`),
    { ambient: [ambient], animation_sound: [], physics_script_particle: [], sky_chain: [sky, sky] });
  assert.deepEqual(Object.values(ravelin.splitFamilies('')).flat(), []);
  for (const bad of ['{"source":"nothing"}\n', 'ambient\n', '{"source":"__proto__"}\n', '\n\n'])
    assert.throws(() => ravelin.splitFamilies(bad), RangeError, bad);
  assert.throws(() => ravelin.splitFamilies([1, 2]), TypeError);
});

test('the ES module exports the same objects', async () => {
  const esm = await import('../index.mjs');
  assert.equal(esm.bake, ravelin.bake);
  assert.equal(esm.eventFamilies, ravelin.eventFamilies);
  assert.equal(esm.splitFamilies, ravelin.splitFamilies);
  assert.equal(esm.BakeSession, ravelin.BakeSession);
  assert.equal(esm.default, ravelin);
  assert.equal(esm.version, execFileSync(command, ['--version']).toString().trim().split(' ').pop());
});
