#!/usr/bin/env python3
"""Times kestrel against the I/O floor on generated AERMOD runs.

Each case is generated once (gen_run), then kestrel and the floor program run
alternately, each after a warm-up, with the page cache warm for the input and
the datasets deleted before every timed run (and `sync` so that the previous
run's writeback does not land in the next one's time). Medians of wall time,
CPU time and peak resident memory are reported, then the same for the
overwrite case (datasets already present).

Cases (f) and (g) are formatted (PLOT) POSTFILEs, in F13.5 and E13.6; their
floor reads the same text and writes the same dataset size.

Cases (h) and (i) are about threads, not the floor: (h) one run of 4 UNFORM
POSTFILEs converted with -j 1 and -j 2; (i) copies of the sample run in as
many folders, converted by one `kestrel -j 2 runs/*` and by `xargs -P 2`
starting one kestrel per run folder.

Cases (j), (k) and (l) are kestrel-join's, against the join's floor (every
input's bytes read, the output's bytes written): (j) two datasets of 10,000
receptors x 2 years summed, (k) four receptor chunks of a 100 x 100 grid
joined, (l) two years appended; each output is 703 MB. With --cold the
inputs are put out of the page cache before each run (posix_fadvise
DONTNEED on them alone), so that both read them from the disk.

usage: run_bench.py --build BUILD_DIR [--work DIR] [--size tiny|full] [--repeat N] [--cases abcdefghijklm] [--cold]

Case (m) is kestrel-inspect's statistics: a run of two years of hours at
10,000 receptors (a dataset of 700 MB) converted once,
then its dataset summarised plainly (reading every value) and with each of
--stat high:8, daily-max:4 and avg:8:1, and with a surface file of its
hours (--met: a calm hour in 7, a missing one in 31) avg:8:1, period and
avg-years:24:8, alternately.


"""
import argparse
import glob
import os
import shutil
import statistics
import subprocess
import sys

# name: (receptors, hours, files, real size or PLOT form, description)
FULL = {
    'a': (10000, 8784, 1, 8, '10,000 receptors x 8,784 h, 8-byte'),
    'b': (10000, 8784, 1, 4, '10,000 receptors x 8,784 h, 4-byte'),
    'c': (500, 8784, 1, 8, '500 receptors x 8,784 h'),
    'd': (10000, 24, 1, 8, '10,000 receptors x 24 h'),
    'e': (100, 8784, 100, 8, '100 POSTFILEs of 100 receptors x 8,784 h'),
    'f': (1000, 8784, 1, 'plot', '1,000 receptors x 8,784 h, PLOT F13.5'),
    'g': (1000, 8784, 1, 'exp', '1,000 receptors x 8,784 h, PLOT E13.6'),
}
TINY = {k: (max(1, r // 100), max(2, h // 100), max(1, f // 10), s, d) for k, (r, h, f, s, d) in FULL.items()}
# The statistics case: receptors and hours of the run whose dataset is read.
FULL_M, TINY_M = (10000, 17568), (100, 88)
# Thread cases: (receptors, hours, files) of the one run of (h); run folders of (i).
FULL_H, TINY_H = (10000, 8784, 4), (100, 88, 4)
FULL_I, TINY_I = 500, 5
# kestrel-join: (mode, inputs as (receptors, hours, first hour, first receptor), grid side, description).
FULL_JOIN = {
    'j': ('--sum', [(10000, 17544, 0, 0)] * 2, 100, '2 datasets of 10,000 receptors x 17,544 h summed'),
    'k': ('--receptors', [(2500, 17544, 0, 2500 * c) for c in range(4)], 100,
          '4 chunks of 2,500 receptors x 17,544 h joined by receptors'),
    'l': ('--time', [(10000, 8784, 0, 0), (10000, 8760, 8784, 0)], 100,
          '2 years of 10,000 receptors (8,784 h, 8,760 h) appended'),
}
TINY_JOIN = {
    'j': ('--sum', [(100, 175, 0, 0)] * 2, 10, FULL_JOIN['j'][3]),
    'k': ('--receptors', [(25, 175, 0, 25 * c) for c in range(4)], 10, FULL_JOIN['k'][3]),
    'l': ('--time', [(100, 88, 0, 0), (100, 87, 88, 0)], 10, FULL_JOIN['l'][3]),
}
SAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'examples', 'sample')


TIMER = None


def timed(cmd, cwd):
    """Wall seconds, CPU seconds and peak RSS in MiB of one run."""
    out = subprocess.run([TIMER, cwd] + cmd, capture_output=True, text=True)
    if out.returncode != 0:
        sys.exit('failed: %s in %s' % (' '.join(cmd), cwd))
    wall, cpu, rss = out.stdout.split()
    return float(wall), float(cpu), int(rss) / 1024.0


def clear(folder):
    for f in glob.glob(os.path.join(folder, '*.gdx')):
        os.remove(f)


def measure(cmd, folder, fresh):
    if fresh:
        clear(folder)
    os.sync()
    return timed(cmd, folder)


def clear_tree(folder):
    for root, _, files in os.walk(folder):
        for f in files:
            if f.endswith('.gdx') or f.endswith('.kst'):
                os.remove(os.path.join(root, f))


def alternate(cmds, folder, repeat, clean):
    """Each command once to warm up, then `repeat` alternating rounds; medians and the peak RSS."""
    for cmd in cmds:
        clean(folder)
        os.sync()
        timed(cmd, folder)
    runs = [[] for _ in cmds]
    for _ in range(repeat):
        for i, cmd in enumerate(cmds):
            clean(folder)
            os.sync()
            runs[i].append(timed(cmd, folder))
    return [(statistics.median(x[0] for x in r), statistics.median(x[1] for x in r), max(x[2] for x in r))
            for r in runs]


def case_h(gen, kestrel, work, size, repeat):
    nrec, hours, files = FULL_H if size == 'full' else TINY_H
    folder = os.path.join(work, 'h')
    shutil.rmtree(folder, ignore_errors=True)
    subprocess.run([gen, folder, str(nrec), str(hours), str(files), '8'], check=True)
    (w1, c1, m1), (w2, c2, m2) = alternate([[kestrel, '-j', '1'], [kestrel, '-j', '2']], folder, repeat, clear)
    shutil.rmtree(folder, ignore_errors=True)
    print('(h) one run, %d UNFORM POSTFILEs x %d receptors x %d h' % (files, nrec, hours))
    print('| -j | wall s | CPU s | peak RSS MiB |')
    print('|---|---|---|---|')
    print('| 1 | %.3f | %.3f | %.1f |' % (w1, c1, m1))
    print('| 2 | %.3f | %.3f | %.1f |' % (w2, c2, m2))
    print('-j 2 / -j 1 wall time: %.2f (target at most 0.65)' % (w2 / w1 if w1 else 0))


def case_i(kestrel, work, size, repeat):
    n = FULL_I if size == 'full' else TINY_I
    folder = os.path.join(work, 'i')
    shutil.rmtree(folder, ignore_errors=True)
    runs = ['runs/r%03d' % k for k in range(n)]
    for r in runs:
        shutil.copytree(SAMPLE, os.path.join(folder, r), ignore=shutil.ignore_patterns('*.gdx', '*.kst'))
    one = [kestrel, '-j', '2'] + runs
    per_run = ['/bin/sh', '-c', 'printf "%%s\\n" runs/* | xargs -P 2 -I{} sh -c \'cd "$1" && exec %s\' sh {}'
               % kestrel]
    (w1, c1, m1), (w2, c2, m2) = alternate([one, per_run], folder, repeat, clear_tree)
    shutil.rmtree(folder, ignore_errors=True)
    print('(i) %d copies of the sample run in %d folders' % (n, n))
    print('| command | wall s | CPU s | peak RSS MiB |')
    print('|---|---|---|---|')
    print('| kestrel -j 2 runs/* | %.3f | %.3f | %.1f |' % (w1, c1, m1))
    print('| xargs -P 2, one kestrel per run | %.3f | %.3f | %.1f |' % (w2, c2, m2))
    print('xargs / kestrel wall time: %.2f (target at least 2)' % (w2 / w1 if w1 else 0))


def write_surface_file(inspect, folder, dataset, path):
    """An AERMET surface file for the dataset's hours: a calm hour in 7, a
    missing one (wind speed 999) in 31, the rest valid."""
    import datetime
    import json
    doc = json.loads(subprocess.run([inspect, '--json', dataset], cwd=folder, check=True,
                                    capture_output=True, text=True).stdout)
    first = datetime.datetime.fromisoformat(doc['first_period_end'])
    lines = ['  29.967N   95.350W  UA_ID: 3937  SF_ID: 722430  VERSION: 24142\n']
    for i in range(doc['periods']):
        end = first + datetime.timedelta(hours=i)
        day = end - datetime.timedelta(hours=1)  # hour 24 is the day before's
        hr = end.hour or 24
        ws = 0.0 if i % 7 == 3 else 999.0 if i % 31 == 5 else 2.1
        lines.append('%02d %2d %2d %3d %2d  -21.5 0.222 -9.000 -9.000 -999.  251.   54.1  0.1500   0.70   1.00 '
                     '%7.2f   28.0    6.1  287.5    2.0\n' % (day.year % 100, day.month, day.day,
                                                           day.timetuple().tm_yday, hr, ws))
    with open(path, 'w') as f:
        f.writelines(lines)


def case_m(gen, kestrel, inspect, work, size, repeat):
    nrec, hours = FULL_M if size == 'full' else TINY_M
    folder = os.path.join(work, 'm')
    shutil.rmtree(folder, ignore_errors=True)
    subprocess.run([gen, folder, str(nrec), str(hours), '1', '8'], check=True)
    subprocess.run([kestrel], cwd=folder, check=True, stdout=subprocess.DEVNULL)
    dataset = [os.path.basename(f) for f in glob.glob(os.path.join(folder, '*.gdx'))][0]
    size_mb = os.path.getsize(os.path.join(folder, dataset)) / 1e6
    write_surface_file(inspect, folder, dataset, os.path.join(folder, 'met.sfc'))
    stats = ['high:8', 'daily-max:4', 'avg:8:1', 'avg:8:1 --met', 'period --met', 'avg-years:24:8 --met']
    cmds = [[inspect, dataset]] + [[inspect, '--stat'] + s.replace('--met', '--met met.sfc').split() + [dataset]
                                   for s in stats]
    results = alternate(cmds, folder, repeat, lambda _: None)
    shutil.rmtree(folder, ignore_errors=True)
    print('(m) kestrel-inspect on a dataset of %d receptors x %d h (%.0f MB)' % (nrec, hours, size_mb))
    print('| command | wall s | CPU s | peak RSS MiB | / plain summary |')
    print('|---|---|---|---|---|')
    base = results[0][0]
    for name, (w, c, m) in zip(['summary'] + ['--stat ' + s for s in stats], results):
        print('| %s | %.3f | %.3f | %.1f | %.2f |' % (name, w, c, m, w / base if base else 0))


def case_join(name, build, work, size, repeat, cold):
    """kestrel-join against the join's floor; the output deleted before each run."""
    mode, inputs, side, what = (FULL_JOIN if size == 'full' else TINY_JOIN)[name]
    folder = os.path.join(work, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    gen = os.path.join(build, 'bench', 'kestrel_gen_dataset')
    names = []
    for i, (nrec, hours, start, first) in enumerate(inputs):
        names.append('in%d.gdx' % i)
        if i > 0 and inputs[i] == inputs[0]:
            shutil.copyfile(os.path.join(folder, names[0]), os.path.join(folder, names[-1]))
            continue
        subprocess.run([gen, os.path.join(folder, names[-1]), str(nrec), str(hours), str(start), str(first),
                        str(side)], check=True)
    join = [os.path.join(build, 'kestrel-join'), mode, '-o', 'out.gdx'] + names
    subprocess.run(join, cwd=folder, check=True, capture_output=True)
    out_size = os.path.getsize(os.path.join(folder, 'out.gdx'))
    floor = [os.path.join(build, 'bench', 'kestrel_join_floor'), 'out.gdx', str(out_size)] + names

    def clean(f):
        for n in ('out.gdx', 'out.gdx.part'):
            if os.path.exists(os.path.join(f, n)):
                os.remove(os.path.join(f, n))
        if cold:
            os.sync()
            for n in names:
                fd = os.open(os.path.join(f, n), os.O_RDONLY)
                os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
                os.close(fd)

    (jw, jc, jm), (fw, fc, fm) = alternate([join, floor], folder, repeat, clean)
    in_mb = sum(os.path.getsize(os.path.join(folder, n)) for n in names) / 1e6
    shutil.rmtree(folder, ignore_errors=True)
    return (name, what, in_mb, out_size / 1e6, jw, jc, jm, fw, fc)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--build', required=True)
    ap.add_argument('--work', default='/tmp/kestrel-bench')
    ap.add_argument('--size', choices=['tiny', 'full'], default='full')
    ap.add_argument('--repeat', type=int, default=7)
    ap.add_argument('--cases', default='abcde')  # f to l: see above
    ap.add_argument('--cold', action='store_true', help='the join cases with their inputs out of the page cache')
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    kestrel = os.path.join(build, 'kestrel')
    gen = os.path.join(build, 'bench', 'kestrel_gen_run')
    floor = os.path.join(build, 'bench', 'kestrel_floor')
    cases = FULL if args.size == 'full' else TINY
    global TIMER
    TIMER = os.path.join(build, 'bench', 'kestrel_timer')

    rows = []
    joins = []
    for name in args.cases:
        if name in 'jkl':
            joins.append(case_join(name, build, args.work, args.size, args.repeat, args.cold))
            continue
        if name == 'h':
            case_h(gen, kestrel, args.work, args.size, args.repeat)
            continue
        if name == 'i':
            case_i(kestrel, args.work, args.size, args.repeat)
            continue
        if name == 'm':
            case_m(gen, kestrel, os.path.join(build, 'kestrel-inspect'), args.work, args.size, args.repeat)
            continue
        nrec, hours, files, real, _ = cases[name]
        plot = real in ('plot', 'exp')
        what = '%s x %d receptors x %d h, %s' % (
            '1 POSTFILE' if files == 1 else '%d POSTFILEs' % files, nrec, hours,
            {'plot': 'PLOT F13.5', 'exp': 'PLOT E13.6'}.get(real, '%s-byte' % real))
        folder = os.path.join(args.work, name)
        shutil.rmtree(folder, ignore_errors=True)
        subprocess.run([gen, folder, str(nrec), str(hours), str(files), str(real)], check=True)
        k_cmd = [kestrel]
        f_cmd = [floor, '.', str(nrec), str(hours)] if plot else [floor, '.', str(nrec)]
        for cmd in (k_cmd, f_cmd):  # warm-up: input in the page cache
            measure(cmd, folder, True)
        k, f = [], []
        for _ in range(args.repeat):  # alternating pairs
            k.append(measure(k_cmd, folder, True))
            f.append(measure(f_cmd, folder, True))
        ko, fo = [], []
        for _ in range(args.repeat):  # datasets already present
            ko.append(measure(k_cmd, folder, False))
            fo.append(measure(f_cmd, folder, False))

        def med(xs, i):
            return statistics.median(x[i] for x in xs)

        rows.append((name, what, med(k, 0), med(k, 1), max(x[2] for x in k), med(f, 0), med(ko, 0), med(fo, 0)))
        shutil.rmtree(folder, ignore_errors=True)

    if joins:
        print('| case | join | inputs MB | output MB | kestrel-join wall s | CPU s | peak RSS MiB | floor wall s '
              '| CPU s | ratio | CPU ratio |')
        print('|---|---|---|---|---|---|---|---|---|---|---|')
        for name, what, in_mb, out_mb, jw, jc, jm, fw, fc in joins:
            print('| %s | %s | %.0f | %.0f | %.3f | %.3f | %.1f | %.3f | %.3f | %.2f | %.2f |' % (
                name, what, in_mb, out_mb, jw, jc, jm, fw, fc, jw / fw if fw else 0, jc / fc if fc else 0))
        print('target: at most 1.3 x the floor')
    if not rows:
        return
    print('| case | run | kestrel wall s | kestrel CPU s | peak RSS MiB | floor wall s | ratio '
          '| overwrite: kestrel s | floor s | ratio |')
    print('|---|---|---|---|---|---|---|---|---|---|')
    for name, what, kw, kc, rss, fw, kow, fow in rows:
        print('| %s | %s | %.3f | %.3f | %.1f | %.3f | %.2f | %.3f | %.3f | %.2f |' % (
            name, what, kw, kc, rss, fw, kw / fw if fw else 0, kow, fow, kow / fow if fow else 0))


if __name__ == '__main__':
    main()
