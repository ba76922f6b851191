// The built-in devices of the ADC channels: the fifteen wideband
// O2 controllers and the six pressure senders with their conversions, the
// device list entry, and the rules of the "ADC Channels" page of the
// preferences dialog (combo texts, selection, at most one preferred channel
// per column, ApplyChannelPage), kept here so they are tested without a window.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/wideband_curves.h"
#include "shell/vistrel_config.h"

namespace zrm {

// AdcChannelConfig.type
constexpr int DEVICE_NONE = -1;
constexpr int DEVICE_WIDEBAND = 0;
constexpr int DEVICE_PRESSURE = 1;
constexpr int DEVICE_USER = 2;

constexpr int AVAILABLE_DEVICE_MAX = 64;

enum class WidebandKind { None, Linear, DiyNonLinear, Curve };

struct WidebandRow {
  int row;
  int id;  // the instance stored in [ADnINSTA]; TT-1 and DIY-WB share 1
  const char* name;
  WidebandKind kind;
  double slope;   // Linear: AFR = slope x V + offset
  double offset;
  CurveId curve;  // Curve
};

inline constexpr std::array<WidebandRow, 16> WIDEBAND_DEVICES = {{
    {0, 0, "No Device", WidebandKind::None, 0, 0, CurveId::WB0},
    {1, 1, "TT-1 WB      (0V=10:1 - 5V=20:1)", WidebandKind::Linear, 2.0, 10.0, CurveId::WB0},
    {2, 1, "DIY-WB Non-Linear", WidebandKind::DiyNonLinear, 0, 0, CurveId::WB0},
    {3, 2, "FJO/Holley WB Non-Linear", WidebandKind::Curve, 0, 0, CurveId::FJO},
    {4, 3, "AEM WB       (0V=10:1 - 5V=20:1)", WidebandKind::Linear, 2.0, 10.0, CurveId::WB0},
    {5, 10, "AFX WB        (0V=9:1 - 5V=16:1)", WidebandKind::Linear, 1.4, 9.0, CurveId::WB0},
    {6, 4, "PLX WB        (0V=10:1 - 5V=20:1)", WidebandKind::Linear, 2.0, 10.0, CurveId::WB0},
    {7, 5, "Innovate WB (0V=7.35 - 5V=22.39)", WidebandKind::Linear, 3.008, 7.35, CurveId::WB0},
    {8, 9, "Innovate WB (0V=10:1 - 5V=20:1)", WidebandKind::Linear, 2.0, 10.0, CurveId::WB0},
    {9, 6, "Zeitronix WB Non-Linear", WidebandKind::Curve, 0, 0, CurveId::ZNL},
    {10, 11, "Zeitronix WB (0V=9.6:1 - 5V=19.6:1)", WidebandKind::Linear, 2.0, 9.6, CurveId::WB0},
    {11, 12, "DynoJet WB  (0V=10:1 - 5V=18:1)", WidebandKind::Linear, 1.6, 10.0, CurveId::WB0},
    {12, 7, "   WB0   ", WidebandKind::Curve, 0, 0, CurveId::WB0},
    {13, 8, "   WB1   ", WidebandKind::Curve, 0, 0, CurveId::WB1},
    {14, 13, "   WB0a  ", WidebandKind::Curve, 0, 0, CurveId::WB0a},
    {15, 14, "   WB1a  ", WidebandKind::Curve, 0, 0, CurveId::WB1a},
}};

enum class PressureKind { None, HalfToFourHalf, BmFp, ZeroToFive, OneToFive };

struct PressureRow {
  int row;
  int id;
  const char* name;  // with its trailing blanks
  double fullScale;  // psi
  PressureKind kind;
};

inline constexpr std::array<PressureRow, 7> PRESSURE_DEVICES = {{
    {0, 0, "No Device                       ", 0, PressureKind::None},
    {1, 4, "Pressure   15 psi (0.5 - 4.5V)  ", 15, PressureKind::HalfToFourHalf},
    {2, 1, "Pressure   30 psi (0.5 - 4.5V)  ", 30, PressureKind::HalfToFourHalf},
    {3, 2, "Pressure  100 psi (0.5 - 4.5V)  ", 100, PressureKind::HalfToFourHalf},
    {4, 5, "BM_fp     100 psi (1.0 - 5.0V)  ", 100, PressureKind::BmFp},
    {5, 3, "0-5V:     0-30 psi (0.0 - 5.0V) ", 30, PressureKind::ZeroToFive},
    {6, 6, "1-5V:     0-100 psi (1.0 - 5.0V) ", 100, PressureKind::OneToFive},
}};

// The DIY-WB two-segment formula.
double DiyWidebandAfr(double volts);

// The conversion of a table row as written (a row without a conversion, or
// outside the table, gives 0.0); the channel conversion then replaces a
// negative or not-a-number result by 0.0 (BuiltInDeviceValue).
double WidebandAfr(int row, double volts);
double PressurePsi(int row, double volts);

// Step 2 of the conversion for types 0 and 1: the row's conversion, with a
// negative or not-a-number result read as 0.0. Other types give 0.0.
double BuiltInDeviceValue(int type, int row, double volts);

// One entry of the device list offered for a channel.
struct AvailableDevice {
  std::int32_t type = DEVICE_NONE;
  std::int32_t index = -1;
  std::int32_t instance = 0;
  std::string name;  // up to 51 characters
};

// BuildAvailableDevices as a function: "None", the wideband rows 1 to 15,
// the pressure rows 1 to 6, then every active user device in number order.
std::vector<AvailableDevice> BuildDeviceList(const std::array<UserDeviceSettings, USER_DEVICE_COUNT>& devices);

// ---- The "ADC Channels" page ----------------------------------------------

constexpr int FILTER_CHOICES = 11;  // shown numbers 0, 10, ... 100

// The filter combo box text at a list position (0 to 10): shown number
// 10 x position, "   %3d %%    (fast)" at 0, "   %3d %%  (slow)" at 100.
std::string FilterChoiceText(int position);
// The position selected for a filter weight: (100 - filter) / 10.
int FilterChoicePosition(int filter);
// ApplyChannelPage's filter: 100 minus the number at the start of the text.
int FilterFromChoiceText(const std::string& text);

// The list position a channel's device combo box selects: the first entry
// with the channel's type, ID and row index; failing that (a channel written
// by another program) the first with its type and ID; failing that 0 ("None").
// Matching the row keeps a DIY-WB channel DIY-WB although it shares its ID
// with TT-1.
int DeviceChoiceFor(const std::vector<AvailableDevice>& list, const AdcChannelSettings& channel);

// One row of the page as its controls stand.
struct ChannelPageRow {
  int device = 0;          // list position in the device combo box
  int filterPosition = 0;  // list position in the filter combo box
  bool wbPreferred = false;
  bool fpPreferred = false;
};
using ChannelPage = std::array<ChannelPageRow, ADC_CHANNEL_COUNT>;

// The page initialisation from the settings.
ChannelPage InitChannelPage(const std::vector<AvailableDevice>& list,
                            const std::array<AdcChannelSettings, ADC_CHANNEL_COUNT>& channels);

// A click on a preferred check box of `channel` that leaves it `checked`:
// the column's other box is unchecked, so at most one is checked.
enum class PreferredColumn { Wideband, FuelPressure };
void ClickPreferred(ChannelPage& page, PreferredColumn column, int channel, bool checked);

// ApplyChannelPage: each channel takes the selected entry's type, index,
// instance and name, the filter of its filter choice and the two flags.
void ApplyChannelPage(const ChannelPage& page, const std::vector<AvailableDevice>& list,
                      std::array<AdcChannelSettings, ADC_CHANNEL_COUNT>& channels);

}  // namespace zrm
