// ArchiveEditor, extract and pack against `ravelin-bake dat cp|extract|pack|ls` over copies of a
// sample world: the same archive bytes, the same folders, the same errors. ravelin-bake is
// RAVELIN_BAKE, else RAVELIN_BUILD_DIR/tools/ravelin-bake.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const ravelin = require('..');

const command = process.env.RAVELIN_BAKE || path.join(process.env.RAVELIN_BUILD_DIR || '', 'tools', 'ravelin-bake');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'ravelin-node-editor-'));
const world = path.join(work, 'world');
execFileSync(command, ['sample-world', world]);
const portal = path.join(world, 'client_portal.dat');
test.after(() => fs.rmSync(work, { recursive: true, force: true }));

const run = (args) => execFileSync(command, args, { stdio: ['ignore', 'pipe', 'pipe'] });
function commandError(args) {
  const result = spawnSync(command, args);
  assert.equal(result.status, 1);
  return result.stderr.toString().trimEnd().replace(/^error: /, '');
}
function folder(dir) {
  const out = {};
  for (const name of fs.readdirSync(dir, { recursive: true }).sort()) {
    const file = path.join(dir, name);
    if (fs.statSync(file).isFile()) out[name] = fs.readFileSync(file).toString('hex');
  }
  return out;
}

test('copyFrom and commitAsync give the archive `dat cp` gives', async () => {
  const dir = fs.mkdtempSync(path.join(work, 'cp-'));
  run(['dat', 'extract', '--stored', path.join(world, 'client_cell_1.dat'), path.join(dir, 'cell')]);
  run(['dat', 'pack', path.join(dir, 'cell'), '-o', path.join(dir, 'a.dat'), '--block-size', '512']);
  fs.copyFileSync(path.join(dir, 'a.dat'), path.join(dir, 'b.dat'));
  const ids = [0x02000101, 0x03000200, 0x13000000];
  run(['dat', 'cp', portal, path.join(dir, 'a.dat'), ...ids.map(String)]);

  const source = new ravelin.Archive(portal);
  const editor = new ravelin.ArchiveEditor(path.join(dir, 'b.dat'));
  const before = editor.entryCount;
  editor.copyFrom(source, ids);
  assert.equal(editor.entryCount, before + ids.length);
  const stats = await editor.commitAsync();
  assert.ok(stats.blocksWritten > 0 && stats.reuse === true);
  assert.deepEqual(fs.readFileSync(path.join(dir, 'b.dat')), fs.readFileSync(path.join(dir, 'a.dat')));
  assert.deepEqual(run(['dat', 'ls', path.join(dir, 'b.dat')]), run(['dat', 'ls', path.join(dir, 'a.dat')]));

  // An id the source lacks: the command's error, nothing put.
  const message = commandError(['dat', 'cp', portal, path.join(dir, 'a.dat'), '0x03000200', '0x0BADBEEF']);
  assert.throws(() => editor.copyFrom(source, [0x03000200, 0x0badbeef]), { status: 'RAVELIN_ERROR_NOT_FOUND', message });
  assert.equal(editor.entryCount, before + ids.length);
  assert.throws(() => editor.copyFrom({}, ids), TypeError);
  assert.throws(() => new ravelin.ArchiveEditor(path.join(dir, 'b.dat')), { status: 'RAVELIN_ERROR_BUSY' });
  editor.close();
  source.close();
});

test('put, putStored, remove, find and abandon', () => {
  const dir = fs.mkdtempSync(path.join(work, 'edit-'));
  const file = path.join(dir, 'new.dat');
  const editor = ravelin.ArchiveEditor.create(file, { blockSize: 64, like: portal });
  editor.put(0x0a000001, Buffer.from('sound bytes '.repeat(20)), { compressed: true, timestamp: 9 });
  editor.putStored(0x0a000002, Buffer.from('stored'), { bitFlags: 0x10, timestamp: 7, version: 8 });
  editor.put(0x0a000003, Buffer.from('gone'));
  editor.remove(0x0a000003);
  assert.throws(() => editor.remove(0x0a000003), { status: 'RAVELIN_ERROR_NOT_FOUND' });
  assert.deepEqual(editor.find(0x0a000002), { id: 0x0a000002, bitFlags: 0x10, size: 6, timestamp: 7, version: 8 });
  assert.equal(editor.find(0x0a000003), null);
  editor.commit();
  editor.put(0x0a000004, Buffer.from('dropped'));
  editor.abandon();
  assert.equal(editor.entryCount, 2);
  editor.close();
  const archive = new ravelin.Archive(file);
  assert.equal(archive.getFile(0x0a000001).toString(), 'sound bytes '.repeat(20));
  assert.equal(archive.getFile(0x0a000002).toString(), 'stored');
  archive.close();
  run(['dat', 'check', file]);
});

test('extract and pack write what the commands write', () => {
  const dir = fs.mkdtempSync(path.join(work, 'folders-'));
  for (const stored of [false, true]) {
    const cli = path.join(dir, `cli-${stored}`);
    const lib = path.join(dir, `lib-${stored}`);
    run(['dat', 'extract', portal, cli, ...(stored ? ['--stored'] : [])]);
    ravelin.extract(portal, lib, { stored });
    assert.deepEqual(folder(lib), folder(cli));
    run(['dat', 'pack', cli, '-o', path.join(dir, 'cli.dat'), '--block-size', '1024']);
    ravelin.pack(lib, path.join(dir, 'lib.dat'), { blockSize: 1024 });
    assert.deepEqual(fs.readFileSync(path.join(dir, 'lib.dat')), fs.readFileSync(path.join(dir, 'cli.dat')));
  }
  ravelin.extract(portal, path.join(dir, 'lib-true'), { ids: [0x03000200], stored: true, force: true });
  assert.deepEqual(fs.readdirSync(path.join(dir, 'lib-true', 'files')), ['0x03000200']);
  fs.rmSync(path.join(dir, 'lib-false', 'index.jsonl'));
  const message = commandError(['dat', 'pack', path.join(dir, 'lib-false'), '-o', path.join(dir, 'x.dat')]);
  assert.throws(() => ravelin.pack(path.join(dir, 'lib-false'), path.join(dir, 'y.dat')),
    { status: 'RAVELIN_ERROR_ARGUMENT', message });
  assert.ok(!fs.existsSync(path.join(dir, 'y.dat')));
});
