// The map: the land and the world's measures drawn by the atlas's own drawing
// module (tools/draw/atlas/atlas_map.js) into the page's map elements. The
// atlas draws one index for its life; when the world has been baked the page
// starts it again over fresh copies of its elements with the new index.
import {startAtlas} from "../../tools/draw/atlas/atlas_map.js";

// The elements the atlas draws into or listens to, by id; the others in them
// come along with these.
const ATLAS_ELEMENTS = ["view", "status", "measure", "overlay", "show-terrain", "jump", "jump-message"];

export class MapView {
  // onSelect(n): a landblock was clicked or jumped to (n its number, 0xA9B4).
  constructor(onSelect) {
    this.onSelect = onSelect;
    this.pristine = new Map(ATLAS_ELEMENTS.map((id) => [id, document.getElementById(id).cloneNode(true)]));
    this.atlas = null;
    this.observer = null;
  }

  // The land as an image the atlas can draw: a canvas with the land's pixels,
  // which it waits on like the <img> of its own pages.
  static landImage(land) {
    const canvas = document.createElement("canvas");
    canvas.id = "land-image";
    canvas.hidden = true;
    canvas.width = land.width;
    canvas.height = land.height;
    if (land.width > 0 && land.height > 0)
      canvas.getContext("2d").putImageData(new ImageData(land.rgba, land.width, land.height), 0, 0);
    canvas.decode = () => Promise.resolve();
    return canvas;
  }

  // Draws the world: `land` from the module's land call, `summary` its
  // landSummary, `families` [{source, display}], `entries` the index lines
  // (none before the world is baked).
  show({land, summary, families, entries}) {
    if (this.atlas) for (const id of ATLAS_ELEMENTS) document.getElementById(id).replaceWith(this.pristine.get(id).cloneNode(true));
    const old = document.getElementById("land-image");
    const image = old && land === this.land ? old : MapView.landImage(land);
    if (image !== old) { if (old) old.remove(); document.body.append(image); }
    // The canvas holds the pixels now: the page keeps the bounds only.
    land.rgba = null;
    this.land = land;
    const terrain = {x0: land.x0, y0: land.y0, columns: land.columns, rows: land.rows, width: land.width,
      height: land.height, names: summary.names, palette: summary.palette, blocks: summary.blocks};
    const byId = (id) => document.getElementById(id);
    const panel = byId("atlas-panel");
    this.atlas = startAtlas({entries, families, terrain, patch: null, withPictures: false}, {
      view: byId("view"), canvas: byId("map"), legend: byId("legend"), tip: byId("tip"), panel,
      status: byId("status"), terrainImage: image, zoomIn: byId("zoom-in"), zoomOut: byId("zoom-out"),
      zoomFit: byId("zoom-fit"), measure: byId("measure"), overlay: byId("overlay"), showTerrain: byId("show-terrain"),
      jump: byId("jump"), jumpBox: byId("jump-box"), jumpMessage: byId("jump-message"),
    });
    document.title = "Ravelin";
    // The atlas fills its own panel on a click or a jump: the page shows its own instead.
    if (this.observer) this.observer.disconnect();
    this.observer = new MutationObserver(() => {
      const n = parseInt(panel.dataset.landblock, 16);
      if (panel.childElementCount > 0 && n >= 0) this.onSelect(n);
      panel.replaceChildren();
    });
    this.observer.observe(panel, {childList: true});
  }

  // Selects landblock `text` ("0xA9B4") as the jump box does.
  jump(text) {
    const box = document.getElementById("jump-box");
    box.value = text;
    document.getElementById("jump").requestSubmit();
  }
}
