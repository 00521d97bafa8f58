// The files the user gives the page: picked with either input, or dropped
// (files, or a folder read through its entries), named as the module reads
// them: "client_cell_1.dat" for a loose file, "world/client_cell_1.dat" for
// one inside a picked folder.

export const PORTAL_NAME = "client_portal.dat", CELL_NAME = "client_cell_1.dat";
export const SETUP_TABLE_NAME = "wcid_to_setup.json";

// [name, File] pairs of an <input type=file>'s files.
export function namedFiles(fileList) {
  return [...fileList].map((file) => [file.webkitRelativePath || file.name, file]);
}

// [name, File] pairs of a drop: a dropped folder is read whole.
export async function droppedFiles(dataTransfer) {
  const entries = [...dataTransfer.items].map((item) => item.webkitGetAsEntry && item.webkitGetAsEntry()).filter(Boolean);
  if (entries.length === 0) return namedFiles(dataTransfer.files);
  const out = [];
  const walk = async (entry, prefix) => {
    if (entry.isFile) {
      const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
      out.push([prefix + entry.name, file]);
      return;
    }
    const reader = entry.createReader();
    for (;;) {
      const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
      if (batch.length === 0) break;
      for (const child of batch) await walk(child, `${prefix}${entry.name}/`);
    }
  };
  for (const entry of entries) await walk(entry, "");
  return out;
}

const folderOf = (name) => name.includes("/") ? name.slice(0, name.lastIndexOf("/")) : "";
const baseName = (name) => name.slice(name.lastIndexOf("/") + 1);

// Where the world lies among the named files: the folder of the portal
// archive (or of the cell archive when there is no portal one), its spawns
// folder when it has one with its setup table, and a note on what is missing
// for the page to show beside the module's own error. Without either archive
// the folder is the one picked ("" for loose files), so that the module's
// error names what the user gave.
export function locateWorld(named) {
  const names = named.map(([name]) => name);
  const find = (base) => names.filter((name) => baseName(name) === base).sort((a, b) => a.split("/").length - b.split("/").length)[0];
  const archive = find(PORTAL_NAME) ?? find(CELL_NAME);
  const tops = new Set(names.map((name) => name.includes("/") ? name.split("/")[0] : ""));
  const datDir = archive !== undefined ? folderOf(archive) : tops.size === 1 ? [...tops][0] : "";
  const prefix = datDir === "" ? "" : `${datDir}/`;
  const spawnsDir = `${prefix}spawns`;
  const setupTable = `${spawnsDir}/${SETUP_TABLE_NAME}`;
  const withSpawns = names.includes(setupTable);
  const missing = [PORTAL_NAME, CELL_NAME].filter((base) => !names.includes(prefix + base));
  return {datDir, spawnsDir: withSpawns ? spawnsDir : null, setupTable: withSpawns ? setupTable : null, missing};
}
