#!/usr/bin/env python3
"""The numpy version of wavspec's job, as a user would write it instead of using wavspec.

Usage: peer.py FILE.wav [-N n] [-D n] [-W hamming|hanning|triangular|welch] [-F|-f] [-S|-s]

Reads the first N frames of both channels with scipy, windows them, takes the real FFT and
writes FILE.wav.txt with the same lines and number formats as wavspec's report, and the same
header description for a PCM or float WAV file.
"""
import sys

import numpy as np
from scipy.io import wavfile

DEGREES = 57.29577951308232
BIN_LINE = "%6d: F=%11.4f A1=%11.6f A2=%11.6f Fi1=%10.5f Fi2=%10.5f dFi=%10.5f"
RANGE_LINE = "%5d: F=%11.4f sum1=%11.6f sum2=%11.6f  sum=%11.6f\n"
WINDOW_NAMES = {"none": "No", "hamming": "Hamming", "hanning": "Hanning",
                "triangular": "Triangular", "welch": "Welch"}


def parse(argv):
    opts = {"n": 65536, "d": 8, "window": "none", "bins": False, "ranges": True}
    args = iter(argv[2:])
    for a in args:
        letter, rest = a[1:2].upper(), a[2:]
        if letter in "NDW":
            value = rest or next(args)
            if letter == "N":
                opts["n"] = int(value)
            elif letter == "D":
                opts["d"] = int(value)
            else:
                opts["window"] = value.lower() if value.lower() in WINDOW_NAMES else "unknown"
        else:
            for flag in a[1:]:
                if flag in "Ff":
                    opts["bins"] = flag == "F"
                elif flag in "Ss":
                    opts["ranges"] = flag == "S"
    return opts


def window(kind, n):
    j = np.arange(n) / n
    if kind == "hamming":
        return 0.54 - 0.46 * np.cos(2 * np.pi * j)
    if kind == "hanning":
        return 0.5 - 0.5 * np.cos(2 * np.pi * j)
    if kind == "triangular":
        return 1 - np.abs(2 * j - 1)
    if kind == "welch":
        return 1 - (2 * j - 1) ** 2
    return None


def main(argv):
    path = argv[1]
    o = parse(argv)
    n, half = o["n"], (o["n"] + 1) // 2
    rate, data = wavfile.read(path)
    if data.ndim == 1:
        data = np.column_stack([data, np.zeros_like(data)])
    if len(data) < n:
        print("\nCan't read %d samles" % n)
        return 2
    full_scale = float(np.iinfo(data.dtype).max + 1) if data.dtype.kind == "i" else 1.0
    x = data[:n, :2].T / full_scale
    w = window(o["window"], n)
    if w is not None:
        x = x * w
    spectrum = np.fft.rfft(x, axis=1)[:, :half]
    amp, phase = np.abs(spectrum), np.angle(spectrum)

    scale = half * 0.01
    i = np.arange(1, half)
    freq = (rate / n) * i
    a1, a2, fi1, fi2 = amp[0, 1:], amp[1, 1:], phase[0, 1:], phase[1, 1:]
    dfi = fi2 - fi1
    with open(path + ".txt", "w") as f:
        step = half // o["d"] if o["ranges"] else 0
        ends = list(range(step, half, step)) if step > 0 else []
        if o["ranges"] and half >= 2 and (half - 1) not in ends:
            ends.append(half - 1)
        listed = (a1 > scale * 1e-6) | (a2 > scale * 1e-6) if o["bins"] else None
        rows = np.column_stack([i, freq, a1 / scale, a2 / scale,
                                fi1 * DEGREES, fi2 * DEGREES, dfi * DEGREES]) if o["bins"] else None
        c1, c2 = np.concatenate([[0], np.cumsum(a1)]), np.concatenate([[0], np.cumsum(a2)])
        start = 1
        for end in (ends if o["ranges"] else [half - 1]):
            if o["bins"]:
                chunk = slice(start - 1, end)
                np.savetxt(f, rows[chunk][listed[chunk]], fmt=BIN_LINE)
            if o["ranges"]:
                r1 = (c1[end] - c1[start - 1]) / half * 100
                r2 = (c2[end] - c2[start - 1]) / half * 100
                trailing = "\n" if end == half - 1 and end % step else ""
                f.write(trailing + RANGE_LINE % (end, freq[end - 1], r1, r2,
                                                 (c2[end] - c2[start - 1] + c1[end] - c1[start - 1])
                                                 / half * 100))
            start = end + 1

        imax = [int(np.argmax(a)) + 1 if half >= 2 and a.max() > 0 else 0 for a in (a1, a2)]
        fmax = [freq[k - 1] if k else 0.0 for k in imax]
        amax = [amp[c, imax[c]] if imax[c] else 0.0 for c in (0, 1)]
        f.write("\nFFTsize=%d   Windows:%s\n"
                % (n, WINDOW_NAMES.get(o["window"], "Unknown (No windows function)")))
        f.write("FFT:  CONST1=%11.6f   CONST2=%11.6f \n" % (amp[0, 0] / n * 100, amp[1, 0] / n * 100))
        f.write("FFT:  SUM1=%11.6f     SUM2=%11.6f \n" % (a1.sum() / scale, a2.sum() / scale))
        f.write("FFT:  PW=%11.6f\n" % (np.sum(np.cos(dfi) * a1 * a2) / (float(half) * half) * 0.5))
        if 1 in imax:
            f.write("Warning, possible error. Amax in first point.\n")
        f.write("FFT:  Fmax1=%8.2f  Amax1=%11.6f  Fmax2=%8.2f  Amax2=%11.6f\n"
                % (fmax[0], amax[0] / scale, fmax[1], amax[1] / scale))
        encoding = ("%d-bit PCM" % (8 * data.dtype.itemsize) if data.dtype.kind in "iu"
                    else "%d-bit float" % (8 * data.dtype.itemsize))
        header = ("Container: RIFF WAVE\nEncoding: %s\nChannels: %d\nSampling rate: %d Hz\n"
                  "Frames: %d\nDuration: %.3f s" % (encoding, data.shape[1], rate, len(data),
                                                   len(data) / rate))
        print(header)
        f.write("\n\nFILE INFO:\n%s\n" % header)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
