// Builds ravelin.html, the page in one file: page/page.html with page.css
// inline, the module as base64, the workers' script as text (the page starts
// them from a blob URL) and the page's script, each script its modules joined
// (the atlas's drawing module among them, from tools/draw/atlas/). A page
// opened from disk cannot import other files, so the build does what an
// import would: each module becomes a function run once, in the order of the
// imports, returning the names other modules import from it.
//   node build_page.mjs MODULE.wasm OUT.html
import fs from "node:fs";
import path from "node:path";
import {fileURLToPath} from "node:url";

const here = path.dirname(fileURLToPath(import.meta.url));
const IMPORT = /^import \{ *([A-Za-z_$][\w$]*(?: *, *[A-Za-z_$][\w$]*)*) *,? *\} from "(\.{1,2}\/[A-Za-z0-9_./]+\.js)";$/;

// The modules `entry` needs, each after those it imports:
// [{file, imports: [{names, file}], body}].
export function modulesOf(entry) {
  const order = [], seen = new Set();
  const visit = (file, from) => {
    if (seen.has(file)) return;
    seen.add(file);
    if (!fs.existsSync(file)) throw new Error(`${from}: imports ${file}, which does not exist`);
    const lines = fs.readFileSync(file, "utf8").split("\n");
    const imports = [];
    const body = lines.map((line) => {
      if (!line.startsWith("import ")) return line;
      const m = IMPORT.exec(line);
      if (!m) throw new Error(`${file}: write imports on one line as import {a, b} from "./file.js"; (no renaming): ${line}`);
      imports.push({names: m[1].split(",").map((n) => n.trim()).filter(Boolean), file: path.resolve(path.dirname(file), m[2])});
      return "";
    });
    for (const i of imports) visit(i.file, file);
    const text = body.join("\n");
    if (/^export (default|\{|\*)/m.test(text)) throw new Error(`${file}: export declarations only (export function, const, class)`);
    order.push({file, imports, body: text.replace(/^export (?=(async +)?(function|class|const|let)\b)/gm, "")});
  };
  visit(path.resolve(entry), entry);
  return order;
}

// One script of the modules of `entry`: each in its own function scope.
export function joinModules(entry) {
  const modules = modulesOf(entry);
  const slot = new Map(modules.map((m, k) => [m.file, `module${k}`]));
  const wanted = new Map(modules.map((m) => [m.file, new Set()]));
  for (const m of modules) for (const i of m.imports) for (const name of i.names) wanted.get(i.file).add(name);
  const parts = modules.map((m, k) => {
    const imports = m.imports.map((i) => `const {${i.names.join(", ")}} = ${slot.get(i.file)};\n`).join("");
    const name = path.relative(path.join(here, ".."), m.file);
    // The entry is run for what it does; the others give what is imported from them.
    if (k === modules.length - 1) return `// ${name}\n(() => {\n${imports}${m.body}\n})();\n`;
    const exported = [...wanted.get(m.file)];
    return `// ${name}\nconst ${slot.get(m.file)} = (() => {\n${imports}${m.body}\nreturn {${exported.join(", ")}};\n})();\n`;
  });
  return `"use strict";\n${parts.join("\n")}`;
}

// Nothing inside a script element may end or bend it.
function checkEmbeddable(what, text) {
  const lower = text.toLowerCase();
  for (const bad of ["</script", "<!--"]) if (lower.includes(bad)) throw new Error(`${what} contains "${bad}", which would end its script element`);
}

export function buildPage(moduleBytes) {
  const pageDir = path.join(here, "page");
  const html = fs.readFileSync(path.join(pageDir, "page.html"), "utf8");
  const css = fs.readFileSync(path.join(pageDir, "page.css"), "utf8");
  const link = "<link rel=\"stylesheet\" href=\"page.css\">\n";
  const tag = "<script type=\"module\" src=\"main.js\"></script>\n";
  if (!html.includes(link) || !html.includes(tag)) throw new Error("page.html must link page.css and load main.js as a module");
  const worker = joinModules(path.join(pageDir, "worker.js"));
  const main = joinModules(path.join(pageDir, "main.js"));
  checkEmbeddable("the workers' script", worker);
  checkEmbeddable("the page's script", main);
  checkEmbeddable("page.css", css);
  const data = `<script type="application/octet-stream" id="ravelin-module">${Buffer.from(moduleBytes).toString("base64")}</script>\n` +
    `<script type="text/plain" id="worker-script">\n${worker}</script>\n` +
    `<script type="module">\n${main}</script>\n`;
  return {html: html.replace(link, `<style>\n${css}</style>\n`).replace(tag, data), worker, main};
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const [modulePath, out] = process.argv.slice(2);
  if (!out) {
    console.error("usage: build_page.mjs MODULE.wasm OUT.html");
    process.exit(2);
  }
  try {
    const built = buildPage(fs.readFileSync(modulePath));
    fs.writeFileSync(out, built.html);
    // The joined scripts beside the page, for the linter.
    fs.writeFileSync(out.replace(/\.html$/, "") + ".worker.js", built.worker);
    fs.writeFileSync(out.replace(/\.html$/, "") + ".main.js", built.main);
  } catch (error) {
    console.error(`build_page.mjs: ${error.message}`);
    process.exit(1);
  }
}
