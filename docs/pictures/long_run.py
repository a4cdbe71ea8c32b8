#!/usr/bin/env python3
"""Writes an AERMOD-like run of many years for the README's long series:
AERMOD.INP with one stack and a ring of 16 receptors, and LONG_01H.BIN, an
unformatted 1-hour POSTFILE (8-byte reals) whose values follow the hour of
day, the season and a wandering wind.  Usage: long_run.py DIR FIRST_YEAR YEARS"""
import math
import os
import random
import struct
import sys


def main():
    out, first, years = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    os.makedirs(out, exist_ok=True)
    last = first + years - 1
    ring = [(1000 * math.sin(2 * math.pi * i / 16), 1000 * math.cos(2 * math.pi * i / 16)) for i in range(16)]
    with open(os.path.join(out, "AERMOD.INP"), "w") as f:
        f.write("CO STARTING\n   TITLEONE  Long series for the README\n   MODELOPT  DFAULT  CONC\n"
                "   AVERTIME  1\n   POLLUTID  NO2\nCO FINISHED\n"
                "SO STARTING\n   LOCATION  STACK1  POINT  0.0  0.0  0.0\n   SRCGROUP  ALL\nSO FINISHED\n"
                "RE STARTING\n")
        for x, y in ring:
            f.write("   DISCCART  %.1f  %.1f\n" % (x, y))
        f.write("RE FINISHED\nME STARTING\n   STARTEND  %02d 01 01 01  %02d 12 31 24\nME FINISHED\n"
                "OU STARTING\n   POSTFILE  1  ALL  UNFORM  LONG_01H.BIN  31\nOU FINISHED\n" % (first % 100, last % 100))
    rnd = random.Random(1)
    wind = 0.0
    with open(os.path.join(out, "LONG_01H.BIN"), "wb") as f:
        for year in range(first, last + 1):
            days = 366 if year % 4 == 0 else 365
            month_days = [31, 29 if days == 366 else 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31]
            doy = 0
            for month, n in enumerate(month_days, 1):
                for day in range(1, n + 1):
                    doy += 1
                    episode = 1.0 + (1.5 if rnd.random() < 0.02 else 0.0)
                    for hour in range(1, 25):
                        wind += rnd.gauss(0, 0.08)
                        sun = max(0.0, math.sin(math.pi * (hour - 6) / 12))
                        season = 1 + 0.5 * math.cos(2 * math.pi * (doy - 15) / days)
                        values = []
                        for x, y in ring:
                            off = math.atan2(x, y) - wind
                            off = math.atan2(math.sin(off), math.cos(off))
                            values.append(60 * math.exp(-off * off / 0.6) * (0.25 + sun) * season * episode *
                                          rnd.lognormvariate(0, 0.35))
                        stamp = (year % 100) * 1000000 + month * 10000 + day * 100 + hour
                        body = struct.pack("<ii8s", stamp, 1, b"ALL     ") + struct.pack("<%dd" % len(values), *values)
                        f.write(struct.pack("<i", len(body)) + body + struct.pack("<i", len(body)))


if __name__ == "__main__":
    main()
