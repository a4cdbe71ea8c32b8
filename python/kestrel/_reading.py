"""Datasets and POSTFILEs as xarray.Dataset objects."""

import os

import numpy as np
import xarray as xr

from . import _kestrel
from ._errors import InputError

# The variable each output type becomes, by AERMOD's keyword.
VARIABLES = {"CONC": "conc", "DEPOS": "total_flux", "DDEP": "dry_flux", "WDEP": "wet_flux"}
_LONG_NAMES = {
    "conc": "concentration",
    "total_flux": "total deposition flux",
    "dry_flux": "dry deposition flux",
    "wet_flux": "wet deposition flux",
}


def _text(raw):
    """A fixed-width text as held: blanks and zero bytes at its end dropped."""
    return raw.decode("utf-8", errors="replace").rstrip(" \0")


# The hours (since 1970) that times in nanoseconds hold, as xarray keeps them:
# the years 1678 to 2261.
_NS_FIRST = int(np.datetime64("1678-01-01T00", "h").astype(np.int64))
_NS_LAST = int(np.datetime64("2262-01-01T00", "h").astype(np.int64))


def _times(hours, path=""):
    # Period ends are whole hours; hour 00 is the next day's midnight.
    h = np.asarray(hours, dtype=np.int64)
    outside = (h < _NS_FIRST) | (h > _NS_LAST)
    if outside.any():
        at = int(np.argmax(outside))
        year = int(np.datetime64(int(h[at]), "h").astype("datetime64[Y]").astype(np.int64)) + 1970
        where = f"'{path}': " if path else ""
        raise InputError(f"{where}period {at + 1} ends in the year {year}, "
                         "outside the years 1678 to 2261 that xarray's times hold")
    return h.view("datetime64[h]").astype("datetime64[ns]")


def _iso(hours):
    return str(np.datetime64(int(hours), "h"))


def _variable_of(kind, level):
    if kind == "CONC.DAT":
        return "conc"
    if kind == "WFLX.DAT":
        return "wet_flux"
    if kind == "DFLX.DAT":
        return "total_flux" if level == "TF" else "dry_flux"
    raise InputError(f"a dataset of kind {kind!r}")


def _receptor_coords(x, y, z):
    n = len(x)
    return {
        "receptor": ("receptor", np.arange(1, n + 1, dtype=np.int32), {"long_name": "receptor number, from 1"}),
        "x": ("receptor", x, {"units": "km", "long_name": "receptor x"}),
        "y": ("receptor", y, {"units": "km", "long_name": "receptor y"}),
        "elevation": ("receptor", z, {"units": "m", "long_name": "receptor elevation as written in the control file"}),
    }


def open_dataset(path, drop_variables=None):
    """A CONC.DAT dataset (a .gdx file) as an xarray.Dataset.

    One variable named by the dataset's type (``conc``, ``dry_flux``,
    ``wet_flux`` or ``total_flux``), float32 as stored, of dimensions
    ``time`` (the period ends; hour 00 is the next day's midnight) and
    ``receptor``; coordinates ``x`` and ``y`` (km) and ``elevation``; the
    header's fields as attributes. Raises kestrel.InputError (a ValueError)
    for a damaged or cut dataset, kestrel.FileError (an OSError) when it
    cannot be read, FileNotFoundError when it is not there.
    """
    path = os.fspath(path)
    raw = _kestrel.open_dataset(path)
    h = raw["header"]
    kind = _text(h["kind"])
    speclev = _text(h["speclev"])
    species, level = speclev[:12].rstrip(), speclev[12:].strip()
    name = _variable_of(kind, level)
    unit = "g/m3" if name == "conc" else "g/m2/s"
    titles = [_text(t) for t in h["titles"]]
    attrs = {
        "species": species,
        "unit": unit,
        "title_1": titles[0],
        "title_2": titles[1],
        "title_3": titles[2],
        "begin": _iso(h["begin"]),
        "dataset": kind,
        "version": _text(h["version"]),
        "model": _text(h["model"]),
        "program": _text(h["comments"][0]) if h["comments"] else "",
        "level": level,
        "source": _text(h["csrcnam"]),
        "run_length_h": int(h["irlg"]),
        "averaging_h": h["iavg"] * h["nsecdt"] / 3600.0,
        "grid_nx": int(h["nx"]),
        "grid_ny": int(h["ny"]),
        "grid_cell_km": float(h["dxkm"]),
        "grid_x0_km": float(h["xorigkm"]),
        "grid_y0_km": float(h["yorigkm"]),
        "factor": 1.0,
        "source_file": path,
    }
    coords = _receptor_coords(raw["x"], raw["y"], raw["z"])
    coords["time"] = ("time", _times(raw["ends"], path), {"long_name": "period end"})
    values = raw["values"]
    var = xr.Variable(("time", "receptor"), values,
                      {"units": unit, "long_name": _LONG_NAMES[name]})
    ds = xr.Dataset({name: var}, coords=coords, attrs=attrs)
    if drop_variables:
        ds = ds.drop_vars([v for v in drop_variables if v in ds.variables])
    return ds


def _aermod_unit(type_, factor):
    """The unit AERMOD wrote its values in, from the factor the conversion takes."""
    if type_ == "CONC":
        known = {1.0e-9: "ng/m3", 1.0e-6: "ug/m3", 1.0e-3: "mg/m3", 1.0: "g/m3"}
        suffix, f = "", float(factor)
    else:
        known = {1.0e-6: "ug/m2", 1.0e-3: "mg/m2", 1.0: "g/m2"}
        suffix, f = " per hour", float(factor) * 3600.0
    for k, label in known.items():
        if abs(f - k) <= 1e-6 * k:
            return label + suffix
    return f"{1.0 / f:g} x g/m3" if type_ == "CONC" else f"{1.0 / f:g} x g/m2{suffix}"


def _control_path(control, postfile):
    """A bare file name is the run's control file beside the POSTFILE (where
    AERMOD wrote it), else in the current folder; a path with folders is
    taken as it stands."""
    control = os.fspath(control)
    if os.path.isabs(control) or os.path.dirname(control):
        return control
    beside = os.path.join(os.path.dirname(os.fspath(postfile)), control)
    return beside if os.path.exists(beside) else control


def read_postfile(path, control="AERMOD.INP", type="conc"):
    """An AERMOD POSTFILE, unformatted (UNFORM) or formatted (PLOT), as an
    xarray.Dataset of the structure open_dataset gives.

    The receptors come from the control file as the converter finds them;
    the values are those of output type ``type`` (``conc``, ``total_flux``,
    ``dry_flux``, ``wet_flux``, or AERMOD's keywords CONC, DEPOS, DDEP,
    WDEP) in AERMOD's unit: the attributes ``unit`` and ``factor`` say which
    and what turns them into the dataset's. A POSTFILE that several source
    groups share gets a ``group`` dimension (time x group x receptor); one
    of a single group a scalar ``group`` coordinate.
    """
    path = os.fspath(path)
    keyword = {v: k for k, v in VARIABLES.items()}.get(type, str(type).upper())
    if keyword not in VARIABLES:
        raise InputError(f"type takes conc, total_flux, dry_flux or wet_flux, not {type!r}")
    control = _control_path(control, path)
    raw = _kestrel.read_postfile(path, control, keyword)
    name = VARIABLES[keyword]
    groups = list(raw["groups"])
    values, ends, codes = raw["values"], raw["ends"], raw["group"]
    attrs = {
        "species": raw["species"],
        "unit": _aermod_unit(keyword, raw["factor"]),
        "factor": float(raw["factor"]),
        "title_1": raw["titles"][0],
        "title_2": raw["titles"][1],
        "source_file": path,
        "control_file": control,
    }
    aves = sorted(set(int(a) for a in np.unique(raw["kave"])))
    attrs["averaging_h"] = aves[0] if len(aves) == 1 else aves
    for w in raw["warnings"]:
        import warnings
        warnings.warn(w, stacklevel=2)
    coords = _receptor_coords(raw["x"], raw["y"], raw["z"])
    var_attrs = {"units": attrs["unit"], "long_name": _LONG_NAMES[name]}
    g = len(groups)
    if g > 1:
        # AERMOD writes each hour's groups one after the other, always in
        # the same order: the records are time x group as they stand.
        whole = len(ends) // g * g
        if whole != len(ends):
            import warnings
            warnings.warn(f"{path}: its last hour holds only some of its groups; that hour is left out", stacklevel=2)
        c = codes[:whole].reshape(-1, g)
        e = ends[:whole].reshape(-1, g)
        if not (c == np.arange(g, dtype=c.dtype)).all() or not (e == e[:, :1]).all():
            raise InputError(f"{path}: its source groups do not come in the same order hour after hour")
        data = values[:whole].reshape(-1, g, values.shape[1])
        coords["time"] = ("time", _times(e[:, 0], path), {"long_name": "period end"})
        coords["group"] = ("group", np.array(groups, dtype=object), {"long_name": "source group"})
        var = xr.Variable(("time", "group", "receptor"), data, var_attrs)
    else:
        coords["time"] = ("time", _times(ends, path), {"long_name": "period end"})
        coords["group"] = ((), groups[0] if groups else "", {"long_name": "source group"})
        var = xr.Variable(("time", "receptor"), values, var_attrs)
    return xr.Dataset({name: var}, coords=coords, attrs=attrs)
