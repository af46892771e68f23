// Types for the vkt2 package.

/** The library's error codes and limits (`codes`, `MAX_ORIGINAL_SIZE`, `MAX_FILE_SIZE`). */
import { codes } from './vkt2-header.js';
export { codes, MAX_FILE_SIZE, MAX_ORIGINAL_SIZE } from './vkt2-header.js';
export type Vkt2Code = (typeof codes)[keyof typeof codes];

/** The WebAssembly library's version, e.g. "1.0.0". */
export declare const version: string;

/** Thrown by every function here for every failure, INVALID_ARGUMENT for an input of a wrong type. */
export declare class Vkt2Error extends Error {
  /** The message defaults to the library's short description of the code. */
  constructor(code: Vkt2Code, message?: string);
  readonly name: 'Vkt2Error';
  /** The library's code, one of `codes`. */
  readonly code: Vkt2Code;
  /** The code's key in `codes`, e.g. "CUT_SHORT". */
  readonly codeName: keyof typeof codes | 'UNKNOWN';
}

export type Bytes = Uint8Array | ArrayBuffer | ArrayBufferView;

/** What `test` found; counts are 0 where they do not apply. */
export interface Verdict {
  verdict: 'pass' | 'warn' | 'fail';
  /** 0 when it passes; otherwise NOT_VKT2, HEADER_CUT_SHORT, CUT_SHORT or STREAM_PAST_LIMIT. */
  code: Vkt2Code;
  codeName: keyof typeof codes;
  /** Why it fails, worded as `vkt2 t` words it; null when it passes. */
  failure: string | null;
  /** Warnings of a file that passes, worded as `vkt2 t` words them. */
  warnings: string[];
  fileSize: number;
  decodedSize: number;
  streamUsed: number;
  bytesMissing: number;
  bytesUnused: number;
  bytesIgnored: number;
}

/** Tests a file the way `vkt2 t` does; never throws for bad data. */
export declare function test(data: Bytes): Verdict;
/** The decoded size its header states; throws Vkt2Error(NOT_VKT2) for other data. */
export declare function decodedSize(data: Bytes): number;
/**
 * Decodes a VKT2 file. A file whose test fails is refused with that failure's code unless
 * `zeroFill` is set: then a file cut short decodes as `vkt2x` decodes it, zeros past its end.
 */
export declare function decompress(
  data: Bytes,
  options?: { zeroFill?: boolean } | null,
): Uint8Array;
/** Compresses up to 65,535 bytes into a whole VKT2 file, as `vkt2c` writes it. */
export declare function compress(data: Bytes): Uint8Array;
