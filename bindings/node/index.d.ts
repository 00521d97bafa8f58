// Types of the ravelin package (index.js, index.mjs).

/** The options of `ravelin-bake bake`. */
export interface BakeOptions {
  /** The region file id (--region); 0x13000000 by default. */
  region?: number;
  /** With setupTable: the placed objects from the spawns manifest (--spawns-dir, --setup-table). */
  spawnsDir?: string | null;
  setupTable?: string | null;
  /** false: leave out the sky particle chain (--no-sky). */
  sky?: boolean;
}

export type Status =
  | 'RAVELIN_ERROR_ARGUMENT'
  | 'RAVELIN_ERROR_HANDLE'
  | 'RAVELIN_ERROR_DAT'
  | 'RAVELIN_ERROR_BAKE'
  | 'RAVELIN_ERROR_MEMORY'
  | 'RAVELIN_ERROR_INTERNAL';

/** A failed call; `message` is the display text (for a bake, what `ravelin-bake bake` prints after "error: "). */
export class RavelinError extends Error {
  readonly status: Status;
  /** Set when a bake with inputs failed: the records it read up to its failure. */
  readonly inputs?: BakeInputs;
}

/** The archive records a bake read or looked for, file ids ascending. */
export interface BakeInputs {
  portal: number[];
  cell: number[];
}

export interface RecordedBake {
  jsonl: Buffer;
  inputs: BakeInputs;
}

/** "0.2.0", as `ravelin-bake --version`. */
export const version: string;

/** One event family of the manifest and every name it goes by. */
export interface EventFamily {
  /** The "source" of its manifest lines: "ambient". */
  readonly source: string;
  /** The "trigger" of its manifest lines: "terrain". */
  readonly trigger: string;
  /** The table of its rows in `ravelin-bake bake-all --db`: "ambient". */
  readonly table: string;
  /** Its list in the Python package's Bake: "ambient". */
  readonly python: string;
  /** Its name for people: "ambient". */
  readonly display: string;
}

/** The four event families in manifest order: ambient, animation sound, physics particle, sky (frozen). */
export const eventFamilies: readonly EventFamily[];

/** A manifest's lines (without their newlines) keyed by their family's `source`, in manifest order; Buffers
 * (views of the input) for a Buffer, strings for a string. A line of no family is a RangeError. */
export function splitFamilies(jsonl: Uint8Array): Record<string, Buffer[]>;
export function splitFamilies(jsonl: string): Record<string, string[]>;

/** One landblock (a number up to 0xFFFF or a whole id 0xA9B40000): the manifest's JSON Lines bytes. */
export function bake(datDir: string, landblock: number, options?: BakeOptions): Buffer;
/** bake() on a worker thread. */
export function bakeAsync(datDir: string, landblock: number, options?: BakeOptions): Promise<Buffer>;

/** bake() and its inputs. */
export function bakeWithInputs(datDir: string, landblock: number, options?: BakeOptions): RecordedBake;

export class Archive {
  constructor(path: string);
  readonly entryCount: number;
  /** The file's bytes, decompressed (`ravelin-bake dat get`). */
  getFile(fileId: number): Buffer;
  /** The document of `ravelin-bake dat show`, parsed. */
  show(fileId: number, options?: { type?: string | null }): unknown;
  /** The document of `ravelin-bake dat show` as text, without its newline. */
  showText(fileId: number, options?: { type?: string | null; compact?: boolean }): string;
  close(): void;
}

export class BakeSession {
  constructor(datDir: string, options?: BakeOptions);
  /** Every landblock with a CellLandblock, ascending, as whole ids (0xA9B40000). */
  landblocks(): number[];
  bake(landblock: number): Buffer;
  bakeAsync(landblock: number): Promise<Buffer>;
  bakeWithInputs(landblock: number): RecordedBake;
  close(): void;
}

export interface EditorEntry {
  id: number;
  /** Bit 0: the body is stored compressed. */
  bitFlags: number;
  /** The stored length. */
  size: number;
  timestamp: number;
  version: number;
}

export interface CommitStats {
  blocksWritten: number;
  blocksReused: number;
  blocksAppended: number;
  blocksFreed: number;
  blocksReclaimed: number;
  blocksLeftLeaked: number;
  reuse: boolean;
}

export class ArchiveEditor {
  constructor(path: string);
  static create(path: string, options?: { blockSize?: number; like?: string | null }): ArchiveEditor;
  put(fileId: number, data: Uint8Array, options?: { compressed?: boolean; flags?: number | null;
    timestamp?: number | null; version?: number | null }): void;
  putStored(fileId: number, stored: Uint8Array, options?: { bitFlags?: number; timestamp?: number; version?: number }): void;
  remove(fileId: number): void;
  /** Entries of `from` with their stored bytes and fields, into the batch. */
  copyFrom(from: Archive, ids: number[]): void;
  commit(): CommitStats;
  commitAsync(): Promise<CommitStats>;
  abandon(): void;
  find(fileId: number): EditorEntry | null;
  readonly entryCount: number;
  close(): void;
}

/** As `ravelin-bake dat extract`. */
export function extract(archive: string, dir: string, options?: { ids?: number[]; stored?: boolean; force?: boolean }): void;
/** As `ravelin-bake dat pack DIR -o ARCHIVE`. */
export function pack(dir: string, archive: string, options?: { blockSize?: number | null }): void;

declare const ravelin: {
  version: typeof version;
  eventFamilies: typeof eventFamilies;
  splitFamilies: typeof splitFamilies;
  bake: typeof bake;
  bakeAsync: typeof bakeAsync;
  bakeWithInputs: typeof bakeWithInputs;
  Archive: typeof Archive;
  BakeSession: typeof BakeSession;
  RavelinError: typeof RavelinError;
  ArchiveEditor: typeof ArchiveEditor;
  extract: typeof extract;
  pack: typeof pack;
};
export default ravelin;
