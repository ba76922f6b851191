// The analysis display (display mode 5) of vistrel's main window: "View Log",
// "Dump Log", the "Single Header" and "Create .csv" boxes, "1/4 Mile",
// "Find Mark" and the table's scroll bar on the main window, the table drawn
// by the core, the mouse, wheel and keys that move it, and the "1/4 Mile
// Graph" window. Building the view and exporting run on a worker thread while
// the window shows the progress bar, repaints and refuses other input.
#pragma once

#include <QObject>
#include <QPoint>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis_table.h"
#include "analysis/log_export.h"
#include "analysis/view_file.h"
#include "config/config_file.h"

class QAbstractButton;
class QProgressBar;
class QScrollBar;
class QWidget;

namespace zrm {

class MainWindow;
class VistrelApp;
class QuarterMileWindow;

enum class AnalysisControl { ViewLog, DumpLog, SingleHeader, CreateCsv, QuarterMile, FindMark };

class AnalysisView : public QObject {
  Q_OBJECT

 public:
  AnalysisView(MainWindow& window, VistrelApp& app);
  ~AnalysisView() override;

  // OpenAnalysisDisplay: the frame source goes to the analysis file (the old
  // one is kept), the controls are made, "View Log" has the focus.
  void Open();
  // CloseAnalysisDisplay: controls and graph gone, the view file closed (and
  // so deleted), the frame source restored.
  void Close();
  bool IsOpen() const { return open_; }
  void Paint(Canvas& canvas);

  // The button commands.
  void ViewLog();
  void DumpLog();
  void ShowQuarterMile();
  void FindNextMark();
  // The units changed: the view is built again from the same log, the
  // selected row marked again and an open graph recomputed.
  void Relayout();

  AnalysisTable& Table() { return table_; }
  QWidget* Control(AnalysisControl id) const;
  QScrollBar* ScrollBar() const { return scroll_; }
  QuarterMileWindow* Graph() const { return graph_.get(); }
  bool Busy() const { return busy_.load(); }
  // The highest progress-bar value of the last pass, and its range.
  int LastProgress() const { return lastProgress_; }
  int LastProgressRange() const { return lastProgressRange_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  bool ChooseLog(const char* title, std::string* path);
  bool BuildView(const std::string& logPath);
  void Scroll(ScrollRequest request, long trackPosition = 0);
  void AfterScroll();
  void RedrawRows();
  void SyncScrollBar();
  void MoveFocus(bool backwards);
  bool FilterKey(QObject* watched, QEvent* event);
  bool FilterSurface(QEvent* event);
  bool RefuseInput(QObject* watched, QEvent* event);
  AnalysisResult RunWithProgress(std::int64_t logSize, const std::function<AnalysisResult(const ProgressStep&)>& pass);
  void ShowGraph();
  void Message(const AnalysisMessage& message);
  bool Wideband() const;

  MainWindow& window_;
  VistrelApp& app_;
  bool open_ = false;
  std::atomic<bool> busy_{false};
  int previousSource_ = 0;
  std::unique_ptr<ViewFile> view_;
  AnalysisTable table_;
  std::string viewName_;       // the log's file name, shown over the table
  FilePathTriple dumpSource_;  // the last log dumped (not persisted)
  std::string outputPath_;
  std::map<AnalysisControl, QWidget*> controls_;
  std::vector<QWidget*> tabRing_;
  QScrollBar* scroll_ = nullptr;
  QProgressBar* progress_ = nullptr;
  std::unique_ptr<QuarterMileWindow> graph_;
  QPoint pressPoint_;
  bool doubleClicked_ = false;
  bool shiftDown_ = false;
  int wheelRest_ = 0;
  int lastProgress_ = 0;
  int lastProgressRange_ = 0;
};

}  // namespace zrm
