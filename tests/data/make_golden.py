#!/usr/bin/env python3
"""Writes the expected outputs of a KESTREL run, independently of the program.

An independent oracle for the end-to-end tests: it reads an AERMOD run folder
(control file, receptor file, POSTFILEs) with its own small reader, follows
the rules of the conversion step by step with exact rational arithmetic for
every single-precision rounding, and writes console.txt, err.txt, the list
file and every dataset into an output folder. It shares no code with the
program. Only the cases the golden tests use are supported (8-byte POSTFILEs,
no halts, unit keywords in the control file itself).

usage: make_golden.py RUN_FOLDER OUTPUT_FOLDER
"""
import os
import struct
import sys
import zlib
from fractions import Fraction


# --- single precision, exactly -------------------------------------------

def _bits(v):
    return struct.unpack('<I', struct.pack('<f', v))[0]


def _from_bits(b):
    return struct.unpack('<f', struct.pack('<I', b & 0xFFFFFFFF))[0]


def f32(x):
    """The float32 nearest to the exact value x (ties to even)."""
    fr = Fraction(x)
    if fr == 0:
        return 0.0
    c = struct.unpack('<f', struct.pack('<f', float(fr)))[0]
    b = _bits(c)
    cands = [c, _from_bits(b + 1), _from_bits(b - 1)]
    return min(cands, key=lambda v: (abs(Fraction(v) - fr), _bits(v) & 1))


def real_text(t):
    v = f32(Fraction(t.replace('D', 'E').replace('d', 'e')))
    return -0.0 if v == 0 and t.startswith('-') else v


def scaled(v, factor):
    """float32(v) times a float32 factor, rounded once; zero keeps its sign."""
    v = f32(v) if v != 0 else v
    return v if v == 0 else f32(Fraction(v) * Fraction(factor))


CFACTOR = f32(Fraction(1, 10**6))
KM = f32(Fraction(1, 1000))

# Output types in the order of their values in a record: keyword, dataset
# name, level label, file suffix, unit of the title line, console text.
TYPES = [('CONC', 'CONC.DAT', '  1', '.gdx', 'g/m3', 'concentration'),
         ('DEPOS', 'DFLX.DAT', ' TF', '.tflx.gdx', 'g/m2/s', 'total deposition flux'),
         ('DDEP', 'DFLX.DAT', ' DF', '.dflx.gdx', 'g/m2/s', 'dry deposition flux'),
         ('WDEP', 'WFLX.DAT', ' WF', '.wflx.gdx', 'g/m2/s', 'wet deposition flux')]
MASSES = {'MICROGRAMS': Fraction(1, 10**6), 'MICROGRAM': Fraction(1, 10**6), 'UG': Fraction(1, 10**6),
          'MILLIGRAMS': Fraction(1, 10**3), 'MILLIGRAM': Fraction(1, 10**3), 'MG': Fraction(1, 10**3),
          'NANOGRAMS': Fraction(1, 10**9), 'NANOGRAM': Fraction(1, 10**9), 'NG': Fraction(1, 10**9),
          'GRAMS': Fraction(1), 'GRAM': Fraction(1), 'G': Fraction(1)}


def grams(label, per):
    if label.startswith('(') and label.endswith(')'):
        label = label[1:-1]
    mass, slash, rest = label.partition('/')
    assert slash and rest in per and mass in MASSES, label
    return MASSES[mass]


def factors(c):
    """The concentration factor to g/m3 and the flux factor to g/m2/s."""
    u = c['units']
    conc = 'CONC' in c['types']
    cl = u.get('CONCUNIT', u.get('EMISUNIT'))
    cf = f32(grams(cl, ('M**3', 'M3', 'M^3'))) if conc and cl else CFACTOR
    dl = u.get('DEPOUNIT') if conc else u.get('DEPOUNIT', u.get('EMISUNIT'))
    g = grams(dl, ('M**2', 'M2', 'M^2', 'SQ-M', 'SQM')) if dl else Fraction(1)
    return cf, f32(g / 3600)


# --- dates ---------------------------------------------------------------

def leap(y):
    return y % 4 == 0


DAYS_BEFORE = [0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334]


def julday(y, m, d):
    assert 1 <= m <= 12
    return DAYS_BEFORE[m - 1] + d + (1 if m > 2 and leap(y) else 0)


def hours_since(y0, y, j, h):
    return sum(8784 if leap(k) else 8760 for k in range(y0, y)) + 24 * (j - 1) + h


def deltt(a, b):
    y0 = min(a[0], b[0])
    return hours_since(y0, *b) - hours_since(y0, *a)


def calendar(y, j):
    days = [31, 29 if leap(y) else 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31]
    m = 0
    while j > days[m]:
        j -= days[m]
        m += 1
    return m + 1, j


def end_text(t):
    m, d = calendar(t[0], t[1])
    return '%04d-%02d-%02d %02d' % (t[0], m, d, t[2])


def step(t, n):
    """Moves (year, day, hour) by n hours, n in -24..24."""
    y, j, h = t
    h += n
    while h > 23:
        h -= 24
        j += 1
        if j > (366 if leap(y) else 365):
            y, j = y + 1, 1
    if h < 0:
        h += 24
        j -= 1
        if j < 1:
            y -= 1
            j = 366 if leap(y) else 365
    return (y, j, h)


# --- the control file ----------------------------------------------------

def count_of(n, what):
    return '%d %s%s' % (n, what, '' if n == 1 else 's')


def lines_of(path):
    with open(path, 'rb') as f:
        data = f.read().decode('latin-1')
    out = data.split('\n')
    if out and out[-1] == '':
        out.pop()
    return [l[:-1] if l.endswith('\r') else l for l in out]


def find_ci(folder, name):
    if os.path.exists(os.path.join(folder, name)):
        return name
    for e in os.listdir(folder):
        if e.upper() == name.upper():
            return e
    raise SystemExit('no file ' + name)


def read_control(folder):
    c = dict(titles=['\0' * 80, '\0' * 80], aerspec=' ' * 12, types=None, units={},
             start=None, end=None, posts=[], receptors=[], recfile=None, skipped=[])
    pathway = '  '
    for raw in lines_of(os.path.join(folder, 'AERMOD.INP')):
        if raw.startswith('*'):
            continue
        line = raw[:320].ljust(320)
        klast = len(line.rstrip(' '))
        line = ''.join(ch.upper() if 'a' <= ch <= 'z' else ch for ch in line[:klast]) + line[klast:]
        if line[:2] == '  ':
            line = pathway + line[2:]
        else:
            pathway = line[:2]

        def after(key):
            s = line.find(key) + len(key)
            return line[s:klast] if s < klast else ''

        first = line[2:].split(' ', 1)[0] if line[2:].strip() else ''
        first = line[2:].lstrip(' ').split(' ')[0]
        if 'TITLEONE' in line:
            c['titles'][0] = after('TITLEONE')[:80].ljust(80).lstrip(' ').ljust(80)
        if 'TITLETWO' in line:
            c['titles'][1] = after('TITLETWO')[:80].ljust(80).lstrip(' ').ljust(80)
        if first in ('TITLEONE', 'TITLETWO'):
            continue
        if 'CO POLLUTID' in line:
            words = [w for w in after('POLLUTID').split(' ') if w]
            c['aerspec'] = (words[0] if words else '')[:12].ljust(12)
        if 'CO MODELOPT' in line:
            words = after('MODELOPT').replace(',', ' ').replace('\t', ' ').split()
            c['types'] = [t[0] for t in TYPES if t[0] in words] or ['CONC']
        if line[:2] == 'SO' and first in ('EMISUNIT', 'CONCUNIT', 'DEPOUNIT'):
            c['units'][first] = ([w for w in after(first).split(' ') if w] + ['', '', ''])[2]
        if 'ME STARTEND' in line:
            v = [int(x) for x in after('STARTEND').replace(',', ' ').split()]
            if len(v) >= 8:
                c['start'], c['end'] = (v[0], v[1], v[2], v[3]), (v[4], v[5], v[6], v[7])
            else:
                c['start'], c['end'] = (v[0], v[1], v[2], 1), (v[3], v[4], v[5], 24)
        if 'OU POSTFILE' in line and ' 1 ' in line:
            if 'UNFORM' not in line:
                c['skipped'].append(line.rstrip(' '))
            else:
                words = after('UNFORM').split(' ')
                words = [w for w in words if w]
                if len(words) >= 2 and len(words[-1]) <= 3 and words[-1].isdigit():
                    words = words[:-1]
                group = line[:line.find('UNFORM')].split()[-1]
                c['posts'].append((' '.join(words), group))
        if 'DISCCART' in line:
            c['receptors'].append(after('DISCCART'))
        if 'RE INCLUDED' in line:
            c['recfile'] = after('RE INCLUDED').strip(' ')
    if c['recfile']:
        for raw in lines_of(os.path.join(folder, find_ci(folder, c['recfile']))):
            if raw.startswith('*'):
                continue
            line = raw[:320].upper()
            if 'DISCCART' in line:
                k = len(line.rstrip(' '))
                c['receptors'].append(line[line.find('DISCCART') + 8:k])
    recs = []
    for entry in c['receptors']:
        f = entry.replace(',', ' ').split()
        x, y = real_text(f[0]), real_text(f[1])
        z = real_text(f[2]) if len(f) > 2 else 0.0
        recs.append((scaled(x, KM), scaled(y, KM), z))
    c['recs'] = recs
    return c


# --- output --------------------------------------------------------------

def record(payload):
    return struct.pack('<i', len(payload)) + payload + struct.pack('<i', len(payload))


def txt(s, n):
    b = s.encode('latin-1')[:n]
    return b + b' ' * (n - len(b))


def i32(*v):
    return struct.pack('<%di' % len(v), *v)


def r32(*v):
    return struct.pack('<%df' % len(v), *v)


def cfactor_text(v):
    """0.ddddddd E+xx of the float v, seven digits rounded half to even from its exact value."""
    fr = Fraction(v)
    e = 0
    while fr >= 1:
        fr, e = fr / 10, e + 1
    while fr < Fraction(1, 10):
        fr, e = fr * 10, e - 1
    digits = round(fr * 10**7)
    if digits == 10**7:
        digits, e = 10**6, e + 1
    return ('0.%07dE%s%02d' % (digits, '-' if e < 0 else '+', abs(e))).rjust(20)


def header(c, grid, begin, irlg, kind, level, unit, factor):
    dg, x0, y0 = grid
    out = record(txt(kind, 16) + txt('2.1', 16) + txt('No-Obs file structure with embedded control file', 64))
    out += record(i32(2))
    out += record(txt('Produced by KESTREL Version: 1.21  Level: 100301', 132))
    out += record(txt('NO Internal Coordinate Transformations', 132))
    p = txt('AERMOD', 12) + txt('00000', 12) + txt('00000', 12)
    p += i32(begin[0], begin[1], begin[2], 0) + r32(5.0) + i32(irlg, 1, 3600, 2, 2)
    p += r32(dg, dg) + i32(1) + r32(x0, y0) + i32(1, 1, 2, 1, 2, 1, 1, 2, 2, 1, 1) + i32(*([0] * 8))
    p += i32(len(c['recs']), 0, 0, 1, 0, 1, 19) + r32(0.0, 0.0, 40.0, -97.0, 33.0, 45.0)
    p += txt('UTM', 8) + txt('N', 4) + txt('WGS-84', 8) + txt('02-21-2003', 12)
    p += txt('40.0 N', 16) + txt('97.0 W', 16) + txt('33.0 N', 16) + txt('45.0 N', 16)
    assert len(p) == 320
    out += record(p)
    t3 = ('Conversion Factor to %s:' % unit).ljust(30) + cfactor_text(factor)
    out += record(c['titles'][0].encode('latin-1') + c['titles'][1].encode('latin-1') + t3.ljust(80).encode())
    out += record(txt(c['aerspec'] + level, 15))
    if c['recs']:
        out += record(b''.join(r32(r[k]) for k in range(3) for r in c['recs']))
    out += record(i32(1) + txt('TOTAL', 16))
    return out


def free(*items):
    s, last_int = ' ', False
    for it in items:
        if isinstance(it, int):
            if not last_int and s != ' ':
                s += ' '
            s += str(it).rjust(11) + ' '
            last_int = True
        else:
            s += it
            last_int = False
    return s[:-1] if last_int else s


def main(folder, outdir):
    os.makedirs(outdir, exist_ok=True)
    c = read_control(folder)
    xs = [r[0] for r in c['recs']]
    ys = [r[1] for r in c['recs']]
    xmin, xmax, ymin, ymax = min(xs), max(xs), min(ys), max(ys)
    xc = f32((Fraction(xmin) + Fraction(xmax)) / 2)
    yc = f32((Fraction(ymin) + Fraction(ymax)) / 2)
    dg = max(f32((Fraction(xmax) - Fraction(xmin)) / 2), f32((Fraction(ymax) - Fraction(ymin)) / 2))
    grid = (dg, f32(Fraction(xc) - Fraction(dg)), f32(Fraction(yc) - Fraction(dg)))
    s, e = c['start'], c['end']
    begin = step((s[0], julday(s[0], s[1], s[2]), s[3]), -1)
    irlg = deltt(begin, (e[0], julday(e[0], e[1], e[2]), e[3]))
    n = len(c['recs'])
    cf, ff = factors(c)
    types = [t for t in TYPES if t[0] in c['types']]

    console = [' ', ' SETUP PHASE', ' ', ' ', ' This utility must be run in the location that',
               ' contains the AERMOD application files.  If this',
               ' is not the case, file-error messages will be seen!', ' ', ' ',
               ' Opening file: AERMOD.INP', ' ', ' ', ' COMPUTATION PHASE', ' ']
    lst = ['', '', '', ' ' * 26 + 'KESTREL RUN SUMMARY',
           ' ' * 19 + 'VERSION:  ' + '1.21'.ljust(12) + ' LEVEL:  ' + '100301'.ljust(12), '', '', ''] + console[3:11]
    for sk in c['skipped']:
        lst.append(' Skipped POSTFILE line without UNFORM: ' + sk)
    err = []
    found = [find_ci(folder, name) for name, _ in c['posts']]
    for (name, group), fname in zip(c['posts'], found):
        processing = free('Processing: ', name.ljust(132))
        console.append(processing)
        lst.append(processing)
        # A file named by several lines: each line's dataset holds its group alone.
        shared = found.count(fname) > 1
        subject = '%s (group %s)' % (name, group) if shared else name
        base = fname + ('.' + group if shared else '')
        first = None
        with open(os.path.join(folder, fname), 'rb') as f:
            data = f.read()
        several = types != TYPES[:1]
        outs = []
        for key, kind, level, suffix, unit, what in types:
            factor = cf if key == 'CONC' else ff
            if several:
                line = free('Writing: %s%s (%s, %s)' % (base, suffix, what, unit))
                console.append(line)
                lst.append(line)
            outs.append([base + suffix, level, factor, header(c, grid, begin, irlg, kind, level, unit, factor)])
        pos, prev, groups, kaves, gaps, longer, count = 0, None, set(), set(), 0, False, 0
        while pos + 4 <= len(data):
            ln = struct.unpack_from('<i', data, pos)[0]
            body = data[pos + 4:pos + 4 + ln]
            pos += ln + 8
            kurdat, kave = struct.unpack_from('<ii', body, 0)
            if shared and body[8:16].decode('latin-1').rstrip(' ') != group:
                continue
            groups.add(body[8:16])
            kaves.add(kave)
            longer = longer or ln > 16 + 8 * n * len(types)
            yy, mm, dd, hh = kurdat // 1000000, kurdat // 10000 % 100, kurdat // 100 % 100, kurdat % 100
            yy += 1900 if 50 <= yy < 900 else (2000 if yy < 50 else 0)
            end = (yy, julday(yy, mm, dd), hh)
            if hh == 24:
                end = step((yy, end[1], 23), 1)
            beg = step(end, -1)
            if prev is not None and deltt(prev, end) != 1:
                gaps += 1
            prev = end
            first = first or end
            count += 1
            for k, o in enumerate(outs):
                vals = struct.unpack_from('<%dd' % n, body, 16 + 8 * n * k)
                o[3] += record(i32(beg[0], beg[1], beg[2], 0, end[0], end[1], end[2], 0))
                o[3] += record(i32(0, 1) + txt('TOTAL', 16) + r32(xc, yc))
                o[3] += record(txt(c['aerspec'] + o[1], 15) + b''.join(r32(scaled(v, o[2])) for v in vals))
        warn = []
        name = subject
        if len(groups) > 1:
            warn.append('WARNING: %s holds records of more than one source group' % name)
        if kaves != {1} and kaves:
            warn.append('WARNING: %s holds records whose averaging period is not 1 hour' % name)
        # With several datasets, each gets the warnings about its hours.
        whose = [o[0] for o in outs] if len(outs) > 1 else [name]
        gap_text = '%s that %s not follow the one before by one hour (missing or repeated hours)' % (
            count_of(gaps, 'period'), 'does' if gaps == 1 else 'do')
        if gaps and len(outs) == 1:
            warn.append('WARNING: %s holds %s' % (name, gap_text))
        if longer:
            warn.append('WARNING: %s holds records with more values than the control file has receptors; '
                        'only the first values were converted' % name)
        for who in whose:
            if gaps and len(outs) > 1:
                warn.append('WARNING: %s holds %s' % (who, gap_text))
            if count == 0:
                warn.append('WARNING: %s holds no records' % who)
            elif count != irlg:
                warn.append('WARNING: %s holds %s but the run period has %s'
                            % (who, count_of(count, 'period'), count_of(irlg, 'hour')))
        for w in warn:
            lst.append(' ' + w)
            err.append(w)
        for o in outs:
            if count == 0:
                lst.append(' Dataset %s: no periods of %s' % (o[0], count_of(n, 'receptor')))
            else:
                lst.append(' Dataset %s: %s of %s, ending %s to %s'
                           % (o[0], count_of(count, 'period'), count_of(n, 'receptor'), end_text(first), end_text(prev)))
            # What --resume compares the dataset with: zlib's CRC-32 and the size.
            lst.append(' CRC-32 of %s: %08x, %d bytes' % (o[0], zlib.crc32(o[3]), len(o[3])))
            with open(os.path.join(outdir, o[0]), 'wb') as f:
                f.write(o[3])
    console += [' ', ' NORMAL TERMINATION', ' ']
    lst += [' ', ' NORMAL TERMINATION', ' ']
    for fn, ls in (('console.txt', console), ('AERMOD.INP.kst', lst), ('err.txt', err)):
        with open(os.path.join(outdir, fn), 'w', newline='\n') as f:
            f.write(''.join(l + '\n' for l in ls))


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])
