"""open_dataset, the xarray engine and read_postfile on the real runs."""

import shutil
import warnings

import numpy as np
import pytest
import xarray as xr

import kestrel
from conftest import DATA, copy_run, numpy_dataset, period_end

# Datasets of the shared runs: (file, variable, unit, species, periods).
DATASETS = [
    ("aertest-disccart/expected/AERTEST_01H.BIN.gdx", "conc", "g/m3", "SO2", 96),
    ("testgas-deposition/expected/ALL_01H.BIN.gdx", "conc", "g/m3", None, None),
    ("testgas-deposition/expected/ALL_01H.BIN.dflx.gdx", "dry_flux", "g/m2/s", None, None),
    ("testgas-deposition/expected/ALL_01H.BIN.wflx.gdx", "wet_flux", "g/m2/s", None, None),
    ("hrdow-shared/expected/HRDOW_STACK12_01H.BIN.STACK2.gdx", "conc", "g/m3", None, None),
]


@pytest.mark.parametrize("opener", ["kestrel", "engine"])
@pytest.mark.parametrize("name,variable,unit,species,periods", DATASETS)
def test_dataset_equals_its_bytes(name, variable, unit, species, periods, opener):
    path = DATA / name
    ds = kestrel.open_dataset(path) if opener == "kestrel" else xr.open_dataset(path, engine="kestrel")
    receptors, recs = numpy_dataset(path)
    assert list(ds.data_vars) == [variable]
    values = ds[variable]
    assert values.dims == ("time", "receptor") and values.dtype == np.float32
    assert np.array_equal(values.values, recs["values"])  # bit for bit, as float32
    for coord, row in (("x", 0), ("y", 1), ("elevation", 2)):
        assert np.array_equal(ds[coord].values, receptors[row])
    ends = np.array([period_end(e) for e in recs["end"]], dtype="datetime64[ns]")
    assert np.array_equal(ds["time"].values, ends)
    assert ds.attrs["unit"] == unit and values.attrs["units"] == unit
    assert ds.attrs["dataset"] == ("CONC.DAT" if variable == "conc" else variable[:1].upper() + "FLX.DAT")
    assert ds.attrs["version"] == "2.1"
    if species:
        assert ds.attrs["species"] == species
    if periods:
        assert ds.sizes["time"] == periods


def test_times_attributes_and_hour_00():
    ds = kestrel.open_dataset(DATA / "aertest-disccart/expected/AERTEST_01H.BIN.gdx")
    t = ds["time"].values
    # The run's first hour ends at 01; AERMOD's hour 24 of 1 March ends at
    # midnight, written 2 March hour 00: the 24th period of 1 March.
    assert t[0] == np.datetime64("1988-03-01T01:00")
    assert t[23] == np.datetime64("1988-03-02T00:00")
    assert ds.sel(time="1988-03-01").sizes["time"] == 23  # 01 to 23; its midnight is the 2nd's 00
    assert ds.attrs["begin"] == "1988-03-01T00"
    assert ds.attrs["title_1"] == "A SIMPLE EXAMPLE PROBLEM FOR THE AERMOD MODEL WITH PRIME"
    assert ds.attrs["title_3"].startswith("Conversion Factor to g/m3:")
    assert ds.attrs["run_length_h"] == 96 and ds.attrs["averaging_h"] == 1.0
    assert ds.attrs["source"] == "TOTAL" and ds.attrs["model"] == "AERMOD"
    assert ds.attrs["grid_nx"] == 2 and ds.attrs["grid_cell_km"] == 1.0
    assert list(ds["receptor"].values[:3]) == [1, 2, 3]


def test_open_mfdataset_stacks_runs():
    paths = [DATA / f"hrdow-shared/expected/HRDOW_STACK{k}_01H.BIN.gdx" for k in (3, 4)]
    ds = xr.open_mfdataset(paths, engine="kestrel", combine="nested", concat_dim="stack")
    assert ds["conc"].dims == ("stack", "time", "receptor")
    for i, p in enumerate(paths):
        assert np.array_equal(ds["conc"][i].values, numpy_dataset(p)[1]["values"])


# read_postfile against the dataset the conversion writes: (run, POSTFILE,
# control file, type, dataset, group, AERMOD's unit).
POSTFILES = [
    ("aertest-disccart", "AERTEST_01H.BIN", "AERMOD.INP", "conc", "AERTEST_01H.BIN.gdx", None, "ug/m3"),
    ("testgas-deposition", "ALL_01H.BIN", "AERMOD.INP", "conc", "ALL_01H.BIN.gdx", None, "ug/m3"),
    ("testgas-deposition", "ALL_01H.BIN", "AERMOD.INP", "dry_flux", "ALL_01H.BIN.dflx.gdx", None, "ug/m2 per hour"),
    ("testgas-deposition", "ALL_01H.BIN", "AERMOD.INP", "WDEP", "ALL_01H.BIN.wflx.gdx", None, "ug/m2 per hour"),
    ("hrdow-shared", "HRDOW_STACK12_01H.BIN", "AERMOD.INP", "conc", "HRDOW_STACK12_01H.BIN.STACK1.gdx", "STACK1",
     "ug/m3"),
    ("hrdow-shared", "HRDOW_STACK12_01H.BIN", "AERMOD.INP", "conc", "HRDOW_STACK12_01H.BIN.STACK2.gdx", "STACK2",
     "ug/m3"),
    ("allsrcs-units", "ALLSRCS_AREA_01H.PST", "AERMOD.INP", "conc", "ALLSRCS_AREA_01H.PST.gdx", None, None),
]


@pytest.mark.parametrize("run,postfile,control,type_,dataset,group,unit", POSTFILES)
def test_postfile_equals_its_dataset(run, postfile, control, type_, dataset, group, unit):
    pf = kestrel.read_postfile(DATA / run / "input" / postfile, control=DATA / run / "input" / control, type=type_)
    ds = kestrel.open_dataset(DATA / run / "expected" / dataset)
    var = next(iter(ds.data_vars))
    assert list(pf.data_vars) == [var]
    got = pf[var] if group is None else pf[var].sel(group=group)
    # The conversion scales each value in single precision.
    scaled = got.values.astype(np.float32) * np.float32(pf.attrs["factor"])
    assert np.array_equal(scaled, ds[var].values)
    assert np.array_equal(pf["time"].values, ds["time"].values)
    for c in ("x", "y", "elevation"):
        assert np.array_equal(pf[c].values, ds[c].values)
    if unit:
        assert pf.attrs["unit"] == unit


def test_shared_postfile_has_its_groups():
    pf = kestrel.read_postfile(DATA / "hrdow-shared/input/HRDOW_STACK12_01H.BIN",
                               control=DATA / "hrdow-shared/input/AERMOD.INP")
    assert pf["conc"].dims == ("time", "group", "receptor")
    assert list(pf["group"].values) == ["STACK1", "STACK2"]
    single = kestrel.read_postfile(DATA / "hrdow-shared/input/HRDOW_STACK3_01H.BIN",
                                   control="AERMOD.INP")  # found beside the POSTFILE
    assert single["conc"].dims == ("time", "receptor") and single["group"].item() == "STACK3"


@pytest.mark.parametrize("run,control,postfile", [
    ("testgas-deposition", "AERMOD_PLOT.INP", "ALL_01H.PLT"),
    ("networks/fileform-exp", "AERMOD_PLOT.INP", "AERTEST_EXP_01H.PLT"),
])
def test_plot_postfile_equals_its_conversion(run, control, postfile, in_tmp):
    folder = copy_run(run, in_tmp)
    result = kestrel.convert([folder / control])
    assert result[0].status == "normal", result[0].text
    for written in result[0].datasets:
        ds = kestrel.open_dataset(written.path)
        var = next(iter(ds.data_vars))
        pf = kestrel.read_postfile(folder / postfile, control=folder / control, type=var)
        scaled = pf[var].values * np.float32(pf.attrs["factor"])
        assert np.array_equal(scaled, ds[var].values), written.path
        assert np.array_equal(pf["time"].values, ds["time"].values)


def damaged_copy(src, dst, at, data):
    shutil.copy(src, dst)
    with open(dst, "r+b") as f:
        f.seek(at)
        f.write(data)
    return dst


# Damage: each file, the byte broken and the message's words.
def test_damaged_dataset_raises_the_readers_message(tmp_path):
    src = DATA / "aertest-disccart/expected/AERTEST_01H.BIN.gdx"
    _, recs = numpy_dataset(src)
    size = src.stat().st_size
    last = size - recs.itemsize  # the last period's first length marker
    bad = damaged_copy(src, tmp_path / "bad.gdx", last, b"\x07\0\0\0")
    with pytest.raises(kestrel.InputError, match=rf"^'{bad}' .*byte {last}") as e:
        kestrel.open_dataset(bad)
    assert isinstance(e.value, ValueError) and isinstance(e.value, kestrel.Error)
    cut = tmp_path / "cut.gdx"
    cut.write_bytes(src.read_bytes()[:size - 10])
    with pytest.raises(kestrel.InputError, match="cut|ends inside"):
        kestrel.open_dataset(cut)
    with pytest.raises(kestrel.InputError):
        xr.open_dataset(cut, engine="kestrel")


def test_damaged_postfile_raises_the_converters_message(in_tmp):
    folder = copy_run("aertest-disccart", in_tmp)
    post = folder / "AERTEST_01H.BIN"
    raw = bytearray(post.read_bytes())
    record = int.from_bytes(raw[:4], "little") + 8
    raw[3 * record:3 * record + 4] = (12345).to_bytes(4, "little")  # the fourth record's marker
    post.write_bytes(bytes(raw))
    with pytest.raises(kestrel.InputError) as e:
        kestrel.read_postfile(post, control=folder / "AERMOD.INP")
    # The words of the list file of a conversion of the same file.
    result = kestrel.convert([folder])
    assert result[0].status == "halted" and result[0].exit_status == 1
    listed = (folder / "AERMOD.INP.kst").read_text()
    for part in str(e.value).split("; "):
        assert part.replace(str(post), post.name) in listed
    assert f"Record 4 at byte {3 * record} cannot be read" in str(e.value)


def test_damaged_plot_line_names_its_line(in_tmp):
    folder = copy_run("testgas-deposition", in_tmp)
    plt = folder / "ALL_01H.PLT"
    lines = plt.read_text().splitlines(keepends=True)
    k = next(i for i, l in enumerate(lines) if not l.startswith("*")) + 5
    lines[k] = lines[k][:20] + "x" + lines[k][21:]
    plt.write_text("".join(lines))
    with pytest.raises(kestrel.InputError, match=rf"Line {k + 1}: "):
        kestrel.read_postfile(plt, control=folder / "AERMOD_PLOT.INP")


@pytest.mark.parametrize("call", [
    lambda p: kestrel.open_dataset(p),
    lambda p: xr.open_dataset(p, engine="kestrel"),
    lambda p: kestrel.read_postfile(p, control=DATA / "aertest-disccart/input/AERMOD.INP"),
    lambda p: kestrel.read_postfile(DATA / "aertest-disccart/input/AERTEST_01H.BIN", control=p),
])
def test_missing_file(call, tmp_path):
    missing = tmp_path / "NOTHERE.gdx"
    with pytest.raises(FileNotFoundError) as e:
        call(missing)
    assert isinstance(e.value, kestrel.Error) and e.value.errno == 2
    assert "NOTHERE.gdx" in str(e.value)


def test_bad_arguments():
    with pytest.raises(kestrel.InputError, match="not 'soot'"):
        kestrel.read_postfile(DATA / "aertest-disccart/input/AERTEST_01H.BIN", type="soot")
    with pytest.raises(kestrel.InputError, match="selects CONC, not DDEP|CONC, not DDEP"):
        kestrel.read_postfile(DATA / "aertest-disccart/input/AERTEST_01H.BIN",
                              control=DATA / "aertest-disccart/input/AERMOD.INP", type="dry_flux")


@pytest.mark.parametrize("postfile,control,named", [("ALL_01H.BIN", "AERMOD_PLOT.INP", "AERMOD.INP"),
                                                    ("ALL_01H.PLT", "AERMOD.INP", "AERMOD_PLOT.INP")])
def test_postfile_the_control_file_does_not_name(postfile, control, named, in_tmp):
    # A copy under another name is told formatted or not by its own bytes,
    # whatever the control file's POSTFILE line says of its own file.
    folder = copy_run("testgas-deposition", in_tmp)
    shutil.copy(folder / postfile, folder / "RENAMED")
    pf = kestrel.read_postfile(folder / "RENAMED", control=folder / control, type="wet_flux")
    own = kestrel.read_postfile(folder / postfile, control=folder / named, type="wet_flux")
    assert pf["wet_flux"].identical(own["wet_flux"])
