// A JSON document as a folding tree: objects and arrays are <details> that
// open on a click, their first two levels open from the start.
import {element} from "./util.js";

const OPEN_LEVELS = 2;

function leaf(key, value) {
  const line = element("div", undefined, "leaf");
  if (key !== null) line.append(element("span", `${key}: `, "key"));
  const kind = value === null ? "null" : typeof value;
  line.append(element("span", kind === "string" ? JSON.stringify(value) : String(value), kind));
  return line;
}

export function jsonTree(value, key = null, level = 0) {
  if (value === null || typeof value !== "object") return leaf(key, value);
  const entries = Array.isArray(value) ? value.map((v, k) => [k, v]) : Object.entries(value);
  const node = element("details");
  node.open = level < OPEN_LEVELS;
  const summary = element("summary");
  if (key !== null) summary.append(element("span", `${key}: `, "key"));
  summary.append(Array.isArray(value) ? `[${entries.length}]` : `{${entries.length}}`);
  node.append(summary);
  // Children are made when the node first opens: a large record stays quick.
  const fill = () => { for (const [k, v] of entries) node.append(jsonTree(v, k, level + 1)); };
  if (node.open) fill();
  else node.addEventListener("toggle", fill, {once: true});
  return node;
}
