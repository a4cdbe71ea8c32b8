#!/usr/bin/python3
"""The Python package against the ways a Python user reads the files today.

(p) kestrel.open_dataset of a dataset of 10000 receptors x 17568 h (703 MB)
    against the ideal numpy reader: np.fromfile with a structured dtype of
    the period record, then its values column as one array.
(q) kestrel.read_postfile of a PLOT POSTFILE of 1000 receptors x 8784 h
    (949 MB) against pandas.read_csv (bench/pandas_plot.py's options).

Each read runs in a fresh interpreter, so that its peak memory is its own:
the figure is the peak resident memory above the interpreter's once its
modules are imported. Medians of --repeat runs, each after one warming run.
Needs the module built (-DKESTREL_PYTHON=ON) and Debian's python3-pandas.

usage: python_bench.py --build BUILD_DIR [--work DIR] [--size tiny|full] [--repeat N] [--cases pq]
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = {"full": {"p": (10000, 17568), "q": (1000, 8784)}, "tiny": {"p": (100, 200), "q": (50, 200)}}

CHILD = r"""
import json, resource, sys, time
import numpy as np
import pandas as pd
import kestrel
what, path = sys.argv[1], sys.argv[2]
base = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
t0 = time.perf_counter()
if what == "kestrel-dataset":
    values = kestrel.open_dataset(path)["conc"].values
elif what == "numpy":
    nrec, first = int(sys.argv[3]), int(sys.argv[4])
    period = np.dtype([("m1", "<i4"), ("times", "<i4", 8), ("m2", "<i4"), ("m3", "<i4"), ("source", "V32"),
                       ("m4", "<i4"), ("m5", "<i4"), ("label", "S15"), ("values", "<f4", (nrec,)), ("m6", "<i4")])
    records = np.fromfile(path, dtype=period, offset=first)
    values = np.ascontiguousarray(records["values"])
    del records
elif what == "kestrel-plot":
    values = kestrel.read_postfile(path, control=sys.argv[3])["conc"].values
else:
    names = ["x", "y", "value", "zelev", "zhill", "zflag", "ave", "grp", "date", "net"]
    frame = pd.read_csv(path, sep=r"\s+", comment="*", header=None, names=names,
                        dtype={"ave": str, "grp": str, "net": str, "date": np.int32}, float_precision="round_trip")
    values = frame["value"].to_numpy(dtype=np.float32)
seconds = time.perf_counter() - t0
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(json.dumps({"seconds": seconds, "extra_mib": (peak - base) / 1024.0, "array_mib": values.nbytes / 2**20,
                  "sum": float(values.sum(dtype=np.float64))}))
"""


def child(build, *args):
    env = dict(os.environ, PYTHONPATH=os.path.join(build, "python"))
    out = subprocess.run([sys.executable, "-c", CHILD, *args], env=env, check=True, capture_output=True, text=True)
    return json.loads(out.stdout)


def measure(build, repeat, cmds):
    """Alternating runs of each command after one warming run; medians."""
    for c in cmds:
        child(build, *c)
    runs = [[] for _ in cmds]
    for _ in range(repeat):
        for i, c in enumerate(cmds):
            runs[i].append(child(build, *c))
    return [{k: statistics.median(r[k] for r in rs) for k in rs[0]} for rs in runs]


def generator(build, work):
    gen = os.path.join(build, "bench", "kestrel_gen_run")
    if os.path.exists(gen):
        return gen
    gen = os.path.join(work, "kestrel_gen_run")
    subprocess.run(["c++", "-O2", "-std=c++20", os.path.join(HERE, "gen_run.cpp"), "-o", gen], check=True)
    return gen


def first_period(path, nrec):
    """The byte at which a dataset's first period begins: the header's records
    end with the receptors' record (12 bytes each) and the source record."""
    import numpy as np
    raw = np.fromfile(path, dtype=np.uint8, count=16 << 20)
    at = 0
    while True:
        n = int(raw[at:at + 4].view("<i4")[0])
        at += n + 8
        if n == 12 * nrec:
            return at + int(raw[at:at + 4].view("<i4")[0]) + 8


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--work", default="/tmp/kestrel-python-bench")
    ap.add_argument("--size", choices=SIZES, default="full")
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--cases", default="pq")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    sys.path.insert(0, os.path.join(build, "python"))
    import kestrel
    os.makedirs(args.work, exist_ok=True)
    gen = generator(build, args.work)
    if "p" in args.cases:
        nrec, hours = SIZES[args.size]["p"]
        folder = os.path.join(args.work, "p")
        shutil.rmtree(folder, ignore_errors=True)
        subprocess.run([gen, folder, str(nrec), str(hours), "1", "4"], check=True, stdout=subprocess.DEVNULL)
        run = kestrel.convert([folder])
        dataset = run[0].datasets[0].path
        os.remove(os.path.join(folder, "POST001.BIN"))
        mb = os.path.getsize(dataset) / 1e6
        k, n = measure(build, args.repeat, [("kestrel-dataset", dataset),
                                            ("numpy", dataset, str(nrec), str(first_period(dataset, nrec)))])
        assert k["sum"] == n["sum"]
        print(f"(p) open_dataset, {nrec} receptors x {hours} h ({mb:.0f} MB; array {k['array_mib']:.0f} MiB)")
        print("| reader | wall s | memory above the interpreter, MiB | x array |")
        print("|---|---|---|---|")
        for name, r in (("kestrel.open_dataset", k), ("numpy ideal reader", n)):
            print(f"| {name} | {r['seconds']:.3f} | {r['extra_mib']:.0f} | {r['extra_mib'] / r['array_mib']:.2f} |")
        print(f"ratio: {k['seconds'] / n['seconds']:.2f} x the numpy reader")
        shutil.rmtree(folder, ignore_errors=True)
    if "q" in args.cases:
        nrec, hours = SIZES[args.size]["q"]
        folder = os.path.join(args.work, "q")
        shutil.rmtree(folder, ignore_errors=True)
        subprocess.run([gen, folder, str(nrec), str(hours), "1", "plot"], check=True, stdout=subprocess.DEVNULL)
        plt = os.path.join(folder, "POST001.PLT")
        mb = os.path.getsize(plt) / 1e6
        k, p = measure(build, args.repeat, [("kestrel-plot", plt, os.path.join(folder, "AERMOD.INP")),
                                            ("pandas", plt)])
        assert abs(k["sum"] - p["sum"]) <= 1e-6 * abs(p["sum"])
        print(f"(q) read_postfile, PLOT, {nrec} receptors x {hours} h ({mb:.0f} MB)")
        print("| reader | wall s | memory above the interpreter, MiB |")
        print("|---|---|---|")
        for name, r in (("kestrel.read_postfile", k), ("pandas.read_csv", p)):
            print(f"| {name} | {r['seconds']:.3f} | {r['extra_mib']:.0f} |")
        print(f"ratio: {p['seconds'] / k['seconds']:.1f} x faster than pandas")
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
