// VE table smoother: the fit's outcomes on the VE table, its argument checks,
// the rounding of the result, `zrmtool smooth`, and agreement with SciPy's
// FITPACK smoother on a set of tables.
#include "velearn/smoother.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#ifdef ZRMTOOL_PATH
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "test_support.h"
#endif

namespace zrm {
namespace {

// Grid abscissa of a VE row, worked out here from the row's RPM.
double TestGridX(int row, bool extended) {
  if (row == 32) return extended ? (6500.0 - 400.0) / 100.0 : 60.0;  // 6375 RPM sits at 60
  return (static_cast<double>(VE_RPM_AXIS[row - 1]) - 400.0) / 100.0;
}

double TestGridY(int col) { return (static_cast<double>(VE_MAP_AXIS[col - 1]) - 20.0) / 5.0; }

LearnedVeTable MakeTable(bool extended, const std::function<std::uint32_t(int row, int col)>& cell) {
  LearnedVeTable t;
  t.extended = extended;
  SetVeTableAxes(t.table, extended);
  for (int r = 1; r <= VeRowCount(extended); ++r) {
    for (int c = 1; c <= VE_MAP_COLUMNS; ++c) t.table[r][c] = cell(r, c);
  }
  return t;
}

LearnedVeTable RandomTable(bool extended, unsigned seed) {
  std::mt19937 gen(seed);
  return MakeTable(extended, [&](int, int) { return static_cast<std::uint32_t>(gen() % 256); });
}

// A VE-like surface (rising with MAP, a hump in mid RPM) with integer noise
// of up to +-noise.
LearnedVeTable ShapedTable(bool extended, unsigned seed, int noise) {
  std::mt19937 gen(seed);
  return MakeTable(extended, [&](int r, int c) {
    double x = TestGridX(r, extended);
    double y = TestGridY(c);
    double v = 35.0 + 55.0 * y / 16.0 + 20.0 * std::exp(-((x - 30.0) / 20.0) * ((x - 30.0) / 20.0));
    int n = static_cast<int>(gen() % static_cast<unsigned>(2 * noise + 1)) - noise;
    return static_cast<std::uint32_t>(std::lround(v) + n);
  });
}

// Cox-de Boor B-spline of degree k on knots t, the last interval closed.
double Bspline(const double* t, int n, int i, int k, double x) {
  if (k == 0) {
    if (t[i] <= x && x < t[i + 1]) return 1.0;
    return (x == t[n - 1] && t[i] < t[i + 1] && t[i + 1] == t[n - 1]) ? 1.0 : 0.0;
  }
  double v = 0.0;
  if (t[i + k] > t[i]) v += (x - t[i]) / (t[i + k] - t[i]) * Bspline(t, n, i, k - 1, x);
  if (t[i + k + 1] > t[i + 1]) v += (t[i + k + 1] - x) / (t[i + k + 1] - t[i + 1]) * Bspline(t, n, i + 1, k - 1, x);
  return v;
}

// The fitted spline at (x, y), evaluated from its knots and coefficients
// without the smoother's own evaluation.
double SplineAt(const SmootherState& st, double x, double y) {
  const int nk1x = st.nx - st.kx - 1;
  const int nk1y = st.ny - st.ky - 1;
  double sum = 0.0;
  for (int a = 0; a < nk1x; ++a) {
    double bx = Bspline(st.tx.data(), st.nx, a, st.kx, x);
    if (bx == 0.0) continue;
    for (int b = 0; b < nk1y; ++b) sum += st.c[a * nk1y + b] * bx * Bspline(st.ty.data(), st.ny, b, st.ky, y);
  }
  return sum;
}

bool SameCells(const LearnedVeTable& a, const LearnedVeTable& b) { return a.table == b.table; }

// ---------------------------------------------------------------------------
// Rounding of the result.

TEST(RoundVeValue, RoundsHalfUpAndClampsToAByte) {
  struct Case {
    double value;
    std::uint32_t stored;
  };
  const Case cases[] = {
      {25.55, 255}, {25.5, 255},  {25.54, 255}, {25.44, 254}, {25.6, 255}, {1.0e6, 255},
      {12.34, 123}, {12.36, 124}, {0.0, 0},     {0.04, 0},    {0.06, 1},   {-0.04, 0},
      {-0.3, 0},    {-25.0, 0},   {-1.0e6, 0},  {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(RoundVeValue(c.value), c.stored) << "value " << c.value;
}

// A step from 0 to 255 half way up the RPM axis: the smooth surface overshoots
// above 25.55 on the high side and goes negative on the low side.
TEST(SmoothVeTable, OvershootIsClampedTo255AndNegativeValuesTo0) {
  for (bool extended : {false, true}) {
    const int mx = VeRowCount(extended);
    LearnedVeTable t = MakeTable(extended, [&](int r, int) { return r > mx / 2 ? 255u : 0u; });
    SmootherState st;
    ASSERT_LE(SmoothVeTable(t, 5.0, st), SMOOTH_OK);
    bool above = false;
    bool below = false;
    for (int r = 1; r <= mx; ++r) {
      for (int c = 1; c <= VE_MAP_COLUMNS; ++c) {
        double v = SplineAt(st, TestGridX(r, extended), TestGridY(c));
        above = above || v > 25.55;
        below = below || v < -0.05;
        if (v > 25.55) {
          EXPECT_EQ(t.table[r][c], 255u) << r << "," << c;
        } else if (v < -0.05) {
          EXPECT_EQ(t.table[r][c], 0u) << r << "," << c;
        } else if (v > 0.1 && v < 25.4) {
          EXPECT_NEAR(t.table[r][c], v * 10.0, 0.5 + 1e-9) << r << "," << c;
        }
      }
    }
    EXPECT_TRUE(above) << "the fixture should overshoot above 25.55";
    EXPECT_TRUE(below) << "the fixture should dip below zero";
  }
}

// ---------------------------------------------------------------------------
// Outcomes of the fit on the VE table.

// Tables that are bicubic polynomials of the grid coordinates come back
// unchanged with code -2. The linear-in-x case also pins the grid abscissae:
// any other spacing of the rows would not be a polynomial any more.
TEST(SmoothVeTable, PolynomialTableGivesCodeMinus2AndSameValues) {
  struct Case {
    const char* name;
    std::function<std::uint32_t(int, int, bool)> cell;
  };
  const Case cases[] = {
      {"zero", [](int, int, bool) { return 0u; }},
      {"constant 100", [](int, int, bool) { return 100u; }},
      {"constant 255", [](int, int, bool) { return 255u; }},
      {"x + y(y-1)/2", [](int r, int c, bool ext) {
         double y = TestGridY(c);
         return static_cast<std::uint32_t>(10.0 + TestGridX(r, ext) + y * (y - 1.0) / 2.0);
       }},
  };
  for (const Case& k : cases) {
    for (bool extended : {false, true}) {
      for (double s : {1.0e-4, 1.0, 20.0}) {
        SCOPED_TRACE(std::string(k.name) + (extended ? " extended" : " standard") + " s=" + std::to_string(s));
        LearnedVeTable t = MakeTable(extended, [&](int r, int c) { return k.cell(r, c, extended); });
        const LearnedVeTable before = t;
        SmootherState st;
        EXPECT_EQ(SmoothVeTable(t, s, st), SMOOTH_POLYNOMIAL);
        EXPECT_EQ(st.nx, 8);
        EXPECT_EQ(st.ny, 8);
        EXPECT_LT(st.fp, 1e-12);
        EXPECT_TRUE(SameCells(t, before));
      }
    }
  }
}

// Noisy tables: fp meets s within 0.001 s, fp is the residual sum of the spline
// kept in the state, and the cells are that spline rounded.
TEST(SmoothVeTable, NoisyTableMeetsTheSmoothingFactor) {
  struct Case {
    bool extended;
    unsigned seed;
    int noise;
    double s;
  };
  const Case cases[] = {
      {false, 1, 3, 1.0},  {false, 2, 8, 1.0},  {false, 3, 3, 5.0},  {false, 4, 20, 20.0},
      {true, 5, 3, 1.0},   {true, 6, 8, 2.0},   {true, 7, 3, 10.0},  {true, 8, 20, 20.0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE("seed " + std::to_string(k.seed) + " s=" + std::to_string(k.s));
    LearnedVeTable t = ShapedTable(k.extended, k.seed, k.noise);
    const LearnedVeTable before = t;
    SmootherState st;
    ASSERT_EQ(SmoothVeTable(t, k.s, st), SMOOTH_OK);
    EXPECT_LT(std::abs(st.fp - k.s), 0.001 * k.s);
    EXPECT_GT(st.nx, 8);  // the polynomial was not enough

    double fp = 0.0;
    int changed = 0;
    for (int r = 1; r <= VeRowCount(k.extended); ++r) {
      for (int c = 1; c <= VE_MAP_COLUMNS; ++c) {
        double v = SplineAt(st, TestGridX(r, k.extended), TestGridY(c));
        double d = before.table[r][c] / 10.0 - v;
        fp += d * d;
        EXPECT_NEAR(t.table[r][c], v * 10.0, 0.5 + 1e-9) << r << "," << c;
        changed += t.table[r][c] != before.table[r][c];
      }
    }
    EXPECT_NEAR(fp, st.fp, 1e-9 * k.s);
    EXPECT_GT(changed, 0);
  }
}

TEST(SmoothVeTable, ZeroSmoothingInterpolates) {
  for (bool extended : {false, true}) {
    LearnedVeTable t = RandomTable(extended, 21);
    const LearnedVeTable before = t;
    SmootherState st;
    EXPECT_EQ(SmoothVeTable(t, 0.0, st), SMOOTH_INTERPOLATING);
    EXPECT_EQ(st.fp, 0.0);
    EXPECT_EQ(st.nx, VeRowCount(extended) + 4);
    EXPECT_EQ(st.ny, VE_MAP_COLUMNS + 4);
    EXPECT_TRUE(SameCells(t, before));
  }
}

TEST(SmoothVeTable, InvalidSmoothingFactorGives10AndLeavesTheTable) {
  for (double s : {-1.0, -1.0e-12, std::numeric_limits<double>::quiet_NaN()}) {
    LearnedVeTable t = ShapedTable(false, 9, 5);
    const LearnedVeTable before = t;
    SmootherState st;
    EXPECT_EQ(SmoothVeTable(t, s, st), SMOOTH_INVALID_INPUT) << s;
    EXPECT_EQ(st.nx, 0);
    EXPECT_TRUE(SameCells(t, before));
  }
}

// Rough tables with a tiny s: the p iteration cannot reach fp = s and the
// table is left as it was.
TEST(SmoothVeTable, TooSmallSmoothingFactorLeavesTheTable) {
  struct Case {
    bool extended;
    unsigned seed;
    double s;
  };
  const Case cases[] = {
      {false, 3, 1e-9}, {false, 9, 1e-6}, {true, 1, 1e-6}, {true, 13, 1e-5}, {true, 17, 1e-3},
  };
  std::vector<int> codes;
  for (const Case& k : cases) {
    SCOPED_TRACE("seed " + std::to_string(k.seed) + " s=" + std::to_string(k.s));
    LearnedVeTable t = RandomTable(k.extended, k.seed);
    const LearnedVeTable before = t;
    SmootherState st;
    int code = SmoothVeTable(t, k.s, st);
    EXPECT_TRUE(code == SMOOTH_KNOTS_EXHAUSTED || code == SMOOTH_IMPOSSIBLE || code == SMOOTH_ITERATIONS) << code;
    EXPECT_GE(std::abs(st.fp - k.s), 0.001 * k.s);
    EXPECT_TRUE(SameCells(t, before));
    codes.push_back(code);
  }
  // Both ways of failing in the p iteration are among the cases.
  EXPECT_NE(std::find(codes.begin(), codes.end(), SMOOTH_IMPOSSIBLE), codes.end());
  EXPECT_NE(std::find(codes.begin(), codes.end(), SMOOTH_ITERATIONS), codes.end());
}

// Only rows 1..32 of a standard table take part; rows 33..35 and the axes stay.
TEST(SmoothVeTable, StandardTableUsesRows1To32Only) {
  LearnedVeTable a = ShapedTable(false, 11, 6);
  LearnedVeTable b = a;
  for (int r = 33; r <= 35; ++r) {
    for (int c = 1; c <= VE_MAP_COLUMNS; ++c) {
      a.table[r][c] = 7;
      b.table[r][c] = 250;
    }
  }
  const LearnedVeTable beforeA = a;
  SmootherState st;
  ASSERT_EQ(SmoothVeTable(a, 2.0, st), SMOOTH_OK);
  ASSERT_EQ(SmoothVeTable(b, 2.0, st), SMOOTH_OK);
  for (int r = 1; r <= 32; ++r) {
    for (int c = 1; c <= VE_MAP_COLUMNS; ++c) EXPECT_EQ(a.table[r][c], b.table[r][c]) << r << "," << c;
  }
  for (int r = 33; r <= 35; ++r) EXPECT_EQ(a.table[r], beforeA.table[r]);
  EXPECT_EQ(a.table[0], beforeA.table[0]);
  for (int r = 1; r <= 35; ++r) EXPECT_EQ(a.table[r][0], beforeA.table[r][0]);
}

TEST(SmoothVeTable, ProgramStorageGivesTheSameResult) {
  LearnedVeTable a = ShapedTable(true, 12, 5);
  LearnedVeTable b = a;
  SmootherState st;
  EXPECT_EQ(SmoothVeTable(a, 3.0), SmoothVeTable(b, 3.0, st));
  EXPECT_TRUE(SameCells(a, b));
}

// ---------------------------------------------------------------------------
// The grid fit and evaluation on their own.

struct GridFixture {
  std::vector<double> x;
  std::vector<double> y;
  std::vector<double> z;
  GridFitInput in;

  GridFixture() {
    for (int i = 0; i < 20; ++i) x.push_back(i * 1.5);
    for (int j = 0; j < 10; ++j) y.push_back(j);
    std::mt19937 gen(4);
    for (int n = 0; n < 200; ++n) z.push_back(static_cast<double>(gen() % 1000) / 100.0);
    Point();
  }
  void Point() {
    in.x = x.data();
    in.mx = static_cast<int>(x.size());
    in.y = y.data();
    in.my = static_cast<int>(y.size());
    in.z = z.data();
    in.xb = x.front();
    in.xe = x.back();
    in.yb = y.front();
    in.ye = y.back();
    in.kx = 3;
    in.ky = 3;
    in.s = 2.0;
    in.nxest = in.mx + 4;
    in.nyest = in.my + 4;
    in.intWork = IntNeeded();
    in.realWork = RealNeeded();
  }
  int IntNeeded() const { return 3 + in.mx + in.my + in.nxest + in.nyest; }
  int RealNeeded() const {
    return 4 + in.nxest * (in.my + 2 * in.kx + 5) + in.nyest * (2 * in.ky + 3) + in.mx * (in.kx + 1) +
           in.my * (in.ky + 1) + std::max(in.my, in.nxest);
  }
};

TEST(GridFit, ArgumentChecksGive10) {
  struct Case {
    const char* name;
    std::function<void(GridFixture&)> spoil;
    bool valid;
  };
  const Case cases[] = {
      {"as given", [](GridFixture&) {}, true},
      {"work space exactly enough", [](GridFixture& f) { f.in.realWork = f.RealNeeded(); }, true},
      {"degree 1 and 5",
       [](GridFixture& f) {
         f.in.kx = 1;
         f.in.ky = 5;
         f.in.nyest = f.in.my + 6;
         f.in.intWork = f.IntNeeded();
         f.in.realWork = f.RealNeeded();
       },
       true},
      {"kx 0", [](GridFixture& f) { f.in.kx = 0; }, false},
      {"kx 6", [](GridFixture& f) { f.in.kx = 6; }, false},
      {"ky 0", [](GridFixture& f) { f.in.ky = 0; }, false},
      {"ky 6", [](GridFixture& f) { f.in.ky = 6; }, false},
      {"mx = kx", [](GridFixture& f) { f.in.mx = 3; f.in.xe = f.x[2]; }, false},
      {"my = ky", [](GridFixture& f) { f.in.my = 3; f.in.ye = f.y[2]; }, false},
      {"nxest below 2(kx+1)", [](GridFixture& f) { f.in.nxest = 7; }, false},
      {"nyest below 2(ky+1)", [](GridFixture& f) { f.in.nyest = 7; }, false},
      {"nxest beyond storage",
       [](GridFixture& f) {
         f.in.nxest = SMOOTH_MAX_NXEST + 1;
         f.in.intWork = 1000;
         f.in.realWork = 100000;
       },
       false},
      {"integer work one short", [](GridFixture& f) { f.in.intWork = f.IntNeeded() - 1; }, false},
      {"real work one short", [](GridFixture& f) { f.in.realWork = f.RealNeeded() - 1; }, false},
      {"xb after x1", [](GridFixture& f) { f.in.xb = f.x[0] + 0.1; }, false},
      {"xe before last x", [](GridFixture& f) { f.in.xe = f.x.back() - 0.1; }, false},
      {"x repeated", [](GridFixture& f) { f.x[5] = f.x[4]; }, false},
      {"x decreasing", [](GridFixture& f) { std::swap(f.x[5], f.x[6]); }, false},
      {"yb after y1", [](GridFixture& f) { f.in.yb = 0.5; }, false},
      {"ye before last y", [](GridFixture& f) { f.in.ye = 8.5; }, false},
      {"y repeated", [](GridFixture& f) { f.y[9] = f.y[8]; }, false},
      {"s negative", [](GridFixture& f) { f.in.s = -0.5; }, false},
      {"s zero, nxest short of interpolation",
       [](GridFixture& f) {
         f.in.s = 0.0;
         f.in.nxest = f.in.mx + 3;
         f.in.intWork = f.IntNeeded();
       },
       false},
      {"s zero, nyest short of interpolation",
       [](GridFixture& f) {
         f.in.s = 0.0;
         f.in.nyest = f.in.my + 3;
         f.in.intWork = f.IntNeeded();
       },
       false},
      {"no data", [](GridFixture& f) { f.in.z = nullptr; }, false},
  };
  for (const Case& k : cases) {
    GridFixture f;
    k.spoil(f);
    SmootherState st;
    int code = GridFit(f.in, st);
    if (k.valid) {
      EXPECT_LE(code, SMOOTH_OK) << k.name;
    } else {
      EXPECT_EQ(code, SMOOTH_INVALID_INPUT) << k.name;
      EXPECT_EQ(st.nx, 0) << k.name;
      EXPECT_EQ(st.fp, 0.0) << k.name;
    }
  }
}

// With knot storage below what interpolation needs and a tiny s, the knots run
// out while fp is still above s.
TEST(GridFit, KnotStorageExhaustedGives1) {
  GridFixture f;
  f.in.s = 1e-6;
  f.in.nxest = 10;
  f.in.nyest = 9;
  f.in.intWork = f.IntNeeded();
  f.in.realWork = f.RealNeeded();
  SmootherState st;
  EXPECT_EQ(GridFit(f.in, st), SMOOTH_KNOTS_EXHAUSTED);
  EXPECT_EQ(st.nx, 10);
  EXPECT_EQ(st.ny, 9);
  EXPECT_GT(st.fp, f.in.s);
}

// A fit of another degree evaluates like the independent B-splines say.
TEST(GridFit, EvaluationMatchesIndependentBsplines) {
  for (int degree : {1, 2, 3, 5}) {
    GridFixture f;
    f.in.kx = degree;
    f.in.ky = degree;
    f.in.nxest = f.in.mx + degree + 1;
    f.in.nyest = f.in.my + degree + 1;
    f.in.intWork = f.IntNeeded();
    f.in.realWork = f.RealNeeded();
    SmootherState st;
    ASSERT_LE(GridFit(f.in, st), SMOOTH_OK) << degree;
    std::vector<double> z(f.z.size());
    ASSERT_EQ(GridEvaluate(st, f.x.data(), f.in.mx, f.y.data(), f.in.my, z.data(), 1000, 100), SMOOTH_OK);
    double fp = 0.0;
    for (int i = 0; i < f.in.mx; ++i) {
      for (int j = 0; j < f.in.my; ++j) {
        double v = SplineAt(st, f.x[i], f.y[j]);
        EXPECT_NEAR(z[i * f.in.my + j], v, 1e-9) << degree << " " << i << "," << j;
        fp += (f.z[i * f.in.my + j] - v) * (f.z[i * f.in.my + j] - v);
      }
    }
    EXPECT_NEAR(fp, st.fp, 1e-9) << degree;
    EXPECT_LT(std::abs(st.fp - f.in.s), 0.001 * f.in.s) << degree;
  }
}

TEST(GridEvaluate, ArgumentChecksGive10AndLeaveTheOutput) {
  GridFixture f;
  SmootherState st;
  ASSERT_EQ(GridFit(f.in, st), SMOOTH_OK);
  const int mx = f.in.mx;
  const int my = f.in.my;
  const int real = mx * 4 + my * 4;
  const int ints = mx + my;
  struct Case {
    const char* name;
    int mx;
    int my;
    int realWork;
    int intWork;
    int swapX;
    bool valid;
  };
  const Case cases[] = {
      {"as given", mx, my, real, ints, -1, true},
      {"real work one short", mx, my, real - 1, ints, -1, false},
      {"integer work one short", mx, my, real, ints - 1, -1, false},
      {"no x", 0, my, real, ints, -1, false},
      {"no y", mx, 0, real, ints, -1, false},
      {"x decreasing", mx, my, real, ints, 3, false},
  };
  for (const Case& k : cases) {
    std::vector<double> x = f.x;
    if (k.swapX >= 0) std::swap(x[k.swapX], x[k.swapX + 1]);
    std::vector<double> z(f.z.size(), -7.0);
    int code = GridEvaluate(st, x.data(), k.mx, f.y.data(), k.my, z.data(), k.realWork, k.intWork);
    if (k.valid) {
      EXPECT_EQ(code, SMOOTH_OK) << k.name;
    } else {
      EXPECT_EQ(code, SMOOTH_INVALID_INPUT) << k.name;
      EXPECT_EQ(std::count(z.begin(), z.end(), -7.0), static_cast<long>(z.size())) << k.name;
    }
  }
}

// ---------------------------------------------------------------------------
// zrmtool smooth.

#ifdef ZRMTOOL_PATH

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& s) { return test::ShellQuote(s); }

ToolRun RunTool(const std::vector<std::string>& args, const std::string& input) {
  test::TempDir dir;
  test::WriteFileText(dir.File("in.txt"), input);
  std::string cmd = Quote(ZRMTOOL_PATH) + " smooth";
  for (const std::string& a : args) cmd += " " + Quote(a);
  cmd += " < " + Quote(dir.File("in.txt")) + " > " + Quote(dir.File("out.txt")) + " 2> " + Quote(dir.File("err.txt"));
#ifdef _WIN32
  // cmd.exe drops the outermost pair of quotes of the line.
  ToolRun run;
  run.exitCode = std::system(("\"" + cmd + "\"").c_str());
#else
  int status = std::system(cmd.c_str());
  ToolRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  run.out = test::ReadFileText(dir.File("out.txt"));
  run.err = test::ReadFileText(dir.File("err.txt"));
  return run;
}

std::string TableText(const LearnedVeTable& t, const char* sep = " ", const char* eol = "\n") {
  std::string s;
  for (int r = 1; r <= VeRowCount(t.extended); ++r) {
    for (int c = 1; c <= VE_MAP_COLUMNS; ++c) {
      if (c > 1) s += sep;
      s += std::to_string(t.table[r][c]);
    }
    s += eol;
  }
  return s;
}

// What the tool must print for one table: the library's result.
std::string ExpectedBlock(LearnedVeTable t, double s) {
  SmootherState st;
  int code = SmoothVeTable(t, s, st);
  char line[64];
  std::snprintf(line, sizeof line, "code %d fp %.9g\n", code, st.fp);
  return TableText(t) + line;
}

TEST(ZrmtoolSmooth, PrintsEachTableThenItsCodeAndFp) {
  const LearnedVeTable flat = MakeTable(false, [](int, int) { return 100u; });
  const LearnedVeTable noisy = ShapedTable(false, 31, 6);
  const LearnedVeTable rough = RandomTable(false, 3);
  ToolRun run = RunTool({"--s", "1"}, TableText(flat) + "\n" + TableText(noisy) + "\n\n" + TableText(rough));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string expected = ExpectedBlock(flat, 1.0) + "\n" + ExpectedBlock(noisy, 1.0) + "\n" +
                               ExpectedBlock(rough, 1.0);
  EXPECT_EQ(run.out, expected);
  EXPECT_NE(run.out.find(TableText(flat) + "code -2 fp "), std::string::npos);
  EXPECT_NE(run.out.find("\ncode 0 fp "), std::string::npos);
}

TEST(ZrmtoolSmooth, ReadsExtendedTablesWithTabsAndCrlfFromAFile) {
  test::TempDir dir;
  const LearnedVeTable a = ShapedTable(true, 41, 4);
  const LearnedVeTable b = RandomTable(true, 42);
  test::WriteFileText(dir.File("tables.txt"), "\r\n" + TableText(a, "\t", "\r\n") + " \t\r\n\r\n" + TableText(b, "  "));
  ToolRun run = RunTool({"--extended", dir.File("tables.txt"), "--s", "2.5"}, "");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, ExpectedBlock(a, 2.5) + "\n" + ExpectedBlock(b, 2.5));
}

// Codes above 0 print the table as given.
TEST(ZrmtoolSmooth, FailedFitPrintsTheTableUnchanged) {
  const LearnedVeTable rough = RandomTable(false, 3);
  for (const char* s : {"-1", "1e-9"}) {
    ToolRun run = RunTool({"--s", s}, TableText(rough));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string head = TableText(rough) + "code ";
    ASSERT_EQ(run.out.rfind(head, 0), 0u) << s << "\n" << run.out;
    int code = std::atoi(run.out.c_str() + head.size());
    if (std::string(s) == "-1") {
      EXPECT_EQ(run.out.substr(head.size()), "10 fp 0\n");
    } else {
      EXPECT_TRUE(code >= SMOOTH_KNOTS_EXHAUSTED && code <= SMOOTH_ITERATIONS) << run.out;
    }
  }
}

TEST(ZrmtoolSmooth, BadArgumentsOrInputGiveExitCodesAndMessages) {
  const std::string good = TableText(ShapedTable(false, 51, 3));
  const std::string goodExt = TableText(ShapedTable(true, 52, 3));
  std::string trailingBlank = good;
  trailingBlank.replace(trailingBlank.find('\n', 200), 1, " \n");  // still 14 values
  std::string thirteen = good.substr(0, good.rfind(' ', good.find('\n'))) + good.substr(good.find('\n'));
  std::string big = "256" + good.substr(good.find(' '));
  std::string negative = "-1" + good.substr(good.find(' '));
  std::string letters = "12x" + good.substr(good.find(' '));
  std::string rows31 = good.substr(0, good.rfind('\n', good.size() - 2) + 1);
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    int exitCode;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"trailing blank before newline", {"--s", "1"}, trailingBlank, 0, ""},
      {"no --s", {}, good, 2, "--s"},
      {"--s without value", {"--s"}, good, 2, "--s"},
      {"--s not a number", {"--s", "abc"}, good, 2, "abc"},
      {"--s not finite", {"--s", "nan"}, good, 2, "nan"},
      {"unknown option", {"--s", "1", "--bogus"}, good, 2, "--bogus"},
      {"two files", {"--s", "1", "a.txt", "b.txt"}, good, 2, "b.txt"},
      {"missing file", {"--s", "1", "/nonexistent/tables.txt"}, "", 1, "/nonexistent/tables.txt"},
#ifdef _WIN32
      {"a folder", {"--s", "1", "/"}, "", 1, "cannot open /"},  // Windows refuses to open a folder
#else
      {"a folder", {"--s", "1", "/"}, "", 1, "cannot read"},
#endif
      {"13 values", {"--s", "1"}, thirteen, 1, "line 1"},
      {"value 256", {"--s", "1"}, big, 1, "'256'"},
      {"value -1", {"--s", "1"}, negative, 1, "'-1'"},
      {"value 12x", {"--s", "1"}, letters, 1, "'12x'"},
      {"31 rows", {"--s", "1"}, rows31, 1, "31 rows"},
      {"second table short", {"--s", "1"}, good + "\n" + rows31, 1, "table 2"},
      {"35 rows without --extended", {"--s", "1"}, goodExt, 1, "35 rows"},
      {"32 rows with --extended", {"--s", "1", "--extended"}, good, 1, "32 rows"},
      {"empty input", {"--s", "1"}, "\n \n", 1, "no table"},
  };
  for (const Case& k : cases) {
    ToolRun run = RunTool(k.args, k.input);
    EXPECT_EQ(run.exitCode, k.exitCode) << k.name << ": " << run.err;
    EXPECT_NE(run.err.find(k.message), std::string::npos) << k.name << ": " << run.err;
    if (k.exitCode != 0) {
      EXPECT_EQ(run.out, "") << k.name;
      EXPECT_FALSE(run.err.empty()) << k.name;
    }
  }
}

#ifndef _WIN32  // SciPy for the build machine's python3
// SciPy's RectBivariateSpline (FITPACK) on the same tables must give the same
// codes, fp and cells. The check needs SciPy for /usr/bin/python3; without it
// the test fails and says so.
TEST(ZrmtoolSmooth, AgreesWithScipyRectBivariateSpline) {
  const std::string cmd = std::string(ZRM_TEST_PYTHON) + " " + Quote(std::string(ZRM_SOURCE_DIR) +
                          "/tests/scipy_smooth_check.py") + " " + Quote(ZRMTOOL_PATH) + " 2>&1";
  std::FILE* pipe = popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status)) << output;
  int exitCode = WEXITSTATUS(status);
  ASSERT_NE(exitCode, 3) << "SciPy is missing for " << ZRM_TEST_PYTHON << ":\n" << output;
  EXPECT_EQ(exitCode, 0) << output;
  EXPECT_NE(output.find("all "), std::string::npos) << output;
  std::printf("%s", output.c_str());
}
#endif  // !_WIN32

#endif  // ZRMTOOL_PATH

}  // namespace
}  // namespace zrm
