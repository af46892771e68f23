#!/usr/bin/python3
"""Decodes a collection of VKT2 files on a dask.distributed cluster, as `vkt2 x -o OUT SRC` does
on one machine: the same files decoded to the same relative paths and bytes under OUT, nothing
else copied, and on standard output the JSON Lines report of `vkt2 x --json`.

Usage: decode_collection.py SRC OUT [--scheduler ADDRESS] [--zero-fill] [-f] [--batch N]

SRC and OUT are local paths or fsspec URLs (s3://bucket/prefix, gs://..., with the matching
fsspec package installed on the client and every worker). Without --scheduler, a LocalCluster of
two workers runs here. The workers import the vkt2 package and must reach OUT: a local OUT with a
remote cluster needs a file system every worker shares. Exit status 0 when every file taken was
decoded, 1 when any failed, 2 for a bad command line or a SRC that cannot be listed.
"""

from __future__ import annotations

import argparse
import contextlib
import os
import stat
import sys
from collections import deque

import fsspec
from fsspec.implementations.local import LocalFileSystem

HEAD = 65536  # only a file's first 65,536 bytes count; the rest is never read
BACKUP, TEMPORARY, LINK, SPECIAL = "a backup", "a temporary file", "a link", "not a regular file"
NOT_VKT2, OUTPUT_FOLDER = "not a VKT2 file", "the output folder"


def shown(text: str) -> str:
    """A name as the tool shows it to people: controls, stray bytes and the backslash escaped."""
    out = []
    for ch in text:
        c = ord(ch)
        if ch == "\\":
            out.append("\\\\")
        elif 0x20 <= c < 0x7F or (c >= 0xA0 and not 0xD800 <= c < 0xE000):
            out.append(ch)
        else:
            out += ["\\x%02x" % b for b in ch.encode("utf-8", "surrogateescape")]
    return "".join(out)


def quote(text: str) -> str:
    """A JSON string as `vkt2 --json` writes it: UTF-8 kept, a byte that was not UTF-8 (a lone
    surrogate from os.fsdecode) as \\udcXX, controls as \\u00XX."""
    out = ['"']
    for ch in text:
        c = ord(ch)
        if ch in '"\\':
            out.append("\\" + ch)
        elif c < 0x20 or c == 0x7F or 0x80 <= c <= 0x9F or 0xD800 <= c < 0xE000:
            out.append("\\u%04x" % c)
        else:
            out.append(ch)
    return "".join(out) + '"'


def line(fields: dict) -> str:
    parts = []
    for key, value in fields.items():
        if isinstance(value, str):
            value = quote(value)
        elif isinstance(value, list):
            value = "[" + ",".join(quote(v) for v in value) + "]"
        else:
            value = str(value)
        parts.append(quote(key) + ":" + value)
    return "{" + ",".join(parts) + "}\n"


def record(path, result, reason="", error="", output="", bytes_in=None, bytes_out=None):
    """A file's object, its members in the tool's order; those that do not apply left out."""
    r = {"type": "file", "path": path, "result": result}
    r.update({k: v for k, v in (("reason", reason), ("error", error), ("output", output)) if v})
    if bytes_in is not None:
        r.update(bytes_in=bytes_in, bytes_out=bytes_out)
    r["warnings"] = []
    return r


def join(base: str, relative: str) -> str:
    return base.rstrip("/") + "/" + relative if relative else base


def sort_key(name: str) -> bytes:
    return name.encode("utf-8", "surrogateescape")  # the tool's byte order of names


def listing(fs, root: str, shown_root: str, out_fs, out_root: str):
    """Every entry below root in the tool's order, as (relative path, info, settled record or
    None), never through a link. A folder that cannot be listed is a failure naming it."""
    out_id = None
    if isinstance(fs, LocalFileSystem) and isinstance(out_fs, LocalFileSystem):
        try:
            st = os.stat(out_root)
            out_id = (st.st_dev, st.st_ino)
        except OSError:
            pass
    elif type(fs) is type(out_fs):
        out_id = fs._strip_protocol(out_root).rstrip("/")

    def is_output(name):
        if isinstance(out_id, tuple):
            st = os.stat(name, follow_symlinks=False)
            return (st.st_dev, st.st_ino) == out_id
        return out_id is not None and name.rstrip("/") == out_id

    def walk(folder, relative):
        try:
            entries = fs.ls(folder, detail=True)
        except OSError as e:
            reason = e.strerror or str(e)
            yield relative, None, record(join(shown_root, relative), "failed",
                                         error="cannot open the folder: " + reason)
            return
        for info in sorted(entries, key=lambda i: sort_key(i["name"].rstrip("/"))):
            name = info["name"].rstrip("/")
            rel = join(relative, name.rsplit("/", 1)[-1]) if relative else name.rsplit("/", 1)[-1]
            path = join(shown_root, rel)
            lower = rel.rsplit("/", 1)[-1].lower()
            if info.get("islink"):
                yield rel, info, record(path, "skipped", reason=LINK)
            elif info["type"] == "directory":
                if is_output(name):
                    yield rel, info, record(path, "skipped", reason=OUTPUT_FOLDER)
                else:
                    yield from walk(name, rel)
            elif lower.endswith(".bak"):
                yield rel, info, record(path, "skipped", reason=BACKUP)
            elif lower.endswith(".$$$"):
                yield rel, info, record(path, "skipped", reason=TEMPORARY)
            elif info["type"] != "file":
                yield rel, info, record(path, "skipped", reason=SPECIAL)
            else:
                yield rel, info, None

    yield from walk(fs._strip_protocol(root), "")


class NotRegular(Exception):
    pass


def read_head(fs, path: str, named: bool):
    """The bytes that count and, for a local file, its status. A link met in a walk is never
    followed, even one swapped in since the listing; a FIFO is never waited on."""
    if not isinstance(fs, LocalFileSystem):
        return fs.cat_file(path, start=0, end=HEAD), None  # one ranged read
    flags = os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC | (0 if named else os.O_NOFOLLOW)
    fd = os.open(path, flags)
    try:
        st = os.fstat(fd)
        if not stat.S_ISREG(st.st_mode):
            raise NotRegular()
        chunks, left = [], HEAD
        while left and (chunk := os.read(fd, left)):
            chunks.append(chunk)
            left -= len(chunk)
        return b"".join(chunks), st
    finally:
        os.close(fd)


def write_local(out_root: str, shown_out: str, rel: str, data: bytes, st, force: bool) -> str:
    """Writes OUT/rel through rel.$$$ and a rename that replaces nothing unless forced; the
    folders below OUT are made and opened without following links. The input's mode, owner and
    dates go with it. Returns why it failed, or ""."""
    target = shown(join(shown_out, rel))
    *folders, name = rel.split("/")
    fd = os.open(out_root, os.O_RDONLY | os.O_DIRECTORY | os.O_CLOEXEC)
    try:
        for i, part in enumerate(folders):
            folder = shown(join(shown_out, "/".join(folders[: i + 1])))
            try:
                try:
                    os.mkdir(part, dir_fd=fd)
                except FileExistsError:
                    pass
                sub = os.open(part, os.O_RDONLY | os.O_DIRECTORY | os.O_NOFOLLOW | os.O_CLOEXEC,
                              dir_fd=fd)
            except OSError as e:
                return f"cannot make the folder {folder}: {e.strerror}"
            os.close(fd)
            fd = sub
        temporary = name + ".$$$"
        try:
            out = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW |
                          os.O_CLOEXEC, 0o600, dir_fd=fd)
        except OSError as e:
            return f"cannot create {target}.$$$: {e.strerror}"
        try:
            view = memoryview(data)
            while view:
                view = view[os.write(out, view):]
            if st is not None:
                try:
                    os.fchown(out, st.st_uid, st.st_gid)
                except PermissionError:
                    pass  # as far as the process may
                os.fchmod(out, stat.S_IMODE(st.st_mode))
                os.utime(out, ns=(st.st_atime_ns, st.st_mtime_ns))
        except OSError as e:
            os.unlink(temporary, dir_fd=fd)
            return f"cannot write {target}.$$$: {e.strerror}"
        finally:
            os.close(out)
        try:
            if force:
                os.replace(temporary, name, src_dir_fd=fd, dst_dir_fd=fd)
            else:
                os.link(temporary, name, src_dir_fd=fd, dst_dir_fd=fd, follow_symlinks=False)
        except OSError as e:
            os.unlink(temporary, dir_fd=fd)
            if isinstance(e, FileExistsError):
                return f"{target} already exists (-f replaces it)"
            return f"cannot rename {target}.$$$ to {target}: {e.strerror}"
        if not force:
            os.unlink(temporary, dir_fd=fd)
        return ""
    finally:
        os.close(fd)


def write_remote(out_fs, out_root: str, shown_out: str, rel: str, data: bytes,
                 force: bool) -> str:
    """An object store's write replaces or not at once; there is no rename to go through."""
    target, words = join(out_root, rel), shown(join(shown_out, rel))
    try:
        if not force and out_fs.exists(target):
            return f"{words} already exists (-f replaces it)"
        out_fs.makedirs(target.rsplit("/", 1)[0], exist_ok=True)
        out_fs.pipe_file(target, data)
    except OSError as e:
        return f"cannot write {words}: {e.strerror or e}"
    return ""


def decode_batch(fs, out_fs, out_root: str, shown_out: str, items, zero_fill: bool,
                 force: bool):
    """Runs on a worker: each (relative path, source path, shown path, named) to its record."""
    import vkt2

    records = []
    for rel, source, path, named in items:
        try:
            head, st = read_head(fs, source, named)
        except NotRegular:
            records.append(record(path, "failed", error=SPECIAL))
            continue
        except OSError as e:
            records.append(record(path, "failed", error=f"cannot open: {e.strerror or e}"))
            continue
        if not head.startswith(b"VKT2"):
            # A file named on the command line fails; one a walk meets is skipped.
            records.append(record(path, "failed", error=NOT_VKT2) if named else
                           record(path, "skipped", reason=NOT_VKT2))
            continue
        try:
            data = vkt2.decompress(head, zero_fill=zero_fill)
        except vkt2.Error as e:
            records.append(record(path, "failed", error=str(e)))
            continue
        why = (write_local(out_root, shown_out, rel, data, st, force)
               if isinstance(out_fs, LocalFileSystem)
               else write_remote(out_fs, out_root, shown_out, rel, data, force))
        records.append(record(path, "failed", error=why) if why else
                       record(path, "decoded", output=join(shown_out, rel), bytes_in=len(head),
                              bytes_out=len(data)))
    return records


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("src", help="a folder or file: a local path or an fsspec URL")
    parser.add_argument("out", help="where the decoded files go: a local path or an fsspec URL")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="a dask.distributed scheduler (tcp://host:8786); default: two local "
                             "workers")
    parser.add_argument("--zero-fill", action="store_true",
                        help="decode files cut short with zeros, as vkt2x does")
    parser.add_argument("-f", "--force", action="store_true", help="replace existing outputs")
    parser.add_argument("--batch", type=int, default=64, metavar="N",
                        help="files per task (default 64)")
    args = parser.parse_args(argv)
    if args.batch < 1:
        parser.error("--batch must be at least 1")

    fs, root = fsspec.core.url_to_fs(args.src)
    out_fs, out_root = fsspec.core.url_to_fs(args.out)
    shown_src, shown_out = args.src.rstrip("/") or "/", args.out.rstrip("/") or "/"
    try:
        is_folder = fs.isdir(root)
        if not is_folder and not fs.exists(root):
            raise FileNotFoundError(2, "No such file or directory")
    except OSError as e:
        print(f"decode_collection: {shown(args.src)}: {e.strerror or e}", file=sys.stderr)
        return 2
    if is_folder:
        entries = listing(fs, root, shown_src, out_fs, out_root)
    else:  # a file named goes to its own base name, whatever its name
        entries = [(root.rstrip("/").rsplit("/", 1)[-1], {"name": root}, None)]

    # The report keeps the list's order: settled entries wait for the batches before them.
    order, batches, pending = [], [], []
    for rel, info, settled in entries:
        if settled is not None:
            order.append(settled)
            continue
        if not pending:
            batches.append(pending)
        pending.append((rel, fs._strip_protocol(info["name"]), join(shown_src, rel) if is_folder
                        else shown_src, not is_folder))
        order.append((len(batches) - 1, len(pending) - 1))
        if len(pending) == args.batch:
            pending = []
    # Made after the listing, as the tool makes it: a new OUT inside SRC is no entry of it.
    try:
        if isinstance(out_fs, LocalFileSystem):
            os.makedirs(out_root, exist_ok=True)
    except OSError as e:
        print(f"decode_collection: {shown(args.out)}: {e.strerror}", file=sys.stderr)
        return 2

    from dask.distributed import Client, LocalCluster

    cluster = (contextlib.nullcontext(args.scheduler) if args.scheduler else
               LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None))
    counts = dict(done=0, failed=0, skipped=0, copied=0, bytes_in=0, bytes_out=0)
    # The client goes before the cluster it talks to.
    with cluster as address, Client(address) as client:
        threads = max(1, sum(client.nthreads().values()))
        futures, submitted, results = deque(), 0, {}

        def submit_ahead():
            nonlocal submitted
            while submitted < len(batches) and len(futures) < 4 * threads:
                futures.append(client.submit(decode_batch, fs, out_fs, out_root, shown_out,
                                             batches[submitted], args.zero_fill, args.force,
                                             pure=False))
                submitted += 1

        done_batches = 0
        for entry in order:
            if isinstance(entry, tuple):
                batch, position = entry
                while batch not in results:
                    submit_ahead()
                    try:
                        results[done_batches] = futures.popleft().result()
                    except Exception as e:  # a worker lost, a package missing on it
                        results[done_batches] = [
                            record(path, "failed", error=f"the task failed: {e!r}")
                            for _, _, path, _ in batches[done_batches]]
                    done_batches += 1
                entry = results[batch][position]
                if position == len(batches[batch]) - 1:
                    del results[batch]
            if entry["result"] == "decoded":
                counts["done"] += 1
                counts["bytes_in"] += entry["bytes_in"]
                counts["bytes_out"] += entry["bytes_out"]
            elif entry["result"] == "failed":
                counts["failed"] += 1
            elif entry.get("reason") != OUTPUT_FOLDER:
                counts["skipped"] += 1
            sys.stdout.write(line(entry))
    sys.stdout.write(line({"type": "summary", "command": "x", **counts}))
    sys.stdout.flush()
    return 1 if counts["failed"] else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except BrokenPipeError:
        # The reader went away (| head): end as a Unix tool does, without a traceback.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        sys.exit(141)
