#include "fuelcalc/bpc.h"

#include "config/config_file.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace zrm {

namespace {

struct InjectionTerms {
  double ratingPressure;  // psi at which the injector's flow is rated
  double g;               // the pulse numerator
  int injectors;          // injectors that share the fuel
};

InjectionTerms TermsFor(const UtilitySettings& in) {
  if (in.injectionType == 1) return {MPFI_RATING_PSI, 730.75, in.cylinders};
  return {TBI_RATING_PSI, 1461.5 / (in.injectorCount * 0.5), in.injectorCount};
}

double FuelPsi(const UtilitySettings& in) { return in.fuelPressure / 10.0; }
double FlowLbHr(const UtilitySettings& in) { return in.injectorFlow / 10.0; }

}  // namespace

BpcCell BpcForPressure(const UtilitySettings& in, double pe) {
  const InjectionTerms t = TermsFor(in);
  const double q = FlowLbHr(in);
  const double litres = in.displacement * CUBIC_INCHES_TO_LITRES;
  // No value where the arithmetic has none: no pressure across the injector,
  // or a zero divisor. Converting the NaN or infinity to an integer is not
  // defined, so such a row is marked instead.
  if (!(pe > 0.0) || in.cylinders == 0 || t.injectors == 0 || in.injectorFlow == 0) return {};
  const double perCylinder = litres / in.cylinders;
  const double bpc = t.g * perCylinder / (q * std::sqrt(pe / t.ratingPressure) * BPC_FACTOR) + 0.5;
  if (!std::isfinite(bpc) || bpc >= 2147483648.0) return {};
  return {static_cast<std::int32_t>(bpc), true};
}

BpcResults ComputeBpc(const UtilitySettings& in) {
  BpcResults r;
  const InjectionTerms t = TermsFor(in);
  const double p = FuelPsi(in);
  const double q = FlowLbHr(in);
  r.litres = in.displacement * CUBIC_INCHES_TO_LITRES;
  r.singleFlow = q * std::sqrt(p / t.ratingPressure);
  r.totalFlow = t.injectors * r.singleFlow;
  r.horsepower = r.totalFlow * FLOW_TO_HP * INJECTOR_DUTY;

  if (in.vacuumReference == 0) {
    const BpcCell flat = BpcForPressure(in, p);
    r.vac.fill(flat);
    r.boost.fill(flat);
    return r;
  }
  for (int i = 0; i < BPC_VAC_ROWS; ++i) r.vac[i] = BpcForPressure(in, p - 5 * i * PSI_PER_KPA);
  for (int i = 0; i < BPC_BOOST_ROWS; ++i) {
    if (in.mapBar == 2) {
      r.boost[i] = BpcForPressure(in, p + (100 - 10 * i) * PSI_PER_KPA);
    } else if (in.mapBar == 3) {
      r.boost[i] = BpcForPressure(in, p + (200 - 20 * i) * PSI_PER_KPA);
    } else {
      r.boost[i] = r.vac[0];  // a 1-bar sensor never sees boost
    }
  }
  return r;
}

int BoostAxisLabel(int mapBar, int row) { return mapBar == 3 ? 300 - 20 * row : 200 - 10 * row; }

std::string BpcCellText(const BpcCell& cell) {
  if (!cell.defined) return "--- ";
  char text[16];
  std::snprintf(text, sizeof text, "%3d ", cell.value > BPC_SHOWN_MAX ? BPC_SHOWN_MAX : cell.value);
  return text;
}

std::vector<int> BpcRowOrder(int editorVersion, int rows) {
  std::vector<int> order;
  order.reserve(static_cast<std::size_t>(rows));
  for (int i = 0; i < rows; ++i) order.push_back(editorVersion == 5 ? rows - 1 - i : i);
  return order;
}

std::string BpcCopyText(const BpcResults& results, BpcTable table, int editorVersion) {
  const BpcCell* cells = nullptr;
  int rows = 0;
  if (table == BpcTable::Vac) {
    cells = results.vac.data();
    rows = BPC_VAC_ROWS;
  } else if (table == BpcTable::Boost) {
    cells = results.boost.data();
    rows = BPC_BOOST_ROWS;
  }
  std::string text;
  for (int row : BpcRowOrder(editorVersion, rows)) {
    char line[24];
    std::snprintf(line, sizeof line, "%3d\r\n", cells[row].defined ? cells[row].value : 0);
    text += line;
  }
  return text;
}

const std::vector<std::string>& BpcHelpLines() {
  static const std::vector<std::string> lines = {
      "Fill in and Select the data in the group boxes along the left side.",
      "The BPC values in red may be copy and pasted into the BIN/Calibration editor.",
      "       Click on the BPC data and either Ctrl-C or ALT-E -> C. Then paste into your BIN/Calibration editor.",
      "Injection Type: select either a Throttle Body Injection (TBI) system or a Multi Port Fuel Injection (MPFI) "
      "system.",
      "Cylinders: select the number of cylinders the engine has.",
      "Displacement: enter the engine size in cubic inches. The size in liters will be calculated and shown.",
      "Fuel Pressure: enter the fuel pressure that is being used. This is with the vacuum line (if used) "
      "disconnected.",
      "VacRef: (TBI only), check box if the FPR is connected to an intake manifold vacuum source.",
      "Injector Flow Rate: enter the flow rate in pounds per hour (#/hr) of a single injector. ",
      "       This is at 13 psi for TBI and at 43.5 psi for MPFI.",
      "Number of Injectors: (TBI only), enter the total number of injectors in the system.",
      "MAP Sensor, Bar: select the range of the MAP sensor installed. Note: unless boosted it is likely a 1-bar MAP.",
      "Tuner Pro Version: sets whether BPC tables are ascending or descending.",
      "A row shown as --- has no BPC: the fuel pressure is used up by the vacuum, or cylinders, injectors or flow "
      "is 0.",
      "       Such a row is copied as 0.",
  };
  return lines;
}

std::string FilterNumberField(const std::string& text, int maxChars, bool* removed) {
  std::string kept;
  bool point = false;
  bool dropped = false;
  for (char c : text) {
    const bool digit = c >= '0' && c <= '9';
    const bool firstPoint = c == '.' && !point;
    if ((!digit && !firstPoint) || static_cast<int>(kept.size()) >= maxChars) {
      dropped = true;
      continue;
    }
    if (c == '.') point = true;
    kept += c;
  }
  if (removed != nullptr) *removed = dropped;
  return kept;
}

std::int32_t ReadNumberField(const std::string& text, int scale) {
  const double value = ParseConfigReal(text) * scale;
  // A field holds at most four characters, but a value read from elsewhere
  // must not overflow the integer either.
  if (!(value > 0.0)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

std::string DisplacementFieldText(std::int32_t displacement) { return std::to_string(displacement); }

std::string TenthsFieldText(std::int32_t tenths) {
  char text[32];
  std::snprintf(text, sizeof text, "%4.1f", tenths / 10.0);
  return text;
}

}  // namespace zrm
