// The non-linear wideband O2 curves (WB0, WB1, ZNL, FJO and the
// WB0a and WB1a variants) and their band lookup.
//
// Each curve is an ordered list of (AFR, volts) pairs: row 0 is (0, 0), rows
// 1 to 101 hold the curve, and a closing pair (25.5, 99.9) follows. A voltage
// reads the AFR of the row whose band holds it, the band of row k running
// from halfway to row k-1 up to (not including) halfway to row k+1. There is
// no interpolation. Where two rows share a voltage, the later row wins at
// exactly that voltage.
#pragma once

#include <array>

namespace zrm {

enum class CurveId { WB0, WB1, ZNL, FJO, WB0a, WB1a };

constexpr int CURVE_ROWS = 101;                 // rows 1 to 101
constexpr int CURVE_POINTS = CURVE_ROWS + 2;    // with row 0 and the closing pair
constexpr double CURVE_BELOW = 0.0;             // V below row 1
constexpr double CURVE_ABOVE = 25.5;            // V above row 101

struct CurvePoint {
  double afr;
  double volts;
};

// The 103 points of a curve: row 0, rows 1 to 101, the closing pair.
const std::array<CurvePoint, CURVE_POINTS>& CurvePoints(CurveId curve);

// The AFR that `volts` reads on a curve.
double CurveAfr(CurveId curve, double volts);

}  // namespace zrm
