"""The xarray backend: xarray.open_dataset(path, engine="kestrel") and
xarray.open_mfdataset(paths, engine="kestrel") read datasets with
kestrel.open_dataset."""

import os

from xarray.backends import BackendEntrypoint


class KestrelBackendEntrypoint(BackendEntrypoint):
    description = "CONC.DAT version 2.1 datasets (.gdx), as KESTREL writes them"
    open_dataset_parameters = ("filename_or_obj", "drop_variables")

    def open_dataset(self, filename_or_obj, *, drop_variables=None):
        from ._reading import open_dataset
        return open_dataset(filename_or_obj, drop_variables=drop_variables)

    def guess_can_open(self, filename_or_obj):
        try:
            return os.fspath(filename_or_obj).lower().endswith(".gdx")
        except TypeError:
            return False
