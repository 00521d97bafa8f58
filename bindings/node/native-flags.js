// The compiler and linker flags binding.gyp builds the native part with:
// RAVELIN_BUILD_DIR (a CMake build tree) takes its headers from the source tree
// it was configured from and links its capi/libravelin.so; otherwise
// `pkg-config ravelin-c` names an installed Ravelin. The library's directory
// goes into the module's run path, so no LD_LIBRARY_PATH is needed.
//   node native-flags.js include|libraries
'use strict';

const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

function fail(message) {
  console.error(`ravelin: ${message}`);
  process.exit(1);
}

function fromBuildTree(buildDir) {
  const cache = path.join(buildDir, 'CMakeCache.txt');
  if (!fs.existsSync(cache)) fail(`RAVELIN_BUILD_DIR=${buildDir} is not a CMake build tree (no CMakeCache.txt)`);
  const source = /^CMAKE_HOME_DIRECTORY:INTERNAL=(.*)$/m.exec(fs.readFileSync(cache, 'utf8'));
  const libDir = path.join(buildDir, 'capi');
  if (!source || !fs.existsSync(path.join(libDir, 'libravelin.so')))
    fail(`no capi/libravelin.so in ${buildDir}: build it first (cmake --build ${buildDir} --target ravelin_c)`);
  return { include: [path.join(source[1], 'include')], libraries: [`-L${libDir}`, '-lravelin', `-Wl,-rpath,${libDir}`] };
}

function fromPkgConfig() {
  const run = (...args) => {
    try {
      return execFileSync('pkg-config', [...args, 'ravelin-c'], { encoding: 'utf8' }).trim();
    } catch {
      fail('neither RAVELIN_BUILD_DIR nor `pkg-config ravelin-c` names a Ravelin to build against ' +
        '(install Ravelin, or set PKG_CONFIG_PATH or RAVELIN_BUILD_DIR)');
    }
  };
  const split = (text) => text.split(/\s+/).filter(Boolean);
  const libDir = run('--variable=libdir');
  return {
    include: split(run('--cflags-only-I')).map((flag) => flag.replace(/^-I/, '')),
    libraries: [...split(run('--libs')), `-Wl,-rpath,${libDir}`],
  };
}

const what = process.argv[2];
if (what !== 'include' && what !== 'libraries') fail('usage: node native-flags.js include|libraries');
const buildDir = process.env.RAVELIN_BUILD_DIR;
const flags = buildDir ? fromBuildTree(path.resolve(__dirname, buildDir)) : fromPkgConfig();
console.log(flags[what].join(' '));
