// The folder tool's words for each verdict: the page and `vkt2 t` must read the same.
const failures = {
  1: () => 'not a VKT2 file',
  7: () => 'cut short: the file ends inside its 8-byte header',
  8: (v) => `cut short: the stream runs ${v.bytesMissing} bytes past the end of the file`,
};
const pastLimit = 'the stream needs bytes past the first 65,536; it cannot be decoded';

/** The failure's sentence, or null when the file passes. */
export function failureWords(v) {
  if (v.code === 0) return null;
  return (failures[v.code] ?? (() => pastLimit))(v);
}

/** The warnings of a file that passes, each a sentence starting "warning: ". */
export function warningWords(v) {
  if (v.code !== 0) return [];
  const out = [];
  if (v.bytesIgnored) out.push('warning: longer than 65,536 bytes; the rest is never read');
  if (v.bytesUnused) out.push(`warning: ${v.bytesUnused} unused bytes after the end of the stream`);
  return out;
}
