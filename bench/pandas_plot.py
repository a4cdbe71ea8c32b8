#!/usr/bin/python3
"""The PLOT conversion done with pandas, for comparison with case (f)/(g).

Reads each POST*.PLT of a generated run folder with read_csv (whitespace
separation, header lines skipped as comments), then writes the values in g/m3
as little-endian single-precision floats (value rounded to single precision,
then times 1e-6 in single precision, as kestrel does) to <name>.pandas.
Reports the wall time of each step. Needs Debian's python3-pandas.

usage: pandas_plot.py DIR [--engine c|pyarrow]
"""
import glob
import os
import sys
import time

import numpy as np
import pandas as pd

NAMES = ['x', 'y', 'value', 'zelev', 'zhill', 'zflag', 'ave', 'grp', 'date', 'net']


def main():
    folder = sys.argv[1]
    for path in sorted(glob.glob(os.path.join(folder, 'POST*.PLT'))):
        t0 = time.perf_counter()
        frame = pd.read_csv(path, sep=r'\s+', comment='*', header=None, names=NAMES,
                            dtype={'ave': str, 'grp': str, 'net': str, 'date': np.int32},
                            float_precision='round_trip')
        t1 = time.perf_counter()
        values = frame['value'].to_numpy(dtype=np.float64).astype(np.float32) * np.float32(1e-6)
        values.astype('<f4').tofile(path + '.pandas')
        t2 = time.perf_counter()
        print('%s: %d lines, read_csv %.3f s, values written %.3f s, total %.3f s' %
              (os.path.basename(path), len(frame), t1 - t0, t2 - t1, t2 - t0))


if __name__ == '__main__':
    main()
