// The BPC fuel calculator: the worked examples of the calculator's manual,
// rows without a value, the clipboard text, the number fields, the painter's
// placement and zrmtool bpc.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuelcalc/bpc.h"
#include "fuelcalc/bpc_painter.h"
#include "recording_canvas.h"
#include "test_support.h"

namespace zrm {
namespace {

UtilitySettings Defaults() { return UtilitySettings{}; }

// The known answers: TBI, 8 cylinders, 350 ci, 13.0 psi, 2 injectors of
// 61.0 #/hr, unless the case changes them.
const std::vector<int> kVacRefRows = {136, 140, 145, 149, 155, 161, 167, 175, 183,
                                      193, 205, 219, 237, 260, 291, 337, 416};

struct WorkedExample {
  const char* name;
  UtilitySettings inputs;
  std::vector<int> vac;    // 17 rows, or one value for all
  std::vector<int> boost;  // 11 rows, or one value for all
  double single, total, hp, litres;
};

UtilitySettings With(void (*change)(UtilitySettings&)) {
  UtilitySettings s;
  change(s);
  return s;
}

std::vector<WorkedExample> WorkedExamples() {
  return {
      {"defaults", Defaults(), {136}, {136}, 61.0, 122.0, 230.0, 5.7},
      {"vacref_1bar", With([](UtilitySettings& s) { s.vacuumReference = 1; }), kVacRefRows, {136}, 61.0, 122.0,
       230.0, 5.7},
      {"vacref_2bar", With([](UtilitySettings& s) { s.vacuumReference = 1, s.mapBar = 2; }), kVacRefRows,
       {94, 96, 99, 102, 106, 109, 113, 118, 123, 129, 136}, 61.0, 122.0, 230.0, 5.7},
      {"vacref_3bar", With([](UtilitySettings& s) { s.vacuumReference = 1, s.mapBar = 3; }), kVacRefRows,
       {76, 79, 82, 85, 89, 94, 99, 106, 113, 123, 136}, 61.0, 122.0, 230.0, 5.7},
      // A boost sensor without a vacuum-referenced regulator: one pressure.
      {"no_vacref_3bar", With([](UtilitySettings& s) { s.mapBar = 3; }), {136}, {136}, 61.0, 122.0, 230.0, 5.7},
      {"mpfi", With([](UtilitySettings& s) { s.injectionType = 1, s.fuelPressure = 435, s.injectorFlow = 240; }),
       {173}, {173}, 24.0, 192.0, 363.0, 5.7},
      // MPFI counts cylinders, not the TBI injector setting, even when that is 0.
      {"mpfi_ignores_injector_count",
       With([](UtilitySettings& s) { s.injectionType = 1, s.fuelPressure = 435, s.injectorFlow = 240,
                                     s.injectorCount = 0; }),
       {173}, {173}, 24.0, 192.0, 363.0, 5.7},
  };
}

TEST(Bpc, WorkedExamples) {
  for (const WorkedExample& ex : WorkedExamples()) {
    SCOPED_TRACE(ex.name);
    const BpcResults r = ComputeBpc(ex.inputs);
    for (int i = 0; i < BPC_VAC_ROWS; ++i) {
      const int want = ex.vac.size() == 1 ? ex.vac[0] : ex.vac[static_cast<std::size_t>(i)];
      EXPECT_TRUE(r.vac[i].defined) << "vac row " << i;
      EXPECT_EQ(r.vac[i].value, want) << "vac row " << i;
    }
    for (int i = 0; i < BPC_BOOST_ROWS; ++i) {
      const int want = ex.boost.size() == 1 ? ex.boost[0] : ex.boost[static_cast<std::size_t>(i)];
      EXPECT_TRUE(r.boost[i].defined) << "boost row " << i;
      EXPECT_EQ(r.boost[i].value, want) << "boost row " << i;
    }
    char shown[96];
    std::snprintf(shown, sizeof shown, "%.1f %.1f %.0f %3.1f", r.singleFlow, r.totalFlow, r.horsepower, r.litres);
    char want[96];
    std::snprintf(want, sizeof want, "%.1f %.1f %.0f %3.1f", ex.single, ex.total, ex.hp, ex.litres);
    EXPECT_STREQ(shown, want);
  }
}

// Rows whose arithmetic has no value: shown "---", copied as 0, never an
// integer made from a NaN or an infinity.
struct UndefinedCase {
  const char* name;
  void (*change)(UtilitySettings&);
  std::vector<int> undefinedVac;  // rows of the VAC table without a value; {-1} for all
  bool boostUndefined;
};

TEST(Bpc, RowsWithoutValue) {
  const std::vector<UndefinedCase> cases = {
      // 10.0 psi minus 5 i x 0.14503: row 13 keeps 0.573 psi, row 14 is below 0.
      {"pressure_used_up_by_vacuum", [](UtilitySettings& s) { s.vacuumReference = 1, s.fuelPressure = 100; },
       {14, 15, 16}, false},
      {"no_fuel_pressure", [](UtilitySettings& s) { s.fuelPressure = 0; }, {-1}, true},
      {"no_cylinders", [](UtilitySettings& s) { s.cylinders = 0; }, {-1}, true},
      {"no_cylinders_no_displacement", [](UtilitySettings& s) { s.cylinders = 0, s.displacement = 0; }, {-1}, true},
      {"no_tbi_injectors", [](UtilitySettings& s) { s.injectorCount = 0; }, {-1}, true},
      {"no_flow", [](UtilitySettings& s) { s.injectorFlow = 0; }, {-1}, true},
      {"mpfi_no_cylinders", [](UtilitySettings& s) { s.injectionType = 1, s.cylinders = 0; }, {-1}, true},
      // Vacuum rows with no pressure left, boost rows that have some again.
      {"zero_pressure_with_boost",
       [](UtilitySettings& s) { s.vacuumReference = 1, s.mapBar = 2, s.fuelPressure = 0; }, {-1}, false},
  };
  for (const UndefinedCase& c : cases) {
    SCOPED_TRACE(c.name);
    UtilitySettings in;
    c.change(in);
    const BpcResults r = ComputeBpc(in);
    for (int i = 0; i < BPC_VAC_ROWS; ++i) {
      bool undefined = c.undefinedVac == std::vector<int>{-1};
      for (int row : c.undefinedVac) undefined = undefined || row == i;
      EXPECT_EQ(r.vac[i].defined, !undefined) << "vac row " << i;
    }
    if (c.boostUndefined) {
      for (int i = 0; i < BPC_BOOST_ROWS; ++i) EXPECT_FALSE(r.boost[i].defined) << "boost row " << i;
    }
    // Flows and horsepower stay plain numbers.
    EXPECT_TRUE(std::isfinite(r.singleFlow) && std::isfinite(r.totalFlow) && std::isfinite(r.horsepower));
  }
}

TEST(Bpc, ZeroPressureWithBoostKeepsBoostRowsButTheLast) {
  UtilitySettings in;
  in.vacuumReference = 1, in.mapBar = 2, in.fuelPressure = 0;
  const BpcResults r = ComputeBpc(in);
  // Row 10 is 0 kPa of boost: no pressure. Row 0 is 100 kPa: 14.503 psi.
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(r.boost[i].defined) << i;
  EXPECT_FALSE(r.boost[10].defined);
  // 1461.5 x (5.7354724 / 8) / (61 x sqrt(14.503 / 13) x 0.125998) + 0.5 = 129.5...
  EXPECT_EQ(r.boost[0].value, 129);
}

TEST(Bpc, UndefinedRowIsShownAsDashesAndCopiedAsZero) {
  UtilitySettings in;
  in.vacuumReference = 1, in.fuelPressure = 100;
  const BpcResults r = ComputeBpc(in);
  EXPECT_EQ(BpcCellText(r.vac[16]), "--- ");
  const std::string text = BpcCopyText(r, BpcTable::Vac, 4);
  EXPECT_EQ(text.substr(text.size() - 15), "  0\r\n  0\r\n  0\r\n");
}

TEST(Bpc, ShownValuesAreCappedCopiesAreNot) {
  UtilitySettings in;
  in.vacuumReference = 1;
  const BpcResults r = ComputeBpc(in);
  EXPECT_EQ(BpcCellText(r.vac[13]), "255 ");  // 260
  EXPECT_EQ(BpcCellText(r.vac[12]), "237 ");
  EXPECT_EQ(BpcCellText(r.vac[0]), "136 ");

  std::string version4;
  for (int v : kVacRefRows) version4 += (v < 100 ? " " : "") + std::to_string(v) + "\r\n";
  EXPECT_EQ(BpcCopyText(r, BpcTable::Vac, 4), version4);
  std::string version5;
  for (auto it = kVacRefRows.rbegin(); it != kVacRefRows.rend(); ++it) version5 += std::to_string(*it) + "\r\n";
  EXPECT_EQ(BpcCopyText(r, BpcTable::Vac, 5), version5);
  EXPECT_EQ(BpcCopyText(r, BpcTable::None, 4), "");
}

TEST(Bpc, CopyTextKeepsLongValuesWhole) {
  UtilitySettings in;
  in.displacement = 800, in.cylinders = 1, in.injectorFlow = 1, in.injectorCount = 1;
  const BpcResults r = ComputeBpc(in);
  ASSERT_TRUE(r.boost[0].defined);
  ASSERT_GE(r.boost[0].value, 10000);
  const std::string text = BpcCopyText(r, BpcTable::Boost, 5);
  EXPECT_EQ(text.substr(0, text.find("\r\n")), std::to_string(r.boost[10].value));
  EXPECT_EQ(static_cast<int>(text.size()), BPC_BOOST_ROWS * static_cast<int>(std::to_string(r.boost[0].value).size() + 2));
}

TEST(Bpc, BoostAxisLabels) {
  EXPECT_EQ(BoostAxisLabel(1, 0), 200);
  EXPECT_EQ(BoostAxisLabel(2, 10), 100);
  EXPECT_EQ(BoostAxisLabel(3, 0), 300);
  EXPECT_EQ(BoostAxisLabel(3, 10), 100);
}

TEST(Bpc, NumberFieldFilter) {
  struct Case {
    const char* typed;
    int maxChars;
    const char* kept;
    bool beeps;
  } cases[] = {
      {"13.0", 4, "13.0", false}, {"1a3", 4, "13", true},    {"13.5.2", 4, "13.5", true},
      {"13.5.", 4, "13.5", true}, {"4000", 3, "400", true},  {"", 4, "", false},
      {"-5", 4, "5", true},       {"..1", 4, ".1", true},    {"350", 3, "350", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    bool removed = false;
    EXPECT_EQ(FilterNumberField(c.typed, c.maxChars, &removed), c.kept);
    EXPECT_EQ(removed, c.beeps);
  }
}

TEST(Bpc, NumberFieldReading) {
  EXPECT_EQ(ReadNumberField("13.5", 10), 135);
  EXPECT_EQ(ReadNumberField("43.5", 10), 435);
  EXPECT_EQ(ReadNumberField("61", 10), 610);
  EXPECT_EQ(ReadNumberField("350.9", 1), 350);  // truncated
  EXPECT_EQ(ReadNumberField(".", 10), 0);
  EXPECT_EQ(ReadNumberField("", 1), 0);
  EXPECT_EQ(TenthsFieldText(130), "13.0");
  EXPECT_EQ(TenthsFieldText(5), " 0.5");
  EXPECT_EQ(DisplacementFieldText(350), "350");
}

TEST(BpcPainter, RowsPlacedForTheEditorVersion) {
  UtilitySettings in;
  in.vacuumReference = 1, in.mapBar = 3;
  const BpcResults r = ComputeBpc(in);
  for (int version : {4, 5}) {
    SCOPED_TRACE(version);
    in.editorVersion = version;
    test::RecordingCanvas canvas;
    PaintBpcWindow(canvas, in, r, BpcTable::None);
    // VAC row 0 (label 0) and row 16 (label 80); boost row 0 (300) and 10 (100).
    const int vac0 = version == 4 ? 94 : 478, vac16 = version == 4 ? 94 + 24 * 16 : 478 - 24 * 16;
    const int boost0 = version == 4 ? 94 : 334, boost10 = version == 4 ? 94 + 240 : 334 - 240;
    ASSERT_NE(canvas.TextAt(250, vac0), nullptr);
    EXPECT_EQ(canvas.TextAt(250, vac0)->text, "  0");
    EXPECT_EQ(canvas.TextAt(250, vac16)->text, " 80");
    EXPECT_EQ(canvas.TextAt(328, vac0 - 2)->text, "136 ");
    EXPECT_EQ(canvas.TextAt(328, vac16 - 2)->text, "255 ");  // 416, capped
    EXPECT_EQ(canvas.TextAt(328, vac16 - 2)->colour, BPC_VALUE_COLOUR);
    EXPECT_EQ(canvas.TextAt(328, vac16 - 2)->font, FontId::OemLarge);
    EXPECT_EQ(canvas.TextAt(442, boost0)->text, "300");
    EXPECT_EQ(canvas.TextAt(442, boost10)->text, "100");
    EXPECT_EQ(canvas.TextAt(520, boost0 - 2)->text, " 76 ");
    EXPECT_EQ(canvas.TextAt(520, boost10 - 2)->text, "136 ");
  }
}

TEST(BpcPainter, MiscDataAndLitres) {
  UtilitySettings in;
  in.injectionType = 1, in.fuelPressure = 435, in.injectorFlow = 240;
  test::RecordingCanvas canvas;
  PaintBpcWindow(canvas, in, ComputeBpc(in), BpcTable::None);
  ASSERT_NE(canvas.TextAt(631, 133), nullptr);
  EXPECT_EQ(canvas.TextAt(631, 133)->text, "  24.0 #/hr ");
  EXPECT_EQ(canvas.TextAt(631, 229)->text, " 192.0 #/hr ");
  EXPECT_EQ(canvas.TextAt(644, 309)->text, "  363 HP ");
  EXPECT_EQ(canvas.TextAt(130, 176)->text, "5.7L");
  EXPECT_EQ(canvas.TextAt(321, 6)->text, "BPC Calculation");
  bool dutyLine = false;
  for (const auto& t : canvas.texts) dutyLine = dutyLine || t.text == " @ 85% Inj DC";
  EXPECT_TRUE(dutyLine);
}

TEST(BpcPainter, ColumnHitAreas) {
  EXPECT_EQ(BpcColumnAt(302, 90), BpcTable::Vac);
  EXPECT_EQ(BpcColumnAt(381, 497), BpcTable::Vac);
  EXPECT_EQ(BpcColumnAt(301, 200), BpcTable::None);
  EXPECT_EQ(BpcColumnAt(250, 200), BpcTable::None);  // the axis labels do not select
  EXPECT_EQ(BpcColumnAt(494, 90), BpcTable::Boost);
  EXPECT_EQ(BpcColumnAt(530, 400), BpcTable::None);  // below the boost table
}

// ZRM_Utility.cfg: limits, fallbacks and start values, and what a save writes.
TEST(UtilityConfig, FallbacksStartValuesAndSave) {
  test::TempDir dir;
  const std::string path = dir.File("ZRM_Utility.cfg");
  UtilitySettings s;
  ConsoleServices console;
  // A missing file is created empty and every input keeps its start value.
  LoadConfig(MakeUtilityConfig(path, s, &console));
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(s, UtilitySettings{});
  EXPECT_EQ(s.editorVersion, 4);

  // Out of range: the key's fallback, which for the editor version is 5.
  test::WriteFileText(path, "[BPCTPVERSION] 7\r\n[BPCMAPBAR] 0\r\n[BPCCYLINDER] 9\r\n[BPCFUELPSI] 1001\r\n"
                            "[BPCINJECTORFLOW] 2000\r\n[XPOSHWND] -2\r\n");
  UtilitySettings read;
  LoadConfig(MakeUtilityConfig(path, read, &console));
  EXPECT_EQ(read.editorVersion, 5);
  EXPECT_EQ(read.mapBar, 1);
  EXPECT_EQ(read.cylinders, 8);
  EXPECT_EQ(read.fuelPressure, 130);
  EXPECT_EQ(read.injectorFlow, 2000);  // the limit itself is allowed
  EXPECT_EQ(read.mainWindowX, -1);

  // A number field can hold more than the file allows (99.9 psi fits, 1000
  // typed into the pressure field does not): the save writes the limit.
  read.fuelPressure = 10000;
  SaveConfig(MakeUtilityConfig(path, read, &console));
  EXPECT_EQ(test::ReadFileText(path),
            "[ID] ZRM Utility\r\n[XPOSHWND] -1\r\n[YPOSHWND] -1\r\n[BPCINJTYPE] 0\r\n[BPCCYLINDER] 8\r\n"
            "[BPCVACREF] 0\r\n[BPCDISPLACEMENT] 350\r\n[BPCFUELPSI] 1000\r\n[BPCNUMINJECTOR] 2\r\n"
            "[BPCINJECTORFLOW] 2000\r\n[BPCMAPBAR] 1\r\n[BPCTPVERSION] 5\r\n");
}

// zrmtool bpc against the same known answers.
class ZrmtoolBpc : public ::testing::Test {
 protected:
  void WriteConfig(const std::string& text) { test::WriteFileText(config_, text); }
  // Runs zrmtool bpc with the arguments; standard output in `out`.
  int Run(const std::string& args, std::string* out) {
    out->clear();
    return test::RunCommand(std::string(ZRMTOOL_PATH) + " bpc " + args + " 2>/dev/null", out);
  }
  test::TempDir dir_;
  std::string config_ = dir_.File("ZRM_Utility.cfg");
};

TEST_F(ZrmtoolBpc, TwoBarVacRefFromOptions) {
  WriteConfig("");
  std::string out;
  const int status = Run("--config " + config_ + " --vacref --map-bar 2", &out);
  EXPECT_EQ(status, 0);
  std::string want;
  for (int i = 0; i < 17; ++i) want += "vac " + std::to_string(5 * i) + " " + std::to_string(kVacRefRows[i]) + "\n";
  const int boost[] = {94, 96, 99, 102, 106, 109, 113, 118, 123, 129, 136};
  for (int i = 0; i < 11; ++i) want += "boost " + std::to_string(200 - 10 * i) + " " + std::to_string(boost[i]) + "\n";
  want += "litres 5.7 single 61.0 total 122.0 hp 230\n";
  EXPECT_EQ(out, want);
}

TEST_F(ZrmtoolBpc, InputsStartFromTheConfigurationAndOptionsOverride) {
  // The file asks for MPFI at 43.5 psi and 24 #/hr; the option then halves
  // the cylinders, which doubles the volume of each.
  WriteConfig("[BPCINJTYPE] 1\r\n[BPCFUELPSI] 435\r\n[BPCINJECTORFLOW] 240\r\n[BPCTPVERSION] 5\r\n");
  std::string out;
  int status = Run("--config " + config_, &out);
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find("vac 0 173\n"), std::string::npos) << out;
  EXPECT_NE(out.find("litres 5.7 single 24.0 total 192.0 hp 363\n"), std::string::npos) << out;
  status = Run("--config " + config_ + " --cylinders 4 --copy boost", &out);
  EXPECT_EQ(status, 0);
  // 730.75 x (5.7354724 / 4) / (24 x 0.125998) + 0.5 = 347.0...
  std::string want;
  for (int i = 0; i < 11; ++i) want += "347\r\n";
  EXPECT_EQ(out, want);
}

TEST_F(ZrmtoolBpc, CopyOrderFollowsTheEditor) {
  WriteConfig("");
  std::string out;
  const int status = Run("--config " + config_ + " --vacref --map-bar 3 --editor 5 --copy boost", &out);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "136\r\n123\r\n113\r\n106\r\n 99\r\n 94\r\n 89\r\n 85\r\n 82\r\n 79\r\n 76\r\n");
}

TEST_F(ZrmtoolBpc, UndefinedRowsAndBadOptions) {
  WriteConfig("");
  std::string out;
  int status = Run("--config " + config_ + " --vacref --psi 10", &out);
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find("vac 65 "), std::string::npos);
  EXPECT_NE(out.find("vac 70 ---\nvac 75 ---\nvac 80 ---\n"), std::string::npos) << out;
  status = Run("--config " + config_ + " --vacref --psi 10 --copy vac", &out);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out.substr(out.size() - 15), "  0\r\n  0\r\n  0\r\n");

  for (const char* bad : {"--map-bar 4", "--editor 3", "--psi -1", "--psi x", "--cylinders 2.5", "--copy both",
                          "--bogus", "--flow"}) {
    SCOPED_TRACE(bad);
    std::string ignored;
    EXPECT_EQ(Run("--config " + config_ + " " + bad, &ignored), 2);
  }
  EXPECT_EQ(Run("--config " + dir_.File("missing.cfg"), &out), 1);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("missing.cfg")));
}

}  // namespace
}  // namespace zrm
