"""convert, join and statistic against the programs on the real runs."""

import csv
import io
import os
import subprocess

import numpy as np
import pytest

import kestrel
from conftest import BUILD, DATA, copy_run, numpy_dataset, program

RUNS = ["aertest-disccart", "testgas-deposition", "hrdow-shared"]


def test_convert_writes_what_the_program_writes(in_tmp, capfd):
    by_call = [copy_run(r, in_tmp / "call") for r in RUNS]
    by_program = [copy_run(r, in_tmp / "program") for r in RUNS]
    subprocess.run([program("kestrel"), "-j", "2", *map(str, by_program)], check=True, capture_output=True)
    result = kestrel.convert(by_call, jobs=2)
    assert result.exit_status == 0 and [r.run for r in result] == [str(p) for p in by_call]
    for run, a, b in zip(result, by_call, by_program):
        assert run.status == "normal" and run.exit_status == 0 and run.text == "NORMAL TERMINATION"
        written = sorted(p.name for p in b.iterdir() if p.suffix == ".gdx")
        assert sorted(d.path.rsplit("/", 1)[1] for d in run.datasets) == written
        for d in run.datasets:
            name = d.path.rsplit("/", 1)[1]
            assert (b / name).read_bytes() == open(d.path, "rb").read(), name
            assert d.receptors == len(numpy_dataset(d.path)[0][0])
            assert d.periods == len(numpy_dataset(d.path)[1])
        # The list files are the same but for the times they note.
        assert (a / "AERMOD.INP.kst").exists()
    first = result[0].datasets[0]
    assert first.type == "CONC" and first.first == np.datetime64("1988-03-01T01")
    assert capfd.readouterr() == ("", "")  # nothing printed: the program's console is kept
    assert "kestrel: 3 runs: 3 normal, 0 halted, 0 failed; 10 datasets written" in result.console


def test_convert_warnings_strict_and_verbose(in_tmp, capsys):
    folder = copy_run("aertest-disccart", in_tmp)
    post = folder / "AERTEST_01H.BIN"
    post.write_bytes(post.read_bytes()[:-3])  # a run still writing: a cut last record
    result = kestrel.convert(folder, strict=True, verbose=True)
    assert result[0].status == "normal"
    assert ["ends inside a record" in w for w in result[0].warnings] == [True, False]
    assert "holds 95 periods but the run period has 96 hours" in result[0].warnings[1]
    assert result.exit_status == 3
    assert "NORMAL TERMINATION" in capsys.readouterr().out


def test_convert_usage_error():
    with pytest.raises(kestrel.InputError, match="jobs"):
        kestrel.convert(["x"], jobs=0)


def test_join_as_the_program(in_tmp):
    inputs = [str(DATA / f"hrdow-shared/expected/HRDOW_STACK{k}_01H.BIN.gdx") for k in (3, 4, 5)]
    subprocess.run([program("kestrel-join"), "--sum", "-o", "program.gdx", *inputs], check=True, capture_output=True)
    assert kestrel.join("sum", "call.gdx", inputs) == "call.gdx"
    assert (in_tmp / "call.gdx").read_bytes() == (in_tmp / "program.gdx").read_bytes()
    summed = kestrel.open_dataset("call.gdx")["conc"]
    assert summed.shape == kestrel.open_dataset(inputs[0])["conc"].shape


@pytest.mark.parametrize("mode,inputs,error,words", [
    ("time", ["A", "A"], kestrel.InputError, "same file"),
    ("sum", ["NOTHERE.gdx"], FileNotFoundError, "NOTHERE.gdx"),
    ("sideways", ["A"], kestrel.InputError, "receptors, sum or time"),
])
def test_join_refusals(mode, inputs, error, words, in_tmp):
    src = DATA / "hrdow-shared/expected/HRDOW_STACK3_01H.BIN.gdx"
    names = [str(src) if i == "A" else i for i in inputs]
    with pytest.raises(error, match=words):
        kestrel.join(mode, "out.gdx", names)
    assert not (in_tmp / "out.gdx").exists()


def inspect_csv(path, stats, unit):
    args = [program("kestrel-inspect"), "--receptors-csv", "--unit", unit]
    for s in stats:
        args += ["--stat", s]
    out = subprocess.run(args + [str(path)], check=True, capture_output=True, text=True).stdout
    return list(csv.DictReader(io.StringIO(out)))


# Each statistic as kestrel-inspect computes it: (file, statistic, unit).
@pytest.mark.parametrize("name,stat,unit", [
    ("aertest-disccart/expected/AERTEST_01H.BIN.gdx", "daily-max:2", None),
    ("aertest-disccart/expected/AERTEST_01H.BIN.gdx", "high:4", "ug/m3"),
    ("aertest-disccart/expected/AERTEST_01H.BIN.gdx", "avg:8:1", None),
    ("aertest-disccart/expected/AERTEST_01H.BIN.gdx", "mean", None),
    ("aertest-disccart/expected/AERTEST_01H.BIN.gdx", "exceed:20", "ug/m3"),
    ("testgas-deposition/expected/ALL_01H.BIN.dflx.gdx", "max", "ug/m2/h"),
])
def test_statistic_as_inspect(name, stat, unit):
    ds = kestrel.open_dataset(DATA / name)
    got = kestrel.statistic(ds, stat, unit=unit)
    shown = unit or ds.attrs["unit"]
    rows = inspect_csv(DATA / name, [stat], shown)
    col = got.name
    assert got.dims == ("receptor",) and len(rows) == got.sizes["receptor"]
    want = np.array([float(r[col]) for r in rows])
    np.testing.assert_allclose(got.values, want, rtol=1e-6)  # the CSV's 7 digits
    if f"{col}_end" in rows[0]:
        ends = [np.datetime64(r[f"{col}_end"]) if r[f"{col}_end"] else np.datetime64("NaT") for r in rows]
        assert np.array_equal(got["time"].values, np.array(ends, dtype="datetime64[ns]"), equal_nan=True)


def test_statistic_of_numpy_and_of_groups():
    ds = kestrel.open_dataset(DATA / "aertest-disccart/expected/AERTEST_01H.BIN.gdx")
    top = kestrel.statistic(ds, "max")
    assert np.array_equal(top.values, ds["conc"].values.max(axis=0).astype(np.float64))
    assert top.attrs["units"] == "g/m3"
    pf = kestrel.read_postfile(DATA / "hrdow-shared/input/HRDOW_STACK12_01H.BIN",
                               control=DATA / "hrdow-shared/input/AERMOD.INP")
    per_group = kestrel.statistic(pf, "max", unit="ug/m3")
    assert per_group.dims == ("group", "receptor")
    want = pf["conc"].values.max(axis=0).astype(np.float64) * np.float64(np.float32(1e-6)) * 1e6
    np.testing.assert_allclose(per_group.values, want, rtol=1e-12)
    with pytest.raises(kestrel.InputError, match="--stat takes"):
        kestrel.statistic(ds, "median")
    with pytest.raises(kestrel.InputError, match="concentrations"):
        kestrel.statistic(ds, "max", unit="g/m2/s")


def test_statistic_as_aermod_with_its_calm_and_missing_hours():
    run = BUILD / "tests" / "averages" / "hrdow-houston-1996"
    if not run.exists():
        pytest.skip(f"{run} is not unpacked (a build with the tests)")
    pf = kestrel.read_postfile(run / "STACK1_01H.BIN", control=run / "AERMOD.INP")
    # AERMOD.OUT's PERIOD and 1st highest 24-hour values of the first two receptors.
    period = kestrel.statistic(pf, "period", unit="ug/m3")
    np.testing.assert_allclose(period.values[:2], [0.31171, 4.25284], atol=5e-6)
    day = kestrel.statistic(pf, "avg:24:1", unit="ug/m3")
    np.testing.assert_allclose(day.values[:2], [19.93847, 140.70055], atol=5e-6)
    assert list(day["flag"].values[:3]) == ["c", "c", "b"]
    # The surface file found through the control file, or named; without it, a warning.
    again = kestrel.statistic(pf, "period", unit="ug/m3", met=run / "HOUSTON_ADJU.SFC")
    assert np.array_equal(again.values, period.values)
    pf.attrs["control_file"] = ""
    pf.attrs["source_file"] = ""
    with pytest.warns(UserWarning, match="calm and missing hours are unknown"):
        plain = kestrel.statistic(pf, "period", unit="ug/m3")
    assert plain.values[0] < period.values[0]


def test_deposition_totals():
    run = BUILD / "tests" / "averages" / "deposition-houston-1996-q1"
    if not run.exists():
        pytest.skip(f"{run} is not unpacked (a build with the tests)")
    pf = kestrel.read_postfile(run / "ALL_01H.BIN", control=run / "AERMOD.INP", type="ddep")
    total = kestrel.statistic(pf, "period", unit="ug/m2/h")
    assert total.attrs["units"] == "ug/m2" and "total" in total.attrs["long_name"]
    np.testing.assert_allclose(total.values.ravel()[:2], [53.13906, 3267.80021], rtol=1e-7, atol=5e-6)
    assert kestrel.statistic(pf, "avg:24:1").attrs["units"] == "g/m2"


def test_ctrl_c_stops_a_call_with_the_gil_released():
    import os
    import signal
    import threading
    import time
    ticks = []
    stop = threading.Event()

    def tick():  # runs only while the call has let go of the GIL
        while not stop.is_set():
            ticks.append(1)
            time.sleep(0.01)

    threading.Thread(target=tick).start()
    threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT)).start()
    began = time.monotonic()
    try:
        with pytest.raises(KeyboardInterrupt):
            kestrel._kestrel._wait(30)
    finally:
        stop.set()
    assert time.monotonic() - began < 5
    assert len(ticks) >= 10
    assert kestrel._kestrel._wait(0.01)  # the next call starts with the flag cleared


def test_times_and_paths_that_would_mislead(in_tmp):
    """NaT or out-of-calendar period ends are refused, not looped over; years
    nanosecond times cannot hold are refused, not wrapped; a relative run's
    datasets are named as they can be opened."""
    copy_run("aertest-disccart", in_tmp / "runs")
    result = kestrel.convert(["runs/aertest-disccart"])
    assert result[0].datasets and all(os.path.exists(d.path) for d in result[0].datasets)
    gdx = result[0].datasets[0].path
    # A listing as new as the POSTFILEs that lacks AERMOD's closing line: halted, unless asked.
    failed = copy_run("aertest-disccart", in_tmp / "failed")
    (failed / "AERMOD.OUT").write_text(" *** AERMOD Finishes UN-successfully ***\n")
    halted = kestrel.convert([failed])
    assert halted[0].status == "halted" and halted[0].exit_status == 1 and not halted[0].datasets
    assert "AERMOD did not finish" in halted[0].text
    assert kestrel.convert([failed], allow_failed_aermod=True)[0].status == "normal"
    ds = kestrel.open_dataset(gdx)
    times = ds["time"].values.copy()
    times[3] = np.datetime64("NaT")
    with pytest.raises(kestrel.InputError, match="time 3 is NaT"):
        kestrel.statistic(ds.assign_coords(time=times), "high:1")
    values = np.zeros((2, 3), dtype=np.float32)
    for end in (np.iinfo(np.int64).min, np.iinfo(np.int64).max):
        with pytest.raises(kestrel.InputError, match="no period end in the years 1 to 9999"):
            kestrel._kestrel.statistic(values, np.array([0, end], dtype=np.int64), "high:1", 1.0, "ug/m3", "g/m3",
                                       "", "", "")
    # Every period's year made 2300: past what datetime64[ns] holds.
    _, periods = numpy_dataset(gdx)
    raw = bytearray(open(gdx, "rb").read())
    first = len(raw) - len(periods) * periods.itemsize
    for k in range(len(periods)):
        at = first + k * periods.itemsize
        for field in (4, 20):  # the begin's and the end's year
            raw[at + field:at + field + 4] = (2300).to_bytes(4, "little")
    far = in_tmp / "far.gdx"
    far.write_bytes(bytes(raw))
    with pytest.raises(kestrel.InputError, match="period 1 ends in the year 2300, outside the years 1678 to 2261"):
        kestrel.open_dataset(far)
