"""The programs' work as calls: a study converted, datasets joined, a
statistic of kestrel-inspect over a dataset opened from Python."""

import dataclasses
import os
import sys
import warnings

import numpy as np
import xarray as xr

from . import _kestrel
from ._errors import FileError, InputError, MissingFileError
from ._reading import _NS_FIRST, _NS_LAST, _receptor_coords, _times


@dataclasses.dataclass
class DatasetWritten:
    """A dataset a run put in place."""
    path: str            # from the current folder
    type: str            # CONC, DEPOS, DDEP or WDEP
    periods: int
    receptors: int
    first: object = None  # numpy.datetime64 of the first and last period ends
    last: object = None


@dataclasses.dataclass
class RunResult:
    """How one run of a study ended, in the words of the study's summary."""
    run: str              # as given
    control: str          # the control file as found, from the current folder
    status: str           # normal, halted, failed, skipped, up_to_date, interrupted, not_begun
    exit_status: int      # 0 normal, 1 halted, 2 an input/output failure
    text: str             # the final status text: NORMAL TERMINATION, or the halt
    datasets: list
    warnings: list
    seconds: float = 0.0
    bytes_read: int = 0


class Study(list):
    """The runs' results in the order given, with the study's own exit
    status (as the program's: 3 under strict after warnings) and what the
    program would have printed."""

    def __init__(self, runs, exit_status, console, messages):
        super().__init__(runs)
        self.exit_status = exit_status
        self.console = console
        self.messages = messages


def _hours(h):
    # In nanoseconds as xarray's times are, where they hold the year (1678 to 2261).
    if h is None:
        return None
    t = np.datetime64(int(h), "h")
    return t.astype("datetime64[ns]") if _NS_FIRST <= int(h) <= _NS_LAST else t.astype("datetime64[s]")


def convert(runs=(), jobs=None, strict=False, resume=False, verbose=False, allow_failed_aermod=False):
    """Converts a study as ``kestrel RUN...`` does: each run a folder (its
    AERMOD.INP) or a control file; none for AERMOD.INP in the current folder.

    Returns one RunResult per run. Nothing is printed unless ``verbose``:
    then the console and the messages the program would show.
    """
    if isinstance(runs, (str, os.PathLike)):
        runs = [runs]
    args = []
    if jobs is not None:
        args.append(f"--jobs={int(jobs)}")
    if strict:
        args.append("--strict")
    if resume:
        args.append("--resume")
    if allow_failed_aermod:
        args.append("--allow-failed-aermod")
    for r in runs:
        r = os.fspath(r)
        args.append(r if not r.startswith("-") else os.path.join(".", r))
    out = _kestrel.convert(args, os.getcwd())
    if verbose:
        sys.stdout.write(out["console"])
        sys.stderr.write(out["err"])
    if not out["runs"] and out["status"] != 0:
        raise InputError(out["err"].strip())
    results = []
    for r in out["runs"]:
        # A dataset's name as the program shows it is already seen from the current folder.
        datasets = [
            DatasetWritten(d["shown"], d["type"], d["periods"], d["receptors"],
                           _hours(d.get("first")), _hours(d.get("last")))
            for d in r["datasets"]
        ]
        results.append(RunResult(r["given"], r["control"], r["kind"], r["status"], r["text"], datasets,
                                 list(r["warnings"]), r["seconds"], r["bytes_read"]))
    return Study(results, out["status"], out["console"], out["err"])


_MODES = ("receptors", "sum", "time")


def join(mode, output, inputs, verbose=False):
    """Joins split runs' datasets as ``kestrel-join --MODE -o OUTPUT INPUT...``:
    by ``receptors``, by ``time`` or as a ``sum`` over sources. Returns the
    output's path. A refusal raises kestrel.InputError with the program's
    message, an input/output failure kestrel.FileError."""
    if mode not in _MODES:
        raise InputError(f"join's mode is receptors, sum or time, not {mode!r}")
    if isinstance(inputs, (str, os.PathLike)):
        inputs = [inputs]
    names = [os.fspath(i) for i in inputs]
    args = [f"--{mode}", f"--output={os.fspath(output)}"]
    args += [n if not n.startswith("-") else os.path.join(".", n) for n in names]
    status, out, err = _kestrel.join(args, os.getcwd())
    if verbose:
        sys.stdout.write(out)
    message = err.strip()
    if message.startswith("kestrel-join: "):
        message = message[len("kestrel-join: "):]
    if status == 1:
        raise InputError(message)
    if status != 0:
        missing = [n for n in names if not os.path.exists(n)]
        raise (MissingFileError if missing else FileError)(message)
    return os.fspath(output)


# The tool's own units, in which the statistics are kept (as kestrel-inspect's).
_OWN = {"conc": "ug/m3", "flux": "ug/m2/h"}


def statistic(data, stat, unit=None, variable=None, met=None):
    """A statistic of kestrel-inspect per receptor, as AERMOD computes it:
    ``max``, ``high:N``, ``avg:H:N`` (H hours, or ``month``), ``period``,
    ``annual``, ``daily-max:N``, ``avg-years:H:N``, ``mean`` (the plain mean
    of all hours) or ``exceed:T``.

    Block averages, ``period`` and ``annual`` divide by the hours that are
    neither calm nor missing as AERMOD does; those hours come from the run's
    surface file: ``met``, else the ME SURFFILE of the control file the data
    came from (read_postfile's, or the one beside the dataset whose POSTFILE
    line names it). Without one the values are the data's alone and a
    warning says so. ``daily-max``, ``avg-years`` and ``annual`` are means
    over AERMOD's years (12 months from the first hour, whole years only).
    On deposition the blocks and periods are totals (g/m2, or ug/m2 when
    ``unit`` is ug/m2/h). Block averages carry AERMOD's calm/missing flag
    (``c``, ``m``, ``b``) as the coordinate ``flag``.

    ``data`` is a Dataset from open_dataset or read_postfile (or one of its
    variables). The result is a DataArray over the receptors in ``unit``
    (default the dataset's: g/m3 or g/m2/s; ``exceed``'s threshold is in it
    too, its result in hours), with the period end of each value as the
    coordinate ``time`` where the statistic has one. A variable with a
    ``group`` dimension gets one per group.
    """
    if isinstance(data, xr.Dataset):
        if variable is None:
            if len(data.data_vars) != 1:
                raise InputError("the Dataset holds several variables: name one with variable=")
            variable = next(iter(data.data_vars))
        da = data[variable]
        attrs = data.attrs
    else:
        da = data
        attrs = {**getattr(data, "attrs", {})}
    name = da.name or "conc"
    flux = name != "conc"
    # The file's values to g/m3 (g/m2/s), then to the tool's own unit.
    to_own = float(attrs.get("factor", 1.0)) * 1.0e6 * (3600.0 if flux else 1.0)
    data_unit = "g/m2/s" if flux else "g/m3"
    shown = unit or data_unit
    own = _OWN["flux" if flux else "conc"]
    times = da["time"].values
    if np.isnat(times).any():
        raise InputError(f"time {int(np.argmax(np.isnat(times)))} is NaT: every period needs its end")
    ends = times.astype("datetime64[h]").astype(np.int64)

    def one(values):
        r = _kestrel.statistic(np.ascontiguousarray(values, dtype=np.float32), ends, stat, to_own, own, shown,
                               os.fspath(met) if met is not None else "", attrs.get("control_file", "") or "",
                               attrs.get("source_file", "") or "")
        for w in r["warnings"]:
            warnings.warn(w, stacklevel=3)
        return r

    if "group" in da.dims:
        rs = [one(da.isel(group=i).transpose("time", "receptor").values) for i in range(da.sizes["group"])]
        values = np.stack([r["values"] for r in rs])
        ends_out = np.stack([r["ends"] for r in rs])
        flags = np.stack([np.array(r["flags"], dtype=object) for r in rs]) if rs[0]["flags"] is not None else None
        dims = ("group", "receptor")
    else:
        rs = [one(da.transpose("time", "receptor").values)]
        values, ends_out, dims = rs[0]["values"], rs[0]["ends"], ("receptor",)
        flags = np.array(rs[0]["flags"], dtype=object) if rs[0]["flags"] is not None else None
    r = rs[0]
    coords = {k: v for k, v in _receptor_coords(da["x"].values, da["y"].values, da["elevation"].values).items()}
    if "group" in da.coords:
        coords["group"] = da["group"]
    if r["dated"]:
        t = np.where(ends_out == np.iinfo(np.int64).min, np.datetime64("NaT"),
                     ends_out.view("datetime64[h]")).astype("datetime64[ns]")
        coords["time"] = (dims, t, {"long_name": "end of the period the value comes from"})
    if flags is not None:
        coords["flag"] = (dims, flags, {"long_name": "AERMOD's calm (c), missing (m) or both (b) hours in the block"})
    out_attrs = {"units": r["unit"], "long_name": r["title"], "statistic": stat}
    return xr.DataArray(values, dims=dims, coords=coords, name=r["column"], attrs=out_attrs)
