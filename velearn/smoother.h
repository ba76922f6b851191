// VE table smoother: a bicubic smoothing spline on the VE table's grid.
//
// Among all tensor-product splines whose sum of squared residuals over the grid
// (fp) does not exceed the smoothing factor s, the fit takes the smoothest one.
// It is Dierckx's method for gridded data: knots are added where the residuals
// are largest until the least-squares spline gets below s, then a penalty on
// the jumps of the third derivative across the interior knots, weighted 1/p,
// is tuned by rational interpolation until fp = s within 0.001 s. On a grid
// the least-squares problem splits into one banded system per direction, each
// reduced by Givens rotations, so a fit costs little more than two small
// banded solves.
//
// Grid of the VE table: x = (RPM - 400) / 100 per row (the standard table's
// 6375 RPM row is placed at x = 60), y = (MAP - 20) / 5 per column, data
// z = VE / 10.
//
// All storage is fixed and sized for the extended table; nothing is allocated.
#pragma once

#include <array>
#include <cstdint>

#include "velearn/ve_table.h"

namespace zrm {

// Result codes. WriteBinVeTable shows any code above 0 and then writes the
// unsmoothed table; codes 0 and below mean the table was replaced.
constexpr int SMOOTH_POLYNOMIAL = -2;       // fp0 <= s: the least-squares bicubic polynomial
constexpr int SMOOTH_INTERPOLATING = -1;    // fp = 0: the interpolating spline
constexpr int SMOOTH_OK = 0;                // abs(fp - s) < 0.001 s
constexpr int SMOOTH_KNOTS_EXHAUSTED = 1;   // knot storage full before fp <= s (s too small)
constexpr int SMOOTH_IMPOSSIBLE = 2;        // the p iteration left its bracket (s too small)
constexpr int SMOOTH_ITERATIONS = 3;        // 20 p iterations without fp = s (s too small)
constexpr int SMOOTH_INVALID_INPUT = 10;    // an argument check failed; nothing computed

// Capacity of the storage: the extended table's grid, degrees up to 5.
constexpr int SMOOTH_MAX_DEGREE = 5;
constexpr int SMOOTH_MAX_MX = VE_ROWS_EXTENDED;
constexpr int SMOOTH_MAX_MY = VE_MAP_COLUMNS;
constexpr int SMOOTH_MAX_NXEST = SMOOTH_MAX_MX + SMOOTH_MAX_DEGREE + 1;
constexpr int SMOOTH_MAX_NYEST = SMOOTH_MAX_MY + SMOOTH_MAX_DEGREE + 1;

// Fixed parameters of the VE table's fit.
constexpr int SMOOTH_DEGREE = 3;
constexpr int SMOOTH_FIT_REAL_WORK = 1450;
constexpr double SMOOTH_TOLERANCE = static_cast<double>(0.001f);  // relative, single precision
constexpr int SMOOTH_MAX_P_ITERATIONS = 20;

// One grid fit: data z[i * my + j] at (x[i], y[j]) on [xb, xe] x [yb, ye].
// realWork and intWork are the work-space sizes the caller grants; they are
// checked against what a fit of this shape needs.
struct GridFitInput {
  const double* x = nullptr;
  int mx = 0;
  const double* y = nullptr;
  int my = 0;
  const double* z = nullptr;
  double xb = 0.0;
  double xe = 0.0;
  double yb = 0.0;
  double ye = 0.0;
  int kx = SMOOTH_DEGREE;
  int ky = SMOOTH_DEGREE;
  double s = 0.0;
  int nxest = 0;
  int nyest = 0;
  int realWork = 0;
  int intWork = 0;
};

using SmoothBandRow = std::array<double, SMOOTH_MAX_DEGREE + 2>;
using SmoothBasisRow = std::array<double, SMOOTH_MAX_DEGREE + 1>;

// The spline of the last fit, kept between the fit and the evaluation, and the
// fit's working storage. The program keeps one; a test may make its own.
struct SmootherState {
  // Result of the last fit.
  int kx = SMOOTH_DEGREE;
  int ky = SMOOTH_DEGREE;
  int nx = 0;  // knots in x, boundary knots included
  int ny = 0;
  std::array<double, SMOOTH_MAX_NXEST> tx{};
  std::array<double, SMOOTH_MAX_NYEST> ty{};
  std::array<double, SMOOTH_MAX_NXEST * SMOOTH_MAX_NYEST> c{};  // c[ix * (ny - ky - 1) + iy]
  double fp = 0.0;                                            // sum of squared residuals
  int code = SMOOTH_INVALID_INPUT;

  // Knot search.
  double fp0 = 0.0;  // fp of the least-squares polynomial
  double fpold = 0.0;
  double reducx = 0.0;
  double reducy = 0.0;
  std::array<double, SMOOTH_MAX_NXEST> fpintx{};  // residual sum per knot interval
  std::array<double, SMOOTH_MAX_NYEST> fpinty{};
  std::array<int, SMOOTH_MAX_NXEST> nrdatx{};  // data points strictly inside each interval
  std::array<int, SMOOTH_MAX_NYEST> nrdaty{};

  // Least-squares systems.
  std::array<int, SMOOTH_MAX_MX> nrx{};  // first non-zero B-spline at each x
  std::array<int, SMOOTH_MAX_MY> nry{};
  std::array<SmoothBasisRow, SMOOTH_MAX_MX> spx{};  // non-zero B-splines at each x
  std::array<SmoothBasisRow, SMOOTH_MAX_MY> spy{};
  std::array<SmoothBandRow, SMOOTH_MAX_NXEST> ax{};  // triangularised x system
  std::array<SmoothBandRow, SMOOTH_MAX_NYEST> ay{};
  std::array<SmoothBandRow, SMOOTH_MAX_NXEST> bx{};  // third-derivative jumps at interior knots
  std::array<SmoothBandRow, SMOOTH_MAX_NYEST> by{};
  std::array<double, SMOOTH_MAX_NXEST * SMOOTH_MAX_MY> q{};
  std::array<double, SMOOTH_MAX_NXEST + SMOOTH_MAX_MY> right{};
};

// Fits a fresh smoothing spline to gridded data (no knots given). Returns the
// code: -2, -1 or 0 when the spline in state is the answer; 1, 2 or 3 when s is
// too small (state holds the last spline tried); 10 when an argument check
// failed (nothing computed, state.nx = state.ny = 0).
int GridFit(const GridFitInput& in, SmootherState& state);

// Evaluates the spline in state at every (x[i], y[j]) into z[i * my + j].
// Returns 0, or 10 when mx or my is below 1 or above the storage, x or y
// decreases, or the granted work space (real: mx(kx+1) + my(ky+1), integer:
// mx + my) is too small; z is then untouched.
int GridEvaluate(const SmootherState& state, const double* x, int mx, const double* y, int my, double* z,
                 int realWork, int intWork);

// A smoothed value (VE / 10) as the VE byte stored: truncate(value x 10 + 0.5),
// clamped to 0..255.
std::uint32_t RoundVeValue(double value);

// The grid abscissa x of each VE row 1..mx (mx = 32 or 35) into x[0..mx-1];
// returns mx.
int VeGridX(bool extended, double* x);

// The grid ordinate y of each MAP column 1..14 into y[0..13]; returns 14.
int VeGridY(double* y);

// Smooths rows 1..mx, columns 1..14 of the learned table with smoothing factor
// s (units of (VE / 10) squared). On a code of 0 or below the cells are
// replaced by the rounded spline; above 0 the table is left as it was. The
// spline, fp and the code stay in state.
int SmoothVeTable(LearnedVeTable& learned, double smoothFactor, SmootherState& state);

// The same with the program's own storage.
int SmoothVeTable(LearnedVeTable& learned, double smoothFactor);

}  // namespace zrm
