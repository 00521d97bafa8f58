// The colours of the map: the measure's colour scale, the marks of failed
// landblocks and of a patch's changes.

export const EMPTY = "#ffffff", FAILED = "#e8192c", OUTSIDE = "#dde3e8";
// A landblock whose measure is 0, in the heat layer without the land; over the
// land it is left transparent, so that only landblocks with events are tinted.
export const ZERO = "#c8c8c8";
// Opacity of the heat layer over the land, the same for every value: the
// scale's low end tints the land as plainly as its high end.
export const HEAT_ALPHA = 0.72;
// Patch changes: frame colour and what the legend calls them.
export const CHANGES = {changed: ["#ff9f1c", "changed"], added: ["#00e5ff", "added"], removed: ["#ff2e93", "removed"]};
export const STOPS = ["#440154", "#482878", "#3e4989", "#31688e", "#26828e", "#1f9e89", "#35b779", "#6ece58",
                      "#b5de2b", "#fde725"];

// "#rrggbb" -> [r, g, b].
const rgb = (hex) => [1, 3, 5].map((k) => parseInt(hex.slice(k, k + 2), 16));

// [r, g, b] -> one pixel of a little-endian RGBA image, opaque.
const packed = (c) => ((255 << 24) | (c[2] << 16) | (c[1] << 8) | c[0]) >>> 0;

// 256 colours along the stops: packed pixels and the same as CSS "rgb(r,g,b)";
// and ZERO as CSS "rgb(r,g,b)".
export function colourScale() {
  const stopRgb = STOPS.map(rgb);
  const pixels = new Uint32Array(256), css = [];
  for (let i = 0; i < 256; i++) {
    const f = (i / 255) * (STOPS.length - 1), k = Math.min(Math.floor(f), STOPS.length - 2), t = f - k;
    const c = stopRgb[k].map((v, j) => Math.round(v + (stopRgb[k + 1][j] - v) * t));
    pixels[i] = packed(c);
    css.push(`rgb(${c[0]},${c[1]},${c[2]})`);
  }
  const zero = rgb(ZERO);
  return {pixels, css, zero: `rgb(${zero[0]},${zero[1]},${zero[2]})`};
}

export const FAILED_PIXEL = packed(rgb(FAILED)), ZERO_PIXEL = packed(rgb(ZERO));
