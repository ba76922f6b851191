#include "velearn/smoother.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace zrm {

namespace {

// Constants of the p iteration; single-precision literals widened to double, as
// the published method writes them, so the iteration takes the same steps.
constexpr double CON1 = static_cast<double>(0.1f);
constexpr double CON9 = static_cast<double>(0.9f);
constexpr double CON4 = static_cast<double>(0.04f);
constexpr double HALF = 0.5;

// The k + 1 B-splines of degree k that do not vanish at x, where
// t[l] <= x < t[l + 1], by the de Boor-Cox recurrence: h[i] is B(l - k + i).
void BsplineValues(const double* t, int k, double x, int l, double* h) {
  double hh[SMOOTH_MAX_DEGREE];
  h[0] = 1.0;
  for (int j = 1; j <= k; ++j) {
    for (int i = 0; i < j; ++i) hh[i] = h[i];
    h[0] = 0.0;
    for (int i = 1; i <= j; ++i) {
      int li = l + i;
      int lj = li - j;
      if (t[li] == t[lj]) {
        h[i] = 0.0;
        continue;
      }
      double f = hh[i - 1] / (t[li] - t[lj]);
      h[i - 1] = h[i - 1] + f * (t[li] - x);
      h[i] = f * (x - t[lj]);
    }
  }
}

// Row r of b: the jumps of the k-th derivative of the B-splines r .. r + k + 1
// across the interior knot t[k + 1 + r], scaled by the mean knot spacing so
// that p means the same whatever the knot count.
void DerivativeJumps(const double* t, int n, int k, SmoothBandRow* b) {
  int k1 = k + 1;
  int nk1 = n - k1;
  double fac = static_cast<double>(nk1 - k) / (t[nk1] - t[k]);
  double h[2 * SMOOTH_MAX_DEGREE + 2];
  for (int knot = k1; knot < nk1; ++knot) {
    int row = knot - k1;
    // Distances from this knot to its k + 1 neighbours on each side.
    for (int j = 0; j < k1; ++j) {
      h[j] = t[knot] - t[knot - k1 + j];
      h[j + k1] = t[knot] - t[knot + 1 + j];
    }
    for (int j = 0; j <= k1; ++j) {
      double prod = h[j];
      for (int i = 1; i <= k; ++i) prod = prod * h[j + i] * fac;
      b[row][j] = (t[row + j + k1] - t[row + j]) / prod;
    }
  }
}

// A Givens rotation that zeroes piv against the diagonal element ww.
void Givens(double piv, double& ww, double& cosine, double& sine) {
  double store = std::abs(piv);
  double dd;
  if (store >= ww) {
    double r = ww / piv;
    dd = store * std::sqrt(1.0 + r * r);
  } else {
    double r = piv / ww;
    dd = ww * std::sqrt(1.0 + r * r);
  }
  cosine = ww / dd;
  sine = piv / dd;
  ww = dd;
}

void Rotate(double cosine, double sine, double& a, double& b) {
  double a0 = a;
  double b0 = b;
  b = cosine * b0 + sine * a0;
  a = cosine * a0 - sine * b0;
}

// Solves a c = z for the n x n upper-triangular band matrix a of bandwidth k
// (a[i][0] the diagonal). c may be z.
void BackSubstitute(const SmoothBandRow* a, const double* z, int n, int k, double* c) {
  c[n - 1] = z[n - 1] / a[n - 1][0];
  for (int i = n - 2; i >= 0; --i) {
    double store = z[i];
    int width = std::min(k - 1, n - 1 - i);
    for (int l = 1; l <= width; ++l) store = store - c[i + l] * a[i][l];
    c[i] = store / a[i][0];
  }
}

// For each data point the knot interval it lies in and its non-zero B-splines.
// A point on a knot belongs to the interval on its right; the last interval is
// closed.
void ObservationMatrix(const double* x, int m, const double* t, int n, int k, SmoothBasisRow* sp, int* nr) {
  int nk1 = n - k - 1;
  int l = k;
  for (int i = 0; i < m; ++i) {
    while (!(x[i] < t[l + 1] || l == nk1 - 1)) ++l;
    BsplineValues(t, k, x[i], l, sp[i].data());
    nr[i] = l - k;
  }
}

// One pass of Givens rotations that folds a new row h (band width `band`,
// starting at unknown `start`) with right-hand side `right` into the
// triangular system a; the right-hand sides of unknown r are rhs[r * stride +
// j * step] for j = 0 .. count - 1.
void FoldRow(double* h, int band, int start, double* right, int count, SmoothBandRow* a, double* rhs, int stride,
             int step) {
  for (int i = 0; i < band; ++i) {
    int row = start + i;
    double piv = h[i];
    if (piv == 0.0) continue;
    double cosine;
    double sine;
    Givens(piv, a[row][0], cosine, sine);
    double* r = rhs + row * stride;
    for (int j = 0; j < count; ++j) Rotate(cosine, sine, right[j], r[j * step]);
    for (int j = i + 1; j < band; ++j) Rotate(cosine, sine, h[j], a[row][j - i]);
  }
}

// The spline for the current knots and penalty weight 1/p (p <= 0: plain least
// squares), with fp and the residual sums per knot interval. The observation
// matrices must be current; for p > 0 so must the derivative jumps.
void SolveGrid(const GridFitInput& in, SmootherState& st, double p) {
  const int mx = in.mx;
  const int my = in.my;
  const int kx1 = st.kx + 1;
  const int ky1 = st.ky + 1;
  const int nk1x = st.nx - kx1;
  const int nk1y = st.ny - ky1;
  const double pinv = p > 0.0 ? 1.0 / p : 0.0;
  double h[SMOOTH_MAX_DEGREE + 2];

  // x direction: reduce the observation matrix (with penalty rows) to upper
  // triangular form; the rotations turn the data into an my x nk1x matrix q.
  std::fill_n(st.q.begin(), my * nk1x, 0.0);
  for (int i = 0; i < nk1x; ++i) st.ax[i].fill(0.0);
  int band = kx1;
  int nrold = 0;
  for (int it = 0; it < mx; ++it) {
    const int number = st.nrx[it];
    // Penalty rows of the knots passed before this data point come first.
    for (; nrold < number; ++nrold) {
      if (p <= 0.0) continue;
      band = kx1 + 1;
      for (int j = 0; j < band; ++j) h[j] = st.bx[nrold][j] * pinv;
      std::fill_n(st.right.begin(), my, 0.0);
      FoldRow(h, band, nrold, st.right.data(), my, st.ax.data(), st.q.data(), my, 1);
    }
    h[band - 1] = 0.0;
    for (int j = 0; j < kx1; ++j) h[j] = st.spx[it][j];
    for (int j = 0; j < my; ++j) st.right[j] = in.z[it * my + j];
    FoldRow(h, band, number, st.right.data(), my, st.ax.data(), st.q.data(), my, 1);
  }
  const int bandx = band;

  // y direction: the same on the columns of q, giving the coefficient matrix
  // still to be back-substituted.
  std::fill_n(st.c.begin(), nk1x * nk1y, 0.0);
  for (int i = 0; i < nk1y; ++i) st.ay[i].fill(0.0);
  band = ky1;
  nrold = 0;
  for (int it = 0; it < my; ++it) {
    const int number = st.nry[it];
    for (; nrold < number; ++nrold) {
      if (p <= 0.0) continue;
      band = ky1 + 1;
      for (int j = 0; j < band; ++j) h[j] = st.by[nrold][j] * pinv;
      std::fill_n(st.right.begin(), nk1x, 0.0);
      FoldRow(h, band, nrold, st.right.data(), nk1x, st.ay.data(), st.c.data(), 1, nk1y);
    }
    h[band - 1] = 0.0;
    for (int j = 0; j < ky1; ++j) h[j] = st.spy[it][j];
    for (int j = 0; j < nk1x; ++j) st.right[j] = st.q[j * my + it];
    FoldRow(h, band, number, st.right.data(), nk1x, st.ay.data(), st.c.data(), 1, nk1y);
  }
  const int bandy = band;

  // Back substitution: first along y for every x column, then along x.
  for (int i = 0; i < nk1x; ++i) {
    double* col = st.c.data() + i * nk1y;
    BackSubstitute(st.ay.data(), col, nk1y, bandy, col);
  }
  for (int j = 0; j < nk1y; ++j) {
    for (int i = 0; i < nk1x; ++i) st.right[i] = st.c[i * nk1y + j];
    BackSubstitute(st.ax.data(), st.right.data(), nk1x, bandx, st.right.data());
    for (int i = 0; i < nk1x; ++i) st.c[i * nk1y + j] = st.right[i];
  }

  // Residuals. A point on an interior knot gives half its square to each side.
  st.fp = 0.0;
  std::fill_n(st.fpintx.begin(), st.nx, 0.0);
  std::fill_n(st.fpinty.begin(), st.ny, 0.0);
  int iz = 0;
  int nroldx = 0;
  for (int i1 = 0; i1 < mx; ++i1) {
    const int numx = st.nrx[i1];
    int nroldy = 0;
    for (int i2 = 0; i2 < my; ++i2) {
      const int numy = st.nry[i2];
      double term = 0.0;
      int k1 = numx * nk1y + numy;
      for (int l1 = 0; l1 < kx1; ++l1) {
        double fac = st.spx[i1][l1];
        for (int l2 = 0; l2 < ky1; ++l2) term = term + fac * st.spy[i2][l2] * st.c[k1 + l2];
        k1 += nk1y;
      }
      double d = in.z[iz++] - term;
      term = d * d;
      st.fp += term;
      st.fpintx[numx] += term;
      st.fpinty[numy] += term;
      double half = term * HALF;
      if (numy != nroldy) {
        st.fpinty[numy] -= half;
        st.fpinty[numy - 1] += half;
      }
      nroldy = numy;
      if (numx != nroldx) {
        st.fpintx[numx] -= half;
        st.fpintx[numx - 1] += half;
      }
    }
    nroldx = numx;
  }
}

// Adds one interior knot in the interval with the largest residual sum among
// those holding data points strictly inside; the knot lands on the middle such
// point. Interior knots always sit on data points, so the points of interval j
// start just after the point on its left knot. Returns false when no interval
// qualifies.
bool AddKnot(const double* x, double* t, int& n, double* fpint, int* nrdata, int& nrint) {
  const int k = (n - nrint - 1) / 2;
  double fpmax = 0.0;
  int number = -1;
  int maxpt = 0;
  int maxbeg = 0;
  int jbegin = 0;  // data index of the left knot of interval j
  for (int j = 0; j < nrint; ++j) {
    int jpoint = nrdata[j];
    if (fpint[j] > fpmax && jpoint != 0) {
      fpmax = fpint[j];
      number = j;
      maxpt = jpoint;
      maxbeg = jbegin;
    }
    jbegin += jpoint + 1;
  }
  if (number < 0) return false;
  const int ihalf = maxpt / 2 + 1;
  const int next = number + 1;
  for (int j = nrint - 1; j >= next; --j) {
    fpint[j + 1] = fpint[j];
    nrdata[j + 1] = nrdata[j];
    t[j + k + 1] = t[j + k];
  }
  nrdata[number] = ihalf - 1;
  nrdata[next] = maxpt - ihalf;
  double am = maxpt;
  fpint[number] = fpmax * static_cast<double>(nrdata[number]) / am;
  fpint[next] = fpmax * static_cast<double>(nrdata[next]) / am;
  t[next + k] = x[maxbeg + ihalf];
  ++n;
  ++nrint;
  return true;
}

// The p where the rational function through (p1, f1), (p2, f2), (p3, f3) is 0
// (p3 <= 0 stands for infinity), and the bracket moved to keep f1 > 0 > f3.
double RationalRoot(double& p1, double& f1, double p2, double f2, double& p3, double& f3) {
  double p;
  if (p3 > 0.0) {
    double h1 = f1 * (f2 - f3);
    double h2 = f2 * (f3 - f1);
    double h3 = f3 * (f1 - f2);
    p = -(p1 * p2 * h3 + p2 * p3 * h1 + p3 * p1 * h2) / (p1 * h1 + p2 * h2 + p3 * h3);
  } else {
    p = (p1 * (f1 - f3) * f2 - p2 * (f2 - f3) * f1) / ((f1 - f2) * f3);
  }
  if (f2 < 0.0) {
    p3 = p2;
    f3 = f2;
  } else {
    p1 = p2;
    f1 = f2;
  }
  return p;
}

bool StrictlyIncreasing(const double* v, int m) {
  for (int i = 1; i < m; ++i) {
    if (!(v[i] > v[i - 1])) return false;
  }
  return true;
}

bool ValidFitInput(const GridFitInput& in) {
  if (in.x == nullptr || in.y == nullptr || in.z == nullptr) return false;
  if (in.kx < 1 || in.kx > SMOOTH_MAX_DEGREE || in.ky < 1 || in.ky > SMOOTH_MAX_DEGREE) return false;
  const int kx1 = in.kx + 1;
  const int ky1 = in.ky + 1;
  if (in.mx < kx1 || in.nxest < 2 * kx1) return false;
  if (in.my < ky1 || in.nyest < 2 * ky1) return false;
  // The storage is fixed: a grid or knot count beyond it is work space the
  // caller cannot have.
  if (in.mx > SMOOTH_MAX_MX || in.my > SMOOTH_MAX_MY || in.nxest > SMOOTH_MAX_NXEST ||
      in.nyest > SMOOTH_MAX_NYEST)
    return false;
  const int intNeeded = 3 + in.mx + in.my + in.nxest + in.nyest;
  const int realNeeded = 4 + in.nxest * (in.my + 2 * in.kx + 5) + in.nyest * (2 * in.ky + 3) + in.mx * kx1 +
                         in.my * ky1 + std::max(in.my, in.nxest);
  if (in.intWork < intNeeded || in.realWork < realNeeded) return false;
  if (!(in.xb <= in.x[0]) || !(in.x[in.mx - 1] <= in.xe) || !StrictlyIncreasing(in.x, in.mx)) return false;
  if (!(in.yb <= in.y[0]) || !(in.y[in.my - 1] <= in.ye) || !StrictlyIncreasing(in.y, in.my)) return false;
  if (!(in.s >= 0.0)) return false;
  if (in.s == 0.0 && (in.nxest < in.mx + kx1 || in.nyest < in.my + ky1)) return false;
  return true;
}

// Interior knots of the interpolating spline: on the data points for an odd
// degree, midway between them for an even one.
void InterpolationKnots(const double* v, int m, int k, double* t) {
  const int k1 = k + 1;
  const int k3 = k / 2;
  for (int l = 0; l < m - k1; ++l) {
    t[k1 + l] = (k % 2 == 1) ? v[k3 + 1 + l] : (v[k3 + 1 + l] + v[k3 + l]) * HALF;
  }
}

void SetBoundaryKnots(double* t, int n, int k, double b, double e) {
  for (int j = 0; j <= k; ++j) {
    t[j] = b;
    t[n - 1 - j] = e;
  }
}

// Knots to add in one direction: as many as the last addition there times the
// ratio of the remaining excess to the reduction it gave, within half to
// twice the last count.
int KnotsToAdd(int n, int nmin, int nplus, double fpms, double reduc, double acc) {
  if (n == nmin) return 1;
  int npl1 = nplus * 2;
  if (reduc > acc) {
    // A count beyond 32 bits (a direction whose last knots barely helped)
    // converts as the published code's truncation does on x86: to the most
    // negative integer, so the count below comes out as 1.
    double want = static_cast<double>(nplus) * fpms / reduc;
    npl1 = (want > -2147483649.0 && want < 2147483648.0) ? static_cast<int>(want) : INT_MIN;
  }
  return std::min(nplus * 2, std::max({npl1, nplus / 2, 1}));
}

}  // namespace

int GridFit(const GridFitInput& in, SmootherState& st) {
  st.nx = 0;
  st.ny = 0;
  st.fp = 0.0;
  if (!ValidFitInput(in)) {
    st.code = SMOOTH_INVALID_INPUT;
    return st.code;
  }
  const int kx = in.kx;
  const int ky = in.ky;
  st.kx = kx;
  st.ky = ky;
  const double s = in.s;
  const double acc = SMOOTH_TOLERANCE * s;
  const int nminx = 2 * (kx + 1);
  const int nminy = 2 * (ky + 1);
  const int nmaxx = in.mx + kx + 1;
  const int nmaxy = in.my + ky + 1;
  const int nxe = std::min(nmaxx, in.nxest);
  const int nye = std::min(nmaxy, in.nyest);

  int lastdi = 0;
  int nplusx = 0;
  int nplusy = 0;
  if (s > 0.0) {
    // Start from the least-squares polynomial: boundary knots only.
    st.nx = nminx;
    st.ny = nminy;
    st.nrdatx[0] = in.mx - 2;
    st.nrdaty[0] = in.my - 2;
  } else {
    st.nx = nmaxx;
    st.ny = nmaxy;
    InterpolationKnots(in.x, in.mx, kx, st.tx.data());
    InterpolationKnots(in.y, in.my, ky, st.ty.data());
  }
  st.fp0 = 0.0;
  st.fpold = 0.0;
  st.reducx = 0.0;
  st.reducy = 0.0;

  // First stage: knots until the least-squares spline gets below s.
  int code = SMOOTH_OK;
  double fpms = 0.0;
  const int trials = in.mx + in.my;
  for (int trial = 0; trial < trials; ++trial) {
    if (st.nx == nminx && st.ny == nminy) code = SMOOTH_POLYNOMIAL;
    int nrintx = st.nx - nminx + 1;
    int nrinty = st.ny - nminy + 1;
    SetBoundaryKnots(st.tx.data(), st.nx, kx, in.xb, in.xe);
    SetBoundaryKnots(st.ty.data(), st.ny, ky, in.yb, in.ye);
    ObservationMatrix(in.x, in.mx, st.tx.data(), st.nx, kx, st.spx.data(), st.nrx.data());
    ObservationMatrix(in.y, in.my, st.ty.data(), st.ny, ky, st.spy.data(), st.nry.data());
    SolveGrid(in, st, -1.0);
    if (code == SMOOTH_POLYNOMIAL) st.fp0 = st.fp;
    fpms = st.fp - s;
    if (std::abs(fpms) < acc) return st.code = code;
    if (fpms < 0.0) break;
    if (st.nx == nmaxx && st.ny == nmaxy) {
      st.fp = 0.0;
      return st.code = SMOOTH_INTERPOLATING;
    }
    if (st.nx == nxe && st.ny == nye) return st.code = SMOOTH_KNOTS_EXHAUSTED;
    code = SMOOTH_OK;
    if (lastdi < 0) st.reducx = st.fpold - st.fp;
    if (lastdi > 0) st.reducy = st.fpold - st.fp;
    st.fpold = st.fp;
    const int nplx = KnotsToAdd(st.nx, nminx, nplusx, fpms, st.reducx, acc);
    const int nply = KnotsToAdd(st.ny, nminy, nplusy, fpms, st.reducy, acc);
    // The direction asking for fewer knots wins; a full direction gives way.
    bool alongX = nplx < nply || (nplx == nply && lastdi >= 0);
    if (alongX && st.nx == nxe) alongX = false;
    else if (!alongX && st.ny == nye) alongX = true;
    if (alongX) {
      lastdi = -1;
      nplusx = nplx;
      for (int l = 0; l < nplusx && st.nx < nxe; ++l) {
        if (!AddKnot(in.x, st.tx.data(), st.nx, st.fpintx.data(), st.nrdatx.data(), nrintx)) break;
      }
    } else {
      lastdi = 1;
      nplusy = nply;
      for (int l = 0; l < nplusy && st.ny < nye; ++l) {
        if (!AddKnot(in.y, st.ty.data(), st.ny, st.fpinty.data(), st.nrdaty.data(), nrinty)) break;
      }
    }
  }
  if (code == SMOOTH_POLYNOMIAL) return st.code = code;

  // Second stage: the smoothing spline. fp(p) falls from fp0 (p = 0, the polynomial)
  // to the least-squares spline's fp (p infinite); find fp(p) = s by rational
  // interpolation on a bracket [p1, p3] with f1 > 0 > f3.
  SetBoundaryKnots(st.tx.data(), st.nx, kx, in.xb, in.xe);
  SetBoundaryKnots(st.ty.data(), st.ny, ky, in.yb, in.ye);
  ObservationMatrix(in.x, in.mx, st.tx.data(), st.nx, kx, st.spx.data(), st.nrx.data());
  ObservationMatrix(in.y, in.my, st.ty.data(), st.ny, ky, st.spy.data(), st.nry.data());
  if (st.nx > nminx) DerivativeJumps(st.tx.data(), st.nx, kx, st.bx.data());
  if (st.ny > nminy) DerivativeJumps(st.ty.data(), st.ny, ky, st.by.data());
  double p1 = 0.0;
  double f1 = st.fp0 - s;
  double p3 = -1.0;
  double f3 = fpms;
  double p = 1.0;
  bool ich1 = false;
  bool ich3 = false;
  for (int iter = 1; iter <= SMOOTH_MAX_P_ITERATIONS; ++iter) {
    SolveGrid(in, st, p);
    fpms = st.fp - s;
    if (std::abs(fpms) < acc) return st.code = code;
    if (iter == SMOOTH_MAX_P_ITERATIONS) return st.code = SMOOTH_ITERATIONS;
    const double p2 = p;
    const double f2 = fpms;
    if (!ich3) {
      if (f2 - f3 <= acc) {
        // p too large: fp is still at the least-squares spline's.
        p3 = p2;
        f3 = f2;
        p = p * CON4;
        if (p <= p1) p = p1 * CON9 + p2 * CON1;
        continue;
      }
      if (f2 < 0.0) ich3 = true;
    }
    if (!ich1) {
      if (f1 - f2 <= acc) {
        // p too small: fp is still at the polynomial's.
        p1 = p2;
        f1 = f2;
        p = p / CON4;
        if (p3 < 0.0) continue;
        if (p >= p3) p = p2 * CON1 + p3 * CON9;
        continue;
      }
      if (f2 > 0.0) ich1 = true;
    }
    // fp(p) decreases strictly; a value outside the bracket means rounding has
    // taken over.
    if (f2 >= f1 || f2 <= f3) return st.code = SMOOTH_IMPOSSIBLE;
    p = RationalRoot(p1, f1, p2, f2, p3, f3);
  }
  return st.code = SMOOTH_ITERATIONS;
}

int GridEvaluate(const SmootherState& st, const double* x, int mx, const double* y, int my, double* z, int realWork,
                 int intWork) {
  const int kx1 = st.kx + 1;
  const int ky1 = st.ky + 1;
  if (x == nullptr || y == nullptr || z == nullptr) return SMOOTH_INVALID_INPUT;
  if (realWork < mx * kx1 + my * ky1 || intWork < mx + my) return SMOOTH_INVALID_INPUT;
  if (mx < 1 || my < 1 || mx > SMOOTH_MAX_MX || my > SMOOTH_MAX_MY) return SMOOTH_INVALID_INPUT;
  for (int i = 1; i < mx; ++i) {
    if (x[i] < x[i - 1]) return SMOOTH_INVALID_INPUT;
  }
  for (int j = 1; j < my; ++j) {
    if (y[j] < y[j - 1]) return SMOOTH_INVALID_INPUT;
  }
  if (st.nx < 2 * kx1 || st.ny < 2 * ky1) return SMOOTH_INVALID_INPUT;  // no spline fitted

  std::array<SmoothBasisRow, SMOOTH_MAX_MX> wx{};
  std::array<SmoothBasisRow, SMOOTH_MAX_MY> wy{};
  std::array<int, SMOOTH_MAX_MX> lx{};
  std::array<int, SMOOTH_MAX_MY> ly{};
  // Points outside the knot range are moved onto its ends.
  auto basis = [](const double* t, int n, int k, const double* v, int m, SmoothBasisRow* w, int* lv) {
    const double tb = t[k];
    const double te = t[n - k - 1];
    int l = k;
    for (int i = 0; i < m; ++i) {
      double arg = std::clamp(v[i], tb, te);
      while (!(arg < t[l + 1] || l == n - k - 2)) ++l;
      BsplineValues(t, k, arg, l, w[i].data());
      lv[i] = l - k;
    }
  };
  basis(st.tx.data(), st.nx, st.kx, x, mx, wx.data(), lx.data());
  basis(st.ty.data(), st.ny, st.ky, y, my, wy.data(), ly.data());

  const int nky1 = st.ny - ky1;
  for (int i = 0; i < mx; ++i) {
    const int l = lx[i] * nky1;
    for (int j = 0; j < my; ++j) {
      int l1 = l + ly[j];
      double sp = 0.0;
      for (int i1 = 0; i1 < kx1; ++i1) {
        for (int j1 = 0; j1 < ky1; ++j1) sp = sp + st.c[l1 + j1] * wx[i][i1] * wy[j][j1];
        l1 += nky1;
      }
      z[i * my + j] = sp;
    }
  }
  return SMOOTH_OK;
}

std::uint32_t RoundVeValue(double value) {
  double r = std::trunc(value * 10.0 + 0.5);
  if (!(r > 0.0)) return 0;
  if (r > 255.0) return 255;
  return static_cast<std::uint32_t>(r);
}

int VeGridX(bool extended, double* x) {
  const int mx = VeRowCount(extended);
  for (int row = 1; row <= mx; ++row) x[row - 1] = (static_cast<double>(VE_RPM_AXIS[row - 1]) - 400.0) / 100.0;
  // The extended rows from 6000 RPM step by 500 (x 56, 61 .. 76); the standard
  // table's last row, 6375 RPM, is placed at x = 60.
  if (extended) {
    for (int row = 31; row <= 35; ++row) x[row - 1] = 56.0 + 5.0 * (row - 31);
  } else {
    x[31] = 60.0;
  }
  return mx;
}

int VeGridY(double* y) {
  for (int col = 1; col <= VE_MAP_COLUMNS; ++col) y[col - 1] = (static_cast<double>(VE_MAP_AXIS[col - 1]) - 20.0) / 5.0;
  return VE_MAP_COLUMNS;
}

int SmoothVeTable(LearnedVeTable& learned, double smoothFactor, SmootherState& state) {
  double x[SMOOTH_MAX_MX];
  double y[SMOOTH_MAX_MY];
  double z[SMOOTH_MAX_MX * SMOOTH_MAX_MY];
  double fitted[SMOOTH_MAX_MX * SMOOTH_MAX_MY];
  const int mx = VeGridX(learned.extended, x);
  const int my = VeGridY(y);
  for (int i = 0; i < mx; ++i) {
    for (int j = 0; j < my; ++j) z[i * my + j] = static_cast<double>(learned.table[i + 1][j + 1]) / 10.0;
  }

  GridFitInput in;
  in.x = x;
  in.mx = mx;
  in.y = y;
  in.my = my;
  in.z = z;
  in.xb = x[0];
  in.xe = x[mx - 1];
  in.yb = 0.0;
  in.ye = 16.0;
  in.kx = SMOOTH_DEGREE;
  in.ky = SMOOTH_DEGREE;
  in.s = smoothFactor;
  in.nxest = mx + 4;
  in.nyest = my + 4;
  in.realWork = SMOOTH_FIT_REAL_WORK;
  in.intWork = 3 + mx + my + in.nxest + in.nyest;
  int code = GridFit(in, state);
  if (code > 0) return code;

  // The fit's code stands unless the evaluation refuses, so a caller still
  // sees whether the polynomial or the interpolant was taken.
  int evalCode = GridEvaluate(state, x, mx, y, my, fitted, 4 * mx + 4 * my, mx + my);
  if (evalCode != SMOOTH_OK) return state.code = evalCode;
  for (int i = 0; i < mx; ++i) {
    for (int j = 0; j < my; ++j) learned.table[i + 1][j + 1] = RoundVeValue(fitted[i * my + j]);
  }
  return code;
}

int SmoothVeTable(LearnedVeTable& learned, double smoothFactor) {
  static SmootherState state;
  return SmoothVeTable(learned, smoothFactor, state);
}

}  // namespace zrm
