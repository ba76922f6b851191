#!/usr/bin/python3
"""Times SciPy's RectBivariateSpline on the tables of bench_smoother.

Usage: /usr/bin/python3 bench/scipy_smoother_bench.py

Per table kind and smoothing factor: one fit (RectBivariateSpline), and one
fit plus grid evaluation and rounding, which is what bench_smoother's
SmoothVeTable does. Prints microseconds per call with code and fp, so the
figures can be set beside bench_smoother's.
"""
import sys
import timeit

try:
    import numpy as np
    from scipy.interpolate import RectBivariateSpline
except ImportError as error:
    sys.stderr.write("scipy_smoother_bench: NumPy and SciPy are needed (%s)\n" % error)
    sys.exit(3)

RPM_STANDARD = list(range(400, 2001, 100)) + list(range(2200, 3601, 200)) + list(range(4000, 6001, 400)) + [6375]
RPM_EXTENDED = RPM_STANDARD[:30] + [6000, 6500, 7000, 7500, 8000]
MAP = [20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 80, 90, 100]
Y = np.array([(m - 20) / 5.0 for m in MAP])


def grid_x(extended):
    x = [(r - 400) / 100.0 for r in (RPM_EXTENDED if extended else RPM_STANDARD)]
    if not extended:
        x[-1] = 60.0
    return np.array(x)


def bench_table(extended):
    """The integer recipe of bench_smoother.cpp's BenchTable."""
    rows = 35 if extended else 32
    state = 12345
    t = np.zeros((rows, 14), dtype=int)
    for r in range(1, rows + 1):
        for c in range(1, 15):
            state = (state * 1103515245 + 12345) & 0x7FFFFFFF
            noise = ((state >> 16) % 9) - 4
            t[r - 1, c - 1] = min(255, max(0, 50 + 2 * r + 8 * c + noise))
    return t


def per_call_us(fn):
    timer = timeit.Timer(fn)
    number, _ = timer.autorange()
    best = min(timer.repeat(repeat=5, number=number))
    return best / number * 1e6


def main():
    print("%-9s %4s %12s %16s %5s %12s %6s" % ("table", "s", "fit us", "fit+eval us", "code", "fp", "knots"))
    for extended in (False, True):
        x = grid_x(extended)
        z = bench_table(extended) / 10.0
        for s in (1.0, 5.0, 20.0):
            spline = RectBivariateSpline(x, Y, z, kx=3, ky=3, s=s)
            tx, ty = spline.get_knots()
            fp = spline.get_residual()
            code = -2 if len(tx) == 8 and len(ty) == 8 else 0

            def fit():
                RectBivariateSpline(x, Y, z, kx=3, ky=3, s=s)

            def fit_eval():
                sp = RectBivariateSpline(x, Y, z, kx=3, ky=3, s=s)
                np.clip(np.trunc(sp(x, Y) * 10.0 + 0.5), 0, 255).astype(int)

            print("%-9s %4g %12.1f %16.1f %5d %12.9g %3dx%-3d" % (
                "extended" if extended else "standard", s, per_call_us(fit), per_call_us(fit_eval), code, fp,
                len(tx), len(ty)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
