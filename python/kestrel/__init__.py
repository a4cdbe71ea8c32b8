"""KESTREL from Python: CONC.DAT datasets and AERMOD POSTFILEs as xarray,
and the conversion, the join and the statistics of the programs, on the
same C++ core.

    ds = kestrel.open_dataset("POST.BIN.gdx")        # or xarray.open_dataset(..., engine="kestrel")
    pf = kestrel.read_postfile("POST.BIN", control="AERMOD.INP")
    runs = kestrel.convert(["run1", "run2"])
    kestrel.statistic(ds, "daily-max:4")
"""

from ._errors import Error, FileError, InputError, MissingFileError
from ._reading import open_dataset, read_postfile
from ._doing import DatasetWritten, RunResult, convert, join, statistic
from . import _kestrel

__version__ = _kestrel.version

__all__ = [
    "Error", "InputError", "FileError", "MissingFileError",
    "open_dataset", "read_postfile", "convert", "join", "statistic",
    "RunResult", "DatasetWritten",
]
