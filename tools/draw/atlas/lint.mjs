// Lints the atlas page's scripts: eslint's recommended rules for browser
// modules and a few of this code's habits. The files as they are in the tree,
// and the builds' joined scripts, in which every file shares one scope.
//   node lint.mjs PAGE_DIR [JOINED_SCRIPT...]
// Prints each finding and "N passed, N failed" over the files; exit 1 on a finding.
import path from "node:path";
import js from "@eslint/js";
import {ESLint} from "eslint";
import globals from "globals";

const [pageDir, ...joined] = process.argv.slice(2);
const config = [
  js.configs.recommended,
  {
    languageOptions: {ecmaVersion: 2022, sourceType: "module", globals: globals.browser},
    linterOptions: {reportUnusedDisableDirectives: "error"},
    rules: {
      "eqeqeq": "error",
      "no-shadow": "error",
      "no-var": "error",
      "prefer-const": "error",
    },
  },
];

// ESLint leaves out files outside its working directory: one run per directory.
async function lint(dir, files) {
  const eslint = new ESLint({cwd: dir, overrideConfigFile: true, overrideConfig: config});
  return eslint.lintFiles(files.map((f) => path.resolve(f)));
}

const groups = new Map([[path.resolve(pageDir), [path.join(pageDir, "*.js")]]]);
for (const file of joined) {
  const dir = path.dirname(path.resolve(file));
  groups.set(dir, [...(groups.get(dir) ?? []), file]);
}
const results = [];
for (const [dir, files] of groups) results.push(...await lint(dir, files));
const formatter = await new ESLint().loadFormatter("stylish");
const text = await formatter.format(results);
if (text) console.log(text);
const bad = results.filter((r) => r.errorCount + r.warningCount > 0).length;
console.log(`${results.length - bad} passed, ${bad} failed`);
process.exit(bad === 0 && results.length > joined.length ? 0 : 1);
