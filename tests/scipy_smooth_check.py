#!/usr/bin/python3
"""Checks `zrmtool smooth` against SciPy's RectBivariateSpline.

Usage: scipy_smooth_check.py ZRMTOOL

Feeds a set of VE tables (standard and extended, several smoothing factors) to
`zrmtool smooth` and fits the same data with SciPy (FITPACK's grid smoother,
degrees 3 and 3, knot storage mx + 4 and my + 4). For every table the code,
fp and the rounded cells must agree. Exit 0 when all agree, 1 on a
difference, 3 when NumPy or SciPy is missing.
"""
import subprocess
import sys

try:
    import numpy as np
    import scipy
    from scipy.interpolate import RectBivariateSpline
except ImportError as error:
    sys.stderr.write(
        "scipy_smooth_check: NumPy and SciPy are needed for %s (%s); "
        "install python3-scipy with scripts/install-deps\n" % (sys.executable, error))
    sys.exit(3)

try:  # FITPACK's own entry, to see its code and fp where RectBivariateSpline only raises
    from scipy.interpolate import dfitpack
except ImportError:
    dfitpack = None

# Grid of the VE table: x from the RPM rows, y from the MAP columns.
RPM_STANDARD = list(range(400, 2001, 100)) + list(range(2200, 3601, 200)) + list(range(4000, 6001, 400)) + [6375]
RPM_EXTENDED = RPM_STANDARD[:30] + [6000, 6500, 7000, 7500, 8000]
MAP = [20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 80, 90, 100]


def grid_x(extended):
    if extended:
        return np.array([(r - 400) / 100.0 for r in RPM_EXTENDED])
    x = [(r - 400) / 100.0 for r in RPM_STANDARD]
    x[-1] = 60.0  # 6375 RPM sits at 60 on the grid
    return np.array(x)


GRID_Y = np.array([(m - 20) / 5.0 for m in MAP])
SMOOTHING = [0.0, 1e-9, 1e-6, 1e-4, 1e-3, 0.01, 0.1, 0.5, 1.0, 2.0, 5.0, 10.0, 20.0]


def clamp_table(t):
    return np.clip(np.rint(t), 0, 255).astype(int)


def make_tables(extended):
    """Tables of many kinds: polynomial, learned-looking, noisy, rough."""
    x = grid_x(extended)
    y = GRID_Y
    X, Y = np.meshgrid(x, y, indexing="ij")
    rng = np.random.default_rng(20240611 + (1 if extended else 0))
    shape = 35 + 55 * (Y / 16.0) + 20 * np.exp(-((X - 30) / 20.0) ** 2)
    tables = [
        np.full(X.shape, 100, dtype=int),
        np.zeros(X.shape, dtype=int),
        (10 + X + Y * (Y - 1) / 2).astype(int),  # polynomial of the grid coordinates
        clamp_table(shape),
    ]
    for sigma in (0.5, 1.0, 3.0, 8.0):
        tables.append(clamp_table(shape + rng.normal(0, sigma, X.shape)))
    learned = clamp_table(shape)
    learned[5:14, 3:9] = clamp_table(learned[5:14, 3:9] * 1.1)  # a corrected block
    tables.append(learned)
    tables.append(rng.integers(0, 256, X.shape))
    spike = np.zeros(X.shape, dtype=int)
    spike[10, 7] = 255
    tables.append(spike)
    step = np.zeros(X.shape, dtype=int)
    step[X.shape[0] // 2:, :] = 255
    tables.append(step)
    checker = 100 + 40 * ((np.add.outer(np.arange(X.shape[0]), np.arange(X.shape[1]))) % 2)
    tables.append(checker)
    top = clamp_table(250 + rng.normal(0, 6, X.shape))
    tables.append(top)
    # Rough tables, where small s drive the p iteration into codes 2 and 3.
    for _ in range(10):
        tables.append(rng.integers(0, 256, X.shape))
        tables.append(clamp_table(shape + rng.normal(0, rng.uniform(0.3, 10), X.shape)))
    return tables


def table_text(t):
    return "\n".join(" ".join(str(v) for v in row) for row in t) + "\n"


def run_tool(tool, s, extended, tables):
    args = [tool, "smooth", "--s", repr(s)] + (["--extended"] if extended else [])
    text = "\n".join(table_text(t) for t in tables)
    proc = subprocess.run(args, input=text, capture_output=True, text=True, timeout=120)
    if proc.returncode != 0:
        raise RuntimeError("%s exited %d: %s" % (" ".join(args), proc.returncode, proc.stderr))
    blocks = proc.stdout.split("\n\n")
    results = []
    for block in blocks:
        lines = block.strip("\n").split("\n")
        words = lines[-1].split()
        if len(words) != 4 or words[0] != "code" or words[2] != "fp":
            raise RuntimeError("bad result line %r" % lines[-1])
        cells = np.array([[int(v) for v in line.split()] for line in lines[:-1]])
        results.append((int(words[1]), float(words[3]), cells))
    if len(results) != len(tables):
        raise RuntimeError("%d tables in, %d out" % (len(tables), len(results)))
    return results


# RectBivariateSpline raises FITPACK's message for codes above 0; its table
# turns the message back into the code.
try:
    from scipy.interpolate._fitpack2 import _surfit_messages
except ImportError:
    from scipy.interpolate.fitpack2 import _surfit_messages
MESSAGE_CODES = {msg: code for code, msg in _surfit_messages.items()}


def scipy_fit(x, y, z, s):
    """(code, fp, values) from RectBivariateSpline; values None when it refuses."""
    try:
        spline = RectBivariateSpline(x, y, z, kx=3, ky=3, s=s)
    except ValueError as error:
        code = MESSAGE_CODES.get(str(error))
        if code is None:
            raise RuntimeError("unknown RectBivariateSpline error: %s" % error)
        return code, None, None
    tx, ty = spline.get_knots()
    fp = spline.get_residual()
    if len(tx) == 8 and len(ty) == 8:
        code = -2  # boundary knots only: the polynomial
    elif fp == 0.0 and len(tx) == len(x) + 4 and len(ty) == len(y) + 4:
        code = -1  # all knots: the interpolant
    else:
        code = 0
    return code, fp, spline(x, y)


def round_cells(values):
    return np.clip(np.trunc(values * 10.0 + 0.5), 0, 255).astype(int)


def near_rounding_edge(values):
    r = values * 10.0 + 0.5
    return np.abs(r - np.round(r)) < 1e-9


def fp_close(a, b):
    return abs(a - b) <= 1e-7 * max(abs(b), 1e-3)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: scipy_smooth_check.py ZRMTOOL\n")
        return 2
    tool = sys.argv[1]
    print("SciPy %s, NumPy %s, Python %s" % (scipy.__version__, np.__version__, sys.version.split()[0]))
    failures = []
    seen = {}
    for extended in (False, True):
        x = grid_x(extended)
        tables = make_tables(extended)
        for s in SMOOTHING:
            ours = run_tool(tool, s, extended, tables)
            for n, (table, (code, fp, cells)) in enumerate(zip(tables, ours), start=1):
                where = "%s table %d s=%g" % ("extended" if extended else "standard", n, s)
                z = table / 10.0
                ref_code, ref_fp, values = scipy_fit(x, GRID_Y, z, s)
                seen[ref_code] = seen.get(ref_code, 0) + 1
                if dfitpack is not None:
                    raw = dfitpack.regrid_smth(x, GRID_Y, z.ravel(), x[0], x[-1], 0.0, 16.0, 3, 3, s)
                    raw_fp, raw_ier = raw[-2], raw[-1]
                    if raw_ier != ref_code:
                        failures.append("%s: FITPACK ier %d but RectBivariateSpline read as %d"
                                        % (where, raw_ier, ref_code))
                    if raw_ier > 0 and not fp_close(fp, raw_fp):
                        failures.append("%s: fp %.9g, FITPACK %.9g" % (where, fp, raw_fp))
                if code != ref_code:
                    failures.append("%s: code %d, SciPy %d" % (where, code, ref_code))
                    continue
                if values is None:
                    if not np.array_equal(cells, table):
                        failures.append("%s: code %d but the table changed" % (where, code))
                    continue
                if not fp_close(fp, ref_fp):
                    failures.append("%s: fp %.9g, SciPy %.9g" % (where, fp, ref_fp))
                expected = round_cells(values)
                differ = (cells != expected) & ~near_rounding_edge(values)
                if differ.any():
                    i, j = np.argwhere(differ)[0]
                    failures.append("%s: %d cells differ, first [%d][%d] %d vs SciPy %d (%.12g)"
                                    % (where, differ.sum(), i + 1, j + 1, cells[i, j], expected[i, j],
                                       values[i, j] * 10))
    print("codes seen: %s" % ", ".join("%d x%d" % (c, seen[c]) for c in sorted(seen)))
    # The set must reach every kind of outcome, or the comparison proves little.
    for needed in (-2, -1, 0):
        if needed not in seen:
            failures.append("no case gave code %d" % needed)
    for needed in (2, 3):
        if needed not in seen:
            failures.append("no case gave code %d" % needed)
    if failures:
        for f in failures[:40]:
            print("MISMATCH " + f)
        print("%d mismatches" % len(failures))
        return 1
    print("all %d fits agree" % sum(seen.values()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
