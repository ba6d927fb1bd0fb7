"""Converting more metafiles than one machine should: a Dask cluster renders a
folder tree to PNG files, with progress, retries and a manifest.

    python3 -m vellora.dask SRC DST --scheduler tcp://host:8786 [-- RENDER OPTIONS]
    python3 -m vellora.dask SRC DST --workers 8            # a local cluster

Every metafile under SRC (.emf, .wmf, .apm, .emz, .wmz, in any letter case)
becomes DST/<the same relative path>.png, drawn by the `vellora` command on
the workers (VELLORA_CLI names it where it is not on the PATH), so the files
are exactly what the command writes. Options after `--` go to `vellora
render` (say `-- --width 800 --background white`). Files go to the workers in
chunks; a file whose command crashed or timed out is tried again up to
--retries times, a file the command refuses is not. DST/manifest.tsv (or
--manifest) lists every file: path, status (rendered, failed), reason,
seconds. The exit status is 0 when every file was rendered, 1 otherwise.
Workers need SRC and DST on a shared file system.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

SUFFIXES = (".emf", ".wmf", ".apm", ".emz", ".wmz")


def find_metafiles(src):
    out = []
    for root, dirs, files in os.walk(src):
        dirs.sort()
        for name in sorted(files):
            if name.lower().endswith(SUFFIXES):
                out.append(os.path.relpath(os.path.join(root, name), src))
    return out


def output_for(rel):
    return os.path.splitext(rel)[0] + ".png"


def render_chunk(command, src, dst, rels, options, retries, timeout):
    """Runs on a worker: one `vellora render` per file, so that one file's
    fault is that file's alone. Returns (path, status, reason, seconds)."""
    results = []
    for rel in rels:
        out = os.path.join(dst, output_for(rel))
        os.makedirs(os.path.dirname(out) or ".", exist_ok=True)
        argv = [command, "render", os.path.join(src, rel), "-o", out, "--quiet", *options]
        start = time.monotonic()
        for attempt in range(retries + 1):
            try:
                r = subprocess.run(argv, capture_output=True, text=True, timeout=timeout)
            except subprocess.TimeoutExpired:
                status, reason = "failed", "timed out after %g s" % timeout
                continue
            if r.returncode == 0:
                status, reason = "rendered", ""
                break
            reason = r.stderr.strip().splitlines()[-1] if r.stderr.strip() else "exit %d" % r.returncode
            status = "failed"
            if r.returncode > 0:
                break  # the command refused the file: another try says the same
        results.append((rel, status, reason, time.monotonic() - start))
    return results


def main(argv=None):
    argv = list(sys.argv[1:] if argv is None else argv)
    options = []
    if "--" in argv:
        i = argv.index("--")
        argv, options = argv[:i], argv[i + 1:]
    p = argparse.ArgumentParser(prog="python3 -m vellora.dask",
                                description="Render a folder tree of metafiles on a Dask cluster.")
    p.add_argument("src")
    p.add_argument("dst")
    where = p.add_mutually_exclusive_group()
    where.add_argument("--scheduler", help="address of a running Dask scheduler")
    where.add_argument("--workers", type=int, default=2, help="local worker processes (default 2)")
    p.add_argument("--chunk", type=int, default=32, help="files per task (default 32)")
    p.add_argument("--retries", type=int, default=2, help="tries again after a crash or timeout")
    p.add_argument("--timeout", type=float, default=120, help="seconds per file (default 120)")
    p.add_argument("--manifest", help="where the manifest goes (default DST/manifest.tsv)")
    a = p.parse_args(argv)

    command = os.environ.get("VELLORA_CLI") or shutil.which("vellora")
    if not command:
        p.error("the vellora command is not on the PATH (or set VELLORA_CLI)")
    src, dst = os.path.abspath(a.src), os.path.abspath(a.dst)
    rels = find_metafiles(src)
    os.makedirs(dst, exist_ok=True)

    from distributed import Client, LocalCluster, as_completed
    cluster = None
    if a.scheduler:
        client = Client(a.scheduler)
    else:
        cluster = LocalCluster(n_workers=a.workers, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        client = Client(cluster)
    try:
        chunks = [rels[i:i + a.chunk] for i in range(0, len(rels), max(1, a.chunk))]
        # A worker lost with its task is Dask's to retry; a file's own failure is ours.
        futures = [client.submit(render_chunk, command, src, dst, c, options, a.retries, a.timeout,
                                 retries=a.retries, pure=False) for c in chunks]
        results, done = [], 0
        for future in as_completed(futures):
            results.extend(future.result())
            done += 1
            failed = sum(1 for r in results if r[1] != "rendered")
            print("\rvellora.dask: %d/%d files, %d failed" % (len(results), len(rels), failed),
                  end="", file=sys.stderr, flush=True)
        print(file=sys.stderr)
    finally:
        client.close()
        if cluster:
            cluster.close()

    results.sort()
    manifest = a.manifest or os.path.join(dst, "manifest.tsv")
    with open(manifest, "w") as f:
        f.write("file\tstatus\treason\tseconds\n")
        for rel, status, reason, seconds in results:
            f.write("%s\t%s\t%s\t%.3f\n" % (rel, status, reason.replace("\t", " "), seconds))
    failed = [r for r in results if r[1] != "rendered"]
    print("vellora.dask: rendered %d, failed %d; manifest %s" % (len(results) - len(failed),
                                                                 len(failed), manifest),
          file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
