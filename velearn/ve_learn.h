// VE learn: correction samples from live frames on a fine RPM x MAP grid, a
// correction factor per VE table cell computed from the grid, and the
// learned table written into a new BIN.
//
// LearnGrid: 288 rows x 81 columns. Rows 0..223 are 400..5975 RPM in 25-RPM
// steps (rpmFine - 16); with the extended VE table rows 224..287 are
// 6000..7968.75 RPM in 31.25-RPM steps (rpmHigh + 32). Columns are MAP in
// whole kPa minus 20 (20..100 kPa). A cell keeps the running half-average of
// its samples (128 = no correction, 0 = no sample) and their count.
//
// A frame becomes a sample only when it passes the filter in a fixed order:
// coolant window, transient flags and their 34-frame hold-off, MAP or TPS
// steps of more than 5, low RPM, boost, and then by input: BLM (closed loop
// with the block learn enabled, the integrator not pulling against the BLM)
// or WB (open loop, BLM at 128, measured AFR against commanded AFR). Some
// refusals remember the frame's MAP and TPS for the next step test, some do
// not; the order and which do is the learning's behaviour and is kept.
//
// Threads: VeLearnFrame and the auto-save run on the DisplayThread, the menu
// commands, the display's paint and "Clear Data" on the window thread. The
// tables sit behind one lock; nothing that can wait on the window (a message
// box, a paint of the surface) is done while it is held.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "displays/preferred_channels.h"
#include "link/runtime_record.h"
#include "platform/services.h"
#include "shell/vistrel_config.h"
#include "velearn/bin_ve_table.h"
#include "velearn/smoother.h"
#include "velearn/ve_table.h"

namespace zrm {

constexpr int LEARN_GRID_ROWS = 288;
constexpr int LEARN_GRID_COLUMNS = 81;
constexpr int LEARN_GRID_EXTENDED_ROW = 224;  // first row of the 31.25-RPM steps

constexpr int LEARN_INPUT_BLM = 0;
constexpr int LEARN_INPUT_WB = 1;

constexpr int TRANSIENT_HOLD_OFF_FRAMES = 34;
constexpr int COMPUTE_EVERY_FRAMES = 17;
constexpr int MAX_MAP_STEP = 5;  // kPa
constexpr int MAX_TPS_STEP = 5;  // percent

constexpr double GAIN_BLM = 0.66667;
constexpr double GAIN_WB = 1.0;
constexpr std::uint32_t CORRECTION_NONE = 128;
constexpr std::uint32_t CORRECTION_MIN = 112;
constexpr std::uint32_t CORRECTION_MAX = 144;
constexpr std::uint32_t MIN_WEIGHTED_COUNT = 15;

// Weights of the grid cells around a VE cell: rows along RPM, columns along MAP.
using WeightRow = std::array<std::uint32_t, 9>;
inline constexpr std::array<WeightRow, 9> WEIGHT_TABLE_A = {{
    {1, 1, 1, 1, 1, 1, 1, 1, 1},
    {1, 2, 2, 2, 2, 2, 2, 2, 1},
    {1, 2, 3, 3, 3, 3, 3, 2, 1},
    {1, 2, 3, 4, 4, 4, 3, 2, 1},
    {1, 2, 3, 4, 5, 4, 3, 2, 1},
    {1, 2, 3, 4, 4, 4, 3, 2, 1},
    {1, 2, 3, 3, 3, 3, 3, 2, 1},
    {1, 2, 2, 2, 2, 2, 2, 2, 1},
    {1, 1, 1, 1, 1, 1, 1, 1, 1},
}};
// Table A stretched along RPM for the wide high-RPM rows; row 8 is the peak.
inline constexpr std::array<WeightRow, 17> WEIGHT_TABLE_B = {{
    WEIGHT_TABLE_A[0], WEIGHT_TABLE_A[0], WEIGHT_TABLE_A[1], WEIGHT_TABLE_A[1], WEIGHT_TABLE_A[2], WEIGHT_TABLE_A[2],
    WEIGHT_TABLE_A[3], WEIGHT_TABLE_A[3], WEIGHT_TABLE_A[4], WEIGHT_TABLE_A[5], WEIGHT_TABLE_A[5], WEIGHT_TABLE_A[6],
    WEIGHT_TABLE_A[6], WEIGHT_TABLE_A[7], WEIGHT_TABLE_A[7], WEIGHT_TABLE_A[8], WEIGHT_TABLE_A[8],
}};

// Why a frame taught nothing; counted by VeLearnFrame for zrmtool's summary.
enum VeLearnRefusal {
  REFUSED_NOT_LEARNING,  // learning off
  REFUSED_ENGINE_OFF,    // engine not running
  REFUSED_COOLANT,
  REFUSED_TRANSIENT,     // AE/DE flag or its hold-off
  REFUSED_STEP,          // MAP or TPS step
  REFUSED_LOW_RPM,
  REFUSED_BOOST,
  REFUSED_LOOP,          // open loop (BLM input) or closed loop (WB input)
  REFUSED_INTEGRATOR,
  REFUSED_BLM_NOT_128,
  REFUSED_NO_COMMANDED_AFR,
  REFUSAL_KINDS
};

struct VeLearnTally {
  std::uint64_t frames = 0;   // frames seen by VeLearnFrame
  std::uint64_t samples = 0;  // samples stored in the grid
  std::array<std::uint64_t, REFUSAL_KINDS> refused{};
};

// MAP in kPa as VE learn sees it: truncate(mapGauge x 0.3125 + 20.5), at most 100.
int VeLearnMap(std::uint8_t mapGauge);
// TPS in percent: truncate(tpsRaw x 0.390625 + 0.5).
int VeLearnTps(std::uint8_t tpsRaw);

struct GridPosition {
  int row;
  int column;
};
// The LearnGrid cell of a frame.
GridPosition LearnGridPosition(const std::uint8_t* frame, bool extended);

// The VE table cell (row 1..35, column 1..14) nearest a LearnGrid cell, as
// the display highlights it.
struct TableCell {
  int row;
  int column;
};
TableCell HighlightCellFor(int gridRow, int gridColumn);

// The correction factor for a weighted average `average` (128 scale) with
// the gain of `input`, clamped to 112..144.
std::uint32_t CorrectionFromAverage(std::uint32_t average, int input);

// The destination name StartVeLearn proposes for a source file name (no
// folder) whose calibration identifier is `calibrationId`.
std::string ProposeDestinationName(const std::string& sourceName, int calibrationId);

// The chosen destination path as kept: a trailing '.' removed, ".bin" added
// when the name then has no extension.
std::string CompleteDestinationPath(const std::string& chosen);

// What the display shows, copied under the lock.
struct VeLearnSnapshot {
  VeTable base{};
  VeTable learned{};
  VeTable correction{};
  bool extended = false;
  int gridRow = 0;
  int gridColumn = 0;
  bool sampleStored = false;
  bool blmWarning = false;
  std::array<std::string, 3> overflow;
  int map = 20;  // the last frame's VE-learn MAP
};

// Views of the display.
constexpr int VE_VIEW_ORIGINAL = 0;
constexpr int VE_VIEW_LEARNED = 1;
constexpr int VE_VIEW_CORRECTIONS = 2;

// The view's title text (with its blanks).
const char* VeViewTitle(int view);
// The header line: "RPM/MAP" and "%3d " per MAP column.
std::string VeHeaderLine(const VeTable& axes);
// One cell's text in a view: "%3d " of the VE percent, or for corrections
// "  . " when none, else "%3d " of the signed percent.
std::string VeCellText(const VeLearnSnapshot& s, int view, int row, int column);
// One table row: "%4d   " with the row's RPM, then the cells.
std::string VeRowLine(const VeLearnSnapshot& s, int view, int row);

// The process-wide VE learn state. The program keeps one; tests make their own.
class VeLearn {
 public:
  // settings: read and written on the window thread; the values the
  // DisplayThread needs are taken by ReloadSettings. record: engine-running
  // state, MAP sensor range. preferred: the WB AFR reading (none: 0).
  VeLearn(VistrelSettings& settings, const RuntimeRecord& record, PlatformServices* services,
          const PreferredChannels* preferred = nullptr);
  ~VeLearn();
  VeLearn(const VeLearn&) = delete;
  VeLearn& operator=(const VeLearn&) = delete;

  // Window thread: takes [LRNLWR], [LRNUPR], [LRNINP], [SMOOTHFAC],
  // [AUTOVTIME] and the update divisor for the DisplayThread.
  void ReloadSettings();
  void SetPreferredChannels(const PreferredChannels* preferred) { preferred_.store(preferred); }

  // Calls out, each optional; set before the DisplayThread starts.
  std::function<void()> drawDisplay;           // DisplayThread: paint the shown display's values
  std::function<void()> requestRepaint;        // the main window repaints (invalidate, erase)
  std::function<void()> saveConfig;            // after a BIN has been chosen
  std::function<void(bool learning)> menuChanged;  // the File menu items and a redraw
  std::function<int()> secondsNow;             // the program's 1-second clock
  std::function<void(int)> setNextAutoSave;    // the dispatcher's auto-save time
  ReplaceFault replaceFault;                   // checks: a step of the BIN write fails

  // DisplayThread, every frame; active is 1 while the VE learn display is
  // current. Returns 0.
  int VeLearnFrame(const std::uint8_t* frame, int active);
  // Recomputes the corrections and the learned table from the grid. Returns 0.
  int ComputeVeCorrections();
  // The weighted grid average around a VE cell in the 128 scale, 0 when the
  // cells hold too few samples.
  std::uint32_t CellCorrection(std::uint32_t rpm, std::uint32_t map) const;

  // Reads the VE table of a BIN as the new base. 0, or -1 when the file
  // cannot be opened, positioned or closed.
  int ReadBinVeTable(const std::string& path);
  // Writes the learned table (smoothed when [SMOOTHFAC] is above 0) into the
  // destination, made from the source when it does not exist yet. The new
  // file is written beside the destination and replaces it in one step, so
  // a failure (-1) leaves the old destination as it was. 0 or -1.
  int WriteBinVeTable(const std::string& sourcePath, const std::string& destinationPath, int calibrationId);
  int ClearVeLearnData();

  // File menu commands (window thread).
  void StartVeLearn();
  // Ends learning and writes the table: 0, or -1 when the write failed (the
  // user has been told). Not learning: nothing, 0.
  int StopVeLearn();
  // The dispatcher's auto-save, when the AutoUpdate switch is on and due.
  void AutoSaveVeLearn();
  // At exit: the table is written silently when learning runs.
  void VeLearnAtExit();
  // Learning from a known source and destination without the dialogs (the
  // offline command): reads the source table and clears the data. 0, or -1
  // when the table cannot be read.
  int BeginLearning(const std::string& sourcePath, const std::string& destinationPath, int calibrationId);

  bool Learning() const { return learning_.load(std::memory_order_acquire) != 0; }
  const std::string& SourcePath() const { return settings_.learnVe.path; }
  const std::string& DestinationPath() const { return settings_.newVe.path; }
  int CalibrationId() const { return calibrationId_; }
  int LearnInput() const { return learnInput_.load(std::memory_order_relaxed); }

  // The display's state, after recomputing the corrections when asked.
  VeLearnSnapshot Snapshot(bool computeFirst);
  VeLearnTally Tally() const;

  // The grid, for checks and for setting up cases.
  std::uint32_t LearnValue(int row, int column) const;
  std::uint32_t LearnCount(int row, int column) const;
  void SetLearnCell(int row, int column, std::uint32_t value, std::uint32_t count);
  void SetBaseVe(int row, int column, std::uint32_t value);
  void SetExtended(bool extended);

  std::atomic<int> view{VE_VIEW_ORIGINAL};  // the display's current view

 private:
  struct Grid;
  int VeLearnFrameLocked(const std::uint8_t* frame);
  std::uint32_t CellCorrectionLocked(std::uint32_t rpm, std::uint32_t map) const;
  void ComputeLocked();
  void ClearLocked();
  void Refuse(VeLearnRefusal reason) { ++tally_.refused[reason]; }
  void ShowMessage(const char* caption, const char* text);
  void SetLearning(bool on) { learning_.store(on ? 1 : 0, std::memory_order_release); }

  VistrelSettings& settings_;
  const RuntimeRecord& record_;
  PlatformServices* services_;
  std::atomic<const PreferredChannels*> preferred_;

  // Settings the DisplayThread reads.
  std::atomic<int> tempLow_{75};
  std::atomic<int> tempHigh_{110};
  std::atomic<int> learnInput_{LEARN_INPUT_BLM};
  std::atomic<int> updateDivisor_{3};
  std::atomic<int> smoothFactor_{5};
  std::atomic<int> autoSaveMinutes_{5};
  std::atomic<int> autoSaveOn_{0};

  std::atomic<int> learning_{0};
  int calibrationId_ = 0;

  mutable std::mutex mutex_;
  VeTable base_{};
  LearnedVeTable learned_{};
  VeTable correction_{};
  std::unique_ptr<Grid> grid_;
  std::unique_ptr<SmootherState> smoother_;
  int previousMap_ = 0;
  int previousTps_ = 0;
  int holdOff_ = 0;
  bool sampleStored_ = false;
  bool blmWarning_ = false;
  std::array<std::string, 3> overflow_;
  GridPosition position_{0, 0};
  int map_ = 20;
  int refreshCounter_ = 0;
  int computeCounter_ = 0;
  VeLearnTally tally_;
};

}  // namespace zrm
