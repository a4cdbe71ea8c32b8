"""Shared pieces of the package's tests: the real runs of tests/data, the
programs of the build, and a dataset read with numpy alone."""

import os
import pathlib
import shutil

import numpy as np
import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
DATA = ROOT / "tests" / "data"
BUILD = pathlib.Path(os.environ.get("KESTREL_BUILD", ROOT / "build")).resolve()


def program(name):
    path = BUILD / name
    if not path.exists():
        pytest.skip(f"{path} is not built")
    return str(path)


def records(raw):
    """(offset of the payload, length) of every record, by its length markers."""
    out, at = [], 0
    while at < len(raw):
        n = int(raw[at:at + 4].view("<i4")[0])
        out.append((at + 4, n))
        at += n + 8
    return out


def numpy_dataset(path):
    """A dataset's receptors, period times and values from its bytes with
    numpy alone: the last record gives the receptor count, the periods are
    the triples of records (32, 32, values) at the end."""
    raw = np.fromfile(path, dtype=np.uint8)
    recs = records(raw)
    n = (recs[-1][1] - 15) // 4
    heads = [r for r in recs if r[1] == 12 * n]
    receptors = raw[heads[0][0]:heads[0][0] + 12 * n].view("<f4").reshape(3, n)
    k = len(recs)
    while k >= 3 and [r[1] for r in recs[k - 3:k]] == [32, 32, 15 + 4 * n]:
        k -= 3
    first = recs[k][0] - 4 if k < len(recs) else len(raw)
    period = np.dtype([("m1", "<i4"), ("begin", "<i4", 4), ("end", "<i4", 4), ("m2", "<i4"),
                       ("m3", "<i4"), ("source", "V32"), ("m4", "<i4"),
                       ("m5", "<i4"), ("label", "S15"), ("values", "<f4", (n,)), ("m6", "<i4")])
    periods = np.frombuffer(raw[first:].tobytes(), dtype=period)
    return receptors, periods


def period_end(end):
    """A period end (year, day of the year, hour) as a datetime64: hour 00 is
    the day's midnight, that is the end of the day before."""
    yr, jul, hr = (int(v) for v in end[:3])
    return np.datetime64(f"{yr:04d}-01-01T00") + np.timedelta64(jul - 1, "D") + np.timedelta64(hr, "h")


def copy_run(name, dest):
    """A copy of tests/data/<name>/input, to convert or to damage."""
    dest = pathlib.Path(dest) / pathlib.Path(name).name
    shutil.copytree(DATA / name / "input", dest)
    return dest


@pytest.fixture
def in_tmp(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    return tmp_path
