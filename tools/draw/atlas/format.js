// Texts of the page: numbers as people read them and landblock numbers as
// people type them.

// 65025 -> "65,025", without Intl (whose first use costs time before the first draw).
export const grouped = (v) => String(v).replace(/\B(?=(\d{3})+(?!\d))/g, ",");

// Landblock number (x in the high byte, y in the low one) -> "A9B4".
export const hex4 = (n) => n.toString(16).toUpperCase().padStart(4, "0");

// "A9B4", "0xA9B4" or a whole id "0xA9B40000" -> its landblock number, or -1.
export function parseLandblock(text) {
  const m = /^(?:0x)?([0-9a-f]{1,4}|[0-9a-f]{8})$/i.exec(text.trim());
  if (!m) return -1;
  const v = parseInt(m[1], 16);
  return m[1].length === 8 ? v >>> 16 : v;
}
