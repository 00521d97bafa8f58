// The page's start: reads the world's data from the page's JSON elements and
// draws it into the page's elements.
import {startAtlas} from "./atlas_map.js";

performance.mark("atlas-script-start");
const byId = (id) => document.getElementById(id);
// An embedded JSON element's value, or null when the page has none.
const embedded = (id) => { const el = byId(id); return el ? JSON.parse(el.textContent) : null; };
const world = {
  entries: embedded("atlas-data"),
  families: embedded("atlas-families"),
  terrain: embedded("atlas-terrain"),
  patch: embedded("atlas-patch"),
  withPictures: document.body.dataset.pictures === "1",
};
performance.mark("atlas-data-parsed");

export const atlas = startAtlas(world, {
  view: byId("view"), canvas: byId("map"), legend: byId("legend"), tip: byId("tip"), panel: byId("panel"),
  status: byId("status"), terrainImage: byId("terrain-image"), zoomIn: byId("zoom-in"), zoomOut: byId("zoom-out"),
  zoomFit: byId("zoom-fit"), measure: byId("measure"), overlay: byId("overlay"), showTerrain: byId("show-terrain"),
  jump: byId("jump"), jumpBox: byId("jump-box"), jumpMessage: byId("jump-message"),
});
