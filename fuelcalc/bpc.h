// The BPC fuel calculator: from the engine and injector inputs, the base
// pulse constant (BPC) tables against manifold vacuum and against boost, the
// injector flows and the horsepower they support, and the clipboard text a
// calibration editor pastes.
//
// BPC for an effective fuel pressure Pe (psi):
//   G * (litres / cylinders) / (flow * sqrt(Pe / ratingPressure) * 0.12599788888888888)
// plus 0.5, truncated. TBI: rating 13.0 psi, G = 1461.5 / (injectors * 0.5);
// MPFI: rating 43.5 psi, G = 730.75. With a vacuum-referenced regulator the
// pressure across the injector falls by 0.14503 psi per kPa of vacuum and
// rises by as much per kPa of boost.
//
// A row has no value when its effective pressure is zero or below (a
// regulator set below the deepest vacuum rows), when a divisor (cylinders,
// injectors, flow) is zero, or when the quotient does not fit the table's
// integers; such a row is shown as "---" and copied as 0.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "fuelcalc/utility_config.h"

namespace zrm {

constexpr int BPC_VAC_ROWS = 17;    // 0 to 80 kPa of vacuum in steps of 5
constexpr int BPC_BOOST_ROWS = 11;  // the boost axis of the MAP sensor's range

constexpr double CUBIC_INCHES_TO_LITRES = 0.016387064;
constexpr double PSI_PER_KPA = 0.14503;
constexpr double TBI_RATING_PSI = 13.0;
constexpr double MPFI_RATING_PSI = 43.5;
constexpr double BPC_FACTOR = 0.12599788888888888;
constexpr double FLOW_TO_HP = 2.2222222222222223;  // 1 / 0.45 BSFC
constexpr double INJECTOR_DUTY = 0.85;

// Largest value the table shows; the copy is not capped.
constexpr int BPC_SHOWN_MAX = 255;

// One table row: its value, or none (shown "---", copied as 0).
struct BpcCell {
  std::int32_t value = 0;
  bool defined = false;
  bool operator==(const BpcCell&) const = default;
};

struct BpcResults {
  std::array<BpcCell, BPC_VAC_ROWS> vac{};
  std::array<BpcCell, BPC_BOOST_ROWS> boost{};
  double singleFlow = 0.0;  // one injector at 0 kPa vacuum, pounds per hour
  double totalFlow = 0.0;   // all injectors
  double horsepower = 0.0;  // what that flow supports
  double litres = 0.0;      // the displacement in litres
};

enum class BpcTable { None, Vac, Boost };

// All results from the inputs, in double precision.
BpcResults ComputeBpc(const UtilitySettings& inputs);

// The BPC for one effective pressure, or an undefined cell (see above).
BpcCell BpcForPressure(const UtilitySettings& inputs, double effectivePressure);

// The absolute pressure (kPa) of boost row i as the axis shows it: 200 - 10 i
// for a 1- or 2-bar sensor, 300 - 20 i for a 3-bar sensor.
int BoostAxisLabel(int mapBar, int row);
// The vacuum (kPa) of VAC row i: 5 i.
inline int VacAxisLabel(int row) { return 5 * row; }

// A table value as drawn ("%3d "), capped at 255, or "--- " for no value.
std::string BpcCellText(const BpcCell& cell);

// The rows of a table in clipboard (and top-to-bottom screen) order: row 0
// first for editor version 4, last for version 5.
std::vector<int> BpcRowOrder(int editorVersion, int rows);

// The clipboard text of a table: one "%3d\r\n" line per row in the editor's
// order, undefined rows as 0, values not capped. Empty for BpcTable::None.
std::string BpcCopyText(const BpcResults& results, BpcTable table, int editorVersion);

// The Help box's lines.
const std::vector<std::string>& BpcHelpLines();

// Number-field filtering: what is left of `text` when only digits and the
// first decimal point are kept, at most `maxChars` characters. `removed` is
// set when anything was taken out (the field then beeps).
std::string FilterNumberField(const std::string& text, int maxChars, bool* removed);

// A number field's text read as a decimal number and scaled: the stored
// value is text * scale, truncated (scale 1 for displacement, 10 for pressure
// and flow). Empty text or a lone point reads as 0.
std::int32_t ReadNumberField(const std::string& text, int scale);

// The texts the number fields show: "%d" for displacement, "%4.1f" of the
// tenths for pressure and flow.
std::string DisplacementFieldText(std::int32_t displacement);
std::string TenthsFieldText(std::int32_t tenths);

}  // namespace zrm
