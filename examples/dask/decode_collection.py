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
import base64
import contextlib
import errno
import fcntl
import os
import stat
import sys
from collections import deque

import fsspec
from fsspec.implementations.local import LocalFileSystem

HEAD = 65536  # only a file's first 65,536 bytes count; the rest is never read
READ = HEAD + 1  # one more tells a file longer than that, which is warned of
BACKUP, TEMPORARY, LINK, SPECIAL = "a backup", "a temporary file", "a link", "not a regular file"
NOT_VKT2, OUTPUT_FOLDER = "not a VKT2 file", "the output folder"
NAMES = ("path", "output")  # the members that hold a file's name


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
        exact = None
        if isinstance(value, str):
            if key in NAMES:
                try:
                    value.encode("utf-8")
                except UnicodeEncodeError:  # not UTF-8: its exact bytes too, as the tool adds
                    exact = base64.b64encode(value.encode("utf-8", "surrogateescape")).decode()
            value = quote(value)
        elif isinstance(value, list):
            value = "[" + ",".join(quote(v) for v in value) + "]"
        else:
            value = str(value)
        parts.append(quote(key) + ":" + value)
        if exact is not None:
            parts.append(quote(key + "_base64") + ":" + quote(exact))
    return "{" + ",".join(parts) + "}\n"


def record(path, result, reason="", error="", output="", bytes_in=None, bytes_out=None,
           warnings=()):
    """A file's object, its members in the tool's order; those that do not apply left out."""
    r = {"type": "file", "path": path, "result": result}
    r.update({k: v for k, v in (("reason", reason), ("error", error), ("output", output)) if v})
    if bytes_in is not None:
        r.update(bytes_in=bytes_in, bytes_out=bytes_out)
    r["warnings"] = list(warnings)
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

    def is_output(name, follow=False):
        if isinstance(out_id, tuple):
            return identity(os.stat(name, follow_symlinks=follow)) == out_id
        return out_id is not None and name.rstrip("/") == out_id

    def walk(folder, relative):
        # As the tool words it: a folder that cannot be opened (gone, swapped for a link), or
        # one opened that cannot be listed (no read permission).
        step = "cannot open the folder: "
        try:
            if isinstance(fs, LocalFileSystem):
                link = os.O_NOFOLLOW if relative else 0
                os.close(os.open(folder, os.O_PATH | os.O_DIRECTORY | os.O_CLOEXEC | link))
            step = "cannot read the folder: "
            entries = fs.ls(folder, detail=True)
        except OSError as e:
            yield relative, None, record(join(shown_root, relative), "failed",
                                         error=step + (e.strerror or str(e)))
            return
        for info in sorted(entries, key=lambda i: sort_key(i["name"].rstrip("/"))):
            name = info["name"].rstrip("/")
            rel = join(relative, name.rsplit("/", 1)[-1]) if relative else name.rsplit("/", 1)[-1]
            path = join(shown_root, rel)
            # Only ASCII letters fold, as in the tool: str.lower() would take the Kelvin sign for k.
            lower = sort_key(rel.rsplit("/", 1)[-1]).lower()
            if info.get("islink"):
                yield rel, info, record(path, "skipped", reason=LINK)
            elif info["type"] == "directory":
                if is_output(name):
                    yield rel, info, record(path, "skipped", reason=OUTPUT_FOLDER)
                else:
                    yield from walk(name, rel)
            elif lower.endswith(b".bak"):
                yield rel, info, record(path, "skipped", reason=BACKUP)
            elif lower.endswith(b".$$$"):
                yield rel, info, record(path, "skipped", reason=TEMPORARY)
            elif info["type"] != "file":
                yield rel, info, record(path, "skipped", reason=SPECIAL)
            else:
                yield rel, info, None

    top = fs._strip_protocol(root)
    if is_output(top, follow=True):
        return  # OUT is SRC itself: nothing of the output folder is an input
    yield from walk(top, "")


class NotRegular(Exception):
    pass


def read_head(fs, path: str, named: bool, rel: str = ""):
    """The bytes that count and, for a local file, its status. A link met in a walk is never
    followed, even one swapped in since the listing, for the file or any folder between it and
    SRC (rel is the path below SRC); a FIFO is never waited on."""
    if not isinstance(fs, LocalFileSystem):
        return fs.cat_file(path, start=0, end=READ), None  # one ranged read
    flags = os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC
    if named or not rel or not path.endswith("/" + rel):
        fd = os.open(path, flags | (0 if named else os.O_NOFOLLOW))
    else:
        *folders, name = rel.split("/")
        at = os.open(path[: -len(rel) - 1] or "/", os.O_RDONLY | os.O_DIRECTORY | os.O_CLOEXEC)
        try:
            for part in folders:
                at, parent = open_folder(at, part), at
                os.close(parent)
            fd = os.open(name, flags | os.O_NOFOLLOW, dir_fd=at)
        finally:
            os.close(at)
    try:
        st = os.fstat(fd)
        if not stat.S_ISREG(st.st_mode):
            raise NotRegular()
        chunks, left = [], READ
        while left and (chunk := os.read(fd, left)):
            chunks.append(chunk)
            left -= len(chunk)
        return b"".join(chunks), st
    finally:
        os.close(fd)


def create_temporary(fd: int, name: str) -> int:
    """NAME.$$$ in the folder fd, as this run's own file: made new, or a stale one left by a run
    that died, taken over only while locked, if it is a regular file of this user with no other
    name (truncating one with a second name would destroy the data under that name)."""
    flags = os.O_WRONLY | os.O_NOFOLLOW | os.O_NONBLOCK | os.O_NOCTTY | os.O_CLOEXEC
    created = True
    try:
        out = os.open(name, flags | os.O_CREAT | os.O_EXCL, 0o600, dir_fd=fd)
    except FileExistsError:
        created = False
        out = os.open(name, flags, dir_fd=fd)
    try:
        fcntl.flock(out, fcntl.LOCK_EX | fcntl.LOCK_NB)  # another run's file under way
        opened, named = os.fstat(out), os.stat(name, dir_fd=fd, follow_symlinks=False)
        if ((opened.st_dev, opened.st_ino) != (named.st_dev, named.st_ino) or
                not stat.S_ISREG(opened.st_mode) or opened.st_nlink != 1 or
                (not created and opened.st_uid != os.geteuid())):
            raise FileExistsError(errno.EEXIST, os.strerror(errno.EEXIST))
        os.ftruncate(out, 0)
        if not created and opened.st_mode & 0o077:
            os.fchmod(out, 0o600)
    except BaseException:
        os.close(out)
        raise
    return out


def open_folder(fd: int, part: str) -> int:
    """The folder `part` below fd, never through a link."""
    try:
        return os.open(part, os.O_RDONLY | os.O_DIRECTORY | os.O_NOFOLLOW | os.O_CLOEXEC,
                       dir_fd=fd)
    except NotADirectoryError:
        if stat.S_ISLNK(os.stat(part, dir_fd=fd, follow_symlinks=False).st_mode):
            raise OSError(errno.ELOOP, os.strerror(errno.ELOOP)) from None
        raise


def identity(st) -> tuple[int, int]:
    return st.st_dev, st.st_ino


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
                sub = open_folder(fd, part)
            except OSError as e:
                return f"cannot make the folder {folder}: {e.strerror}"
            os.close(fd)
            fd = sub
        # Replacing the input itself would lose it, with no backup to go back to.
        if force and st is not None:
            with contextlib.suppress(OSError):
                if identity(os.stat(name, dir_fd=fd, follow_symlinks=False)) == identity(st):
                    return f"{target} is the input itself"
        temporary = name + ".$$$"
        try:
            out = create_temporary(fd, temporary)
        except OSError as e:
            return f"cannot create {target}.$$$: {e.strerror}"
        # Removed, on any failure, while still open and locked: no other run has the name then.
        try:
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
            os.close(out)
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
            head, st = read_head(fs, source, named, rel)
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
        # What `vkt2 t` warns of, the tool says of the files it decodes too.
        warnings = vkt2.test(head).warnings
        why = (write_local(out_root, shown_out, rel, data, st, force)
               if isinstance(out_fs, LocalFileSystem)
               else write_remote(out_fs, out_root, shown_out, rel, data, force))
        records.append(record(path, "failed", error=why) if why else
                       record(path, "decoded", output=join(shown_out, rel),
                              bytes_in=min(len(head), HEAD), bytes_out=len(data),
                              warnings=warnings))
    return records


def output_identity(out_root: str, rel: str):
    """What OUT/rel is now, reached without following links; None when there is nothing."""
    *folders, name = rel.split("/")
    fds = [os.open(out_root, os.O_RDONLY | os.O_DIRECTORY | os.O_CLOEXEC)]
    try:
        for part in folders:
            fds.append(open_folder(fds[-1], part))
        return identity(os.stat(name, dir_fd=fds[-1], follow_symlinks=False))
    except OSError:
        return None
    finally:
        for fd in fds:
            os.close(fd)


def overlap(items, out_root: str, shown_out: str, local: bool, check: bool):
    """A check of each file to decode against the inputs, when OUT already held files: writing
    an output that is also an input would change the run's inputs under it, or lose the input
    itself. Returns the file's failure, or None."""
    inputs = {}
    for settled, item in items if check else ():
        if settled is None:
            rel, source, _, named = item
            if not local:
                inputs[source.rstrip("/")] = source
                continue
            with contextlib.suppress(OSError):
                inputs[identity(os.stat(source, follow_symlinks=named))] = source

    def clash(item):
        if item is None or not inputs:
            return None
        rel, source, path, _ = item
        found = (output_identity(out_root, rel) if local else
                 join(out_root, rel).rstrip("/"))
        if found not in inputs:
            return None
        target = shown(join(shown_out, rel))
        return record(path, "failed", error=f"{target} is the input itself"
                      if inputs[found] == source else f"{target} is also an input of this run")

    return clash


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

    items = [(settled, None if settled else (
        rel, fs._strip_protocol(info["name"]), join(shown_src, rel) if is_folder else shown_src,
        not is_folder)) for rel, info, settled in entries]
    local = isinstance(fs, LocalFileSystem) and isinstance(out_fs, LocalFileSystem)
    out_existed = not local or os.path.isdir(out_root)
    # Made after the listing, as the tool makes it: a new OUT inside SRC is no entry of it. An
    # OUT that cannot be made fails each file that would go there, as the tool reports it.
    unusable = ""
    if isinstance(out_fs, LocalFileSystem):
        with contextlib.suppress(OSError):
            os.makedirs(out_root, exist_ok=True)
        try:
            os.close(os.open(out_root, os.O_RDONLY | os.O_DIRECTORY | os.O_CLOEXEC))
        except OSError as e:
            unusable = f"{shown(args.out)}: cannot open the folder: {e.strerror}"
    # The report keeps the list's order: settled entries wait for the batches before them.
    order, batches = [], []
    clash = overlap(items, out_root, shown_out, local, type(fs) is type(out_fs) and out_existed)
    for settled, item in items:
        if settled is None and unusable:
            settled = record(item[2], "failed", error=unusable)
        settled = settled or clash(item)
        if settled is not None:
            order.append(settled)
            continue
        if not batches or len(batches[-1]) == args.batch:
            batches.append([])
        batches[-1].append(item)
        order.append((len(batches) - 1, len(batches[-1]) - 1))
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
