// The curve tables are the controllers' published tables, row for row; the
// lookup walks their voltage bands.
#include "devices/wideband_curves.h"

#include <cmath>

namespace zrm {
namespace {

// Voltages of rows 1 to 101 of each base curve; their AFR is 10.0 + 0.1 x (row - 1).
constexpr double kWB0Volts[CURVE_ROWS] = {
    0.4, 0.46, 0.53, 0.58, 0.65, 0.71, 0.77, 0.82, 0.87, 0.93, 0.98, 1.03, 1.09, 1.14, 1.2, 1.24, 1.29, 1.34,
    1.4, 1.46, 1.51, 1.56, 1.61, 1.66, 1.71, 1.75, 1.8, 1.84, 1.88, 1.92, 1.96, 2, 2.04, 2.08, 2.12, 2.15,
    2.18, 2.21, 2.25, 2.28, 2.3, 2.33, 2.36, 2.39, 2.41, 2.44, 2.46, 2.48, 2.5, 2.51, 2.53, 2.54, 2.56, 2.57,
    2.59, 2.6, 2.62, 2.63, 2.64, 2.66, 2.67, 2.69, 2.7, 2.71, 2.73, 2.74, 2.75, 2.77, 2.78, 2.79, 2.81, 2.82,
    2.83, 2.85, 2.87, 2.88, 2.89, 2.9, 2.92, 2.92, 2.94, 2.95, 2.96, 2.97, 2.98, 2.99, 3, 3.01, 3.02, 3.03,
    3.04, 3.05, 3.06, 3.07, 3.08, 3.09, 3.1, 3.11, 3.12, 3.13, 3.14,
};

constexpr double kWB1Volts[CURVE_ROWS] = {
    1.19, 1.235, 1.275, 1.31, 1.35, 1.39, 1.43, 1.46, 1.5, 1.53, 1.57, 1.6, 1.63, 1.665, 1.7, 1.73, 1.76,
    1.79, 1.825, 1.86, 1.895, 1.925, 1.955, 1.99, 2.025, 2.05, 2.075, 2.105, 2.135, 2.155, 2.185, 2.205,
    2.23, 2.255, 2.275, 2.3, 2.32, 2.34, 2.36, 2.375, 2.395, 2.41, 2.43, 2.45, 2.465, 2.48, 2.495, 2.51,
    2.515, 2.525, 2.535, 2.545, 2.555, 2.565, 2.575, 2.585, 2.59, 2.6, 2.61, 2.62, 2.63, 2.64, 2.65, 2.655,
    2.666, 2.67, 2.68, 2.69, 2.69, 2.7, 2.71, 2.72, 2.73, 2.735, 2.74, 2.75, 2.76, 2.76, 2.77, 2.78, 2.785,
    2.79, 2.8, 2.81, 2.81, 2.82, 2.83, 2.83, 2.84, 2.85, 2.85, 2.86, 2.87, 2.87, 2.88, 2.885, 2.89, 2.9,
    2.905, 2.91, 2.92,
};

constexpr double kZNLVolts[CURVE_ROWS] = {
    0.41, 0.46, 0.55, 0.62, 0.69, 0.79, 0.88, 0.93, 0.99, 1.04, 1.09, 1.14, 1.19, 1.24, 1.29, 1.33, 1.38,
    1.42, 1.47, 1.51, 1.56, 1.6, 1.64, 1.68, 1.72, 1.76, 1.8, 1.84, 1.88, 1.92, 1.95, 1.99, 2.02, 2.06, 2.09,
    2.12, 2.16, 2.19, 2.22, 2.26, 2.29, 2.32, 2.35, 2.38, 2.41, 2.44, 2.47, 2.5, 2.51, 2.53, 2.55, 2.56,
    2.58, 2.59, 2.61, 2.62, 2.64, 2.65, 2.66, 2.68, 2.69, 2.71, 2.72, 2.73, 2.75, 2.76, 2.77, 2.78, 2.8,
    2.81, 2.82, 2.83, 2.85, 2.86, 2.87, 2.88, 2.89, 2.9, 2.91, 2.92, 2.93, 2.95, 2.96, 2.97, 2.98, 2.99, 3,
    3.01, 3.02, 3.03, 3.04, 3.05, 3.06, 3.07, 3.08, 3.09, 3.1, 3.105, 3.11, 3.12, 3.13,
};

constexpr double kFJOVolts[CURVE_ROWS] = {
    0.8, 0.84, 0.88, 0.93, 0.97, 1.01, 1.06, 1.1, 1.14, 1.18, 1.22, 1.26, 1.3, 1.34, 1.38, 1.42, 1.46, 1.5,
    1.54, 1.57, 1.61, 1.65, 1.68, 1.72, 1.76, 1.79, 1.83, 1.86, 1.9, 1.93, 1.97, 2, 2.04, 2.07, 2.1, 2.14,
    2.17, 2.2, 2.24, 2.27, 2.3, 2.33, 2.36, 2.4, 2.43, 2.46, 2.49, 2.5, 2.51, 2.52, 2.54, 2.56, 2.58, 2.59,
    2.6, 2.61, 2.62, 2.64, 2.65, 2.66, 2.67, 2.68, 2.7, 2.71, 2.72, 2.73, 2.74, 2.75, 2.77, 2.78, 2.79, 2.8,
    2.81, 2.82, 2.83, 2.84, 2.85, 2.86, 2.87, 2.89, 2.9, 2.91, 2.92, 2.93, 2.94, 2.95, 2.96, 2.97, 2.98,
    2.99, 3, 3.01, 3.02, 3.03, 3.04, 3.05, 3.06, 3.07, 3.08, 3.09, 3.1,
};

// AFR of rows 1 to 101 of WB0a and WB1a (which use the voltages of WB0 and WB1).
constexpr double kVariantAfr[CURVE_ROWS] = {
    9.6, 9.7, 9.8, 9.9, 10, 10.1, 10.2, 10.3, 10.4, 10.5, 10.6, 10.6, 10.7, 10.8, 10.9, 11, 11.1, 11.2, 11.3,
    11.4, 11.5, 11.6, 11.7, 11.8, 11.9, 12, 12.1, 12.2, 12.3, 12.4, 12.5, 12.6, 12.7, 12.8, 12.9, 12.9, 13,
    13.1, 13.2, 13.3, 13.4, 13.5, 13.6, 13.7, 13.8, 13.9, 14, 14.1, 14.2, 14.3, 14.4, 14.5, 14.6, 14.7, 14.8,
    14.9, 15, 15.1, 15.2, 15.3, 15.3, 15.4, 15.5, 15.6, 15.7, 15.8, 15.9, 16, 16.1, 16.2, 16.3, 16.4, 16.5,
    16.6, 16.7, 16.8, 16.9, 17, 17.1, 17.2, 17.3, 17.4, 17.5, 17.6, 17.6, 17.7, 17.8, 17.9, 18, 18.1, 18.2,
    18.3, 18.4, 18.5, 18.6, 18.7, 18.8, 18.9, 19, 19.1, 19.2,
};

std::array<CurvePoint, CURVE_POINTS> MakeCurve(const double* volts, const double* afr) {
  std::array<CurvePoint, CURVE_POINTS> points{};
  points[0] = {0.0, 0.0};
  for (int row = 1; row <= CURVE_ROWS; ++row) {
    // 10.0 + 0.1 x (row - 1), rounded to the tenth the table prints.
    const double base = std::round(100.0 + (row - 1)) / 10.0;
    points[static_cast<std::size_t>(row)] = {afr != nullptr ? afr[row - 1] : base, volts[row - 1]};
  }
  points[CURVE_POINTS - 1] = {25.5, 99.9};
  return points;
}

}  // namespace

const std::array<CurvePoint, CURVE_POINTS>& CurvePoints(CurveId curve) {
  static const std::array<CurvePoint, CURVE_POINTS> wb0 = MakeCurve(kWB0Volts, nullptr);
  static const std::array<CurvePoint, CURVE_POINTS> wb1 = MakeCurve(kWB1Volts, nullptr);
  static const std::array<CurvePoint, CURVE_POINTS> znl = MakeCurve(kZNLVolts, nullptr);
  static const std::array<CurvePoint, CURVE_POINTS> fjo = MakeCurve(kFJOVolts, nullptr);
  static const std::array<CurvePoint, CURVE_POINTS> wb0a = MakeCurve(kWB0Volts, kVariantAfr);
  static const std::array<CurvePoint, CURVE_POINTS> wb1a = MakeCurve(kWB1Volts, kVariantAfr);
  switch (curve) {
    case CurveId::WB0: return wb0;
    case CurveId::WB1: return wb1;
    case CurveId::ZNL: return znl;
    case CurveId::FJO: return fjo;
    case CurveId::WB0a: return wb0a;
    case CurveId::WB1a: return wb1a;
  }
  return wb0;
}

double CurveAfr(CurveId curve, double volts) {
  const std::array<CurvePoint, CURVE_POINTS>& p = CurvePoints(curve);
  if (!(volts >= p[1].volts)) return CURVE_BELOW;  // also a voltage that is not a number
  if (volts > p[CURVE_ROWS].volts) return CURVE_ABOVE;
  // The first row whose band [lower, upper) holds V. Rows that share a
  // voltage: the earlier one's band ends at that voltage (upper = V), so the
  // later row wins at exactly it. The bands meet (upper of row k is lower of
  // row k+1 up to rounding); a voltage caught between the two by rounding
  // belongs to the next row.
  for (int k = 1; k <= CURVE_ROWS; ++k) {
    const double v = p[static_cast<std::size_t>(k)].volts;
    const double upper = v + (p[static_cast<std::size_t>(k + 1)].volts - v) / 2.0;
    if (volts < upper) return p[static_cast<std::size_t>(k)].afr;
  }
  return CURVE_ABOVE;  // not reached: the closing pair's band holds every V in range
}

}  // namespace zrm
