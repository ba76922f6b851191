#include "apps/vistrel/analysis_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "analysis/log_export.h"
#include "apps/vistrel/main_window.h"
#include "apps/vistrel/quarter_mile_window.h"
#include "apps/vistrel/vistrel_app.h"
#include "gui/qt_canvas.h"
#include "gui/retained_surface.h"
#include "link/frame_source.h"

namespace zrm {

namespace {

struct ControlRow {
  AnalysisControl id;
  bool checkBox;
  const char* text;
  int x, y, width, height;
};

// In tab order; the scroll bar follows them.
constexpr ControlRow kControls[] = {
    {AnalysisControl::ViewLog, false, "View Log", 45, 30, 80, 30},
    {AnalysisControl::DumpLog, false, "Dump Log", 155, 30, 80, 30},
    {AnalysisControl::SingleHeader, true, "Single Header", 243, 30, 120, 18},
    {AnalysisControl::CreateCsv, true, "Create .csv", 243, 46, 120, 18},
    {AnalysisControl::QuarterMile, false, "1/4 Mile", 485, 30, 80, 30},
    {AnalysisControl::FindMark, false, "Find Mark", 595, 30, 80, 30},
};

constexpr int PROGRESS_X = 11, PROGRESS_Y = 121, PROGRESS_WIDTH = 750, PROGRESS_HEIGHT = 17;
constexpr int WHEEL_NOTCH = 120;

constexpr const char* VIEW_TITLE = "Select Data Log File to Analyze";
constexpr const char* DUMP_TITLE = "Select Data Log File to Create Dump From";
constexpr AnalysisMessage NO_LOG = {"No Data Log Opened", "Please open a data log..."};
constexpr AnalysisMessage END_OF_FILE = {"End of File Reached", "Hit the Home key to start over at the beginning"};

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
      return true;
    default:
      return false;
  }
}

ScrollRequest RequestForAction(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: return ScrollRequest::LineUp;
    case QAbstractSlider::SliderSingleStepAdd: return ScrollRequest::LineDown;
    case QAbstractSlider::SliderPageStepSub: return ScrollRequest::PageUp;
    case QAbstractSlider::SliderPageStepAdd: return ScrollRequest::PageDown;
    case QAbstractSlider::SliderToMinimum: return ScrollRequest::Top;
    case QAbstractSlider::SliderToMaximum: return ScrollRequest::Bottom;
    case QAbstractSlider::SliderMove: return ScrollRequest::Track;
    default: return ScrollRequest::EndScroll;
  }
}

// The keys that scroll the table.
bool ScrollKey(int key, ScrollRequest* request) {
  switch (key) {
    case Qt::Key_PageUp: *request = ScrollRequest::PageUp; return true;
    case Qt::Key_PageDown: *request = ScrollRequest::PageDown; return true;
    case Qt::Key_End: *request = ScrollRequest::Bottom; return true;
    case Qt::Key_Home: *request = ScrollRequest::Top; return true;
    case Qt::Key_Up: *request = ScrollRequest::LineUp; return true;
    case Qt::Key_Down: *request = ScrollRequest::LineDown; return true;
    default: return false;
  }
}

bool IsMoveKey(int key) {
  return key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return || key == Qt::Key_Enter ||
         key == Qt::Key_Escape;
}

std::int64_t FileSize(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<std::int64_t>(size);
}

}  // namespace

AnalysisView::AnalysisView(MainWindow& window, VistrelApp& app) : window_(window), app_(app) {
  graph_ = std::make_unique<QuarterMileWindow>(&window_);
  graph_->scrollTable = [this](ScrollRequest request, long track) { Scroll(request, track); };
  graph_->installEventFilter(this);

  window_.hooks.openAnalysis = [this] { Open(); };
  // No createControls: a new layout rebuilds the view instead (below).
  window_.modeViews[MODE_ANALYSIS].paint = [this](Canvas& canvas) { Paint(canvas); };
  window_.modeViews[MODE_ANALYSIS].removeControls = [this] { Close(); };
  window_.onLayOutDisplays.push_back([this] { Relayout(); });
  window_.SurfaceView()->installEventFilter(this);
}

AnalysisView::~AnalysisView() {
  if (open_) Close();
  graph_.reset();
}

QWidget* AnalysisView::Control(AnalysisControl id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void AnalysisView::Open() {
  if (open_) return;
  previousSource_ = app_.sources.SetFrameSource(SOURCE_ANALYSIS);
  CreateControls();
  open_ = true;
  if (QWidget* viewLog = Control(AnalysisControl::ViewLog)) viewLog->setFocus(Qt::OtherFocusReason);
}

void AnalysisView::Close() {
  if (!open_) return;
  open_ = false;
  // Later, not now: Close may run inside a control's own signal.
  for (auto& [id, control] : controls_) {
    control->hide();
    control->deleteLater();
  }
  controls_.clear();
  tabRing_.clear();
  if (scroll_) {
    scroll_->hide();
    scroll_->deleteLater();
    scroll_ = nullptr;
  }
  graph_->CloseGraph();
  table_.Attach(nullptr);
  view_.reset();  // closing deletes it
  viewName_.clear();
  app_.sources.SetFrameSource(previousSource_);
}

void AnalysisView::CreateControls() {
  QWidget* parent = window_.SurfaceView();
  QPalette palette = parent->palette();
  palette.setColor(QPalette::Window, QColor(ToQRgb(COLOUR_BACKGROUND)));
  palette.setColor(QPalette::WindowText, QColor(ToQRgb(COLOUR_TEXT)));
  const VistrelSettings& s = app_.settings;
  for (const ControlRow& row : kControls) {
    QAbstractButton* button = nullptr;
    if (row.checkBox) {
      button = new QCheckBox(QString::fromLatin1(row.text), parent);
    } else {
      button = new QPushButton(QString::fromLatin1(row.text), parent);
    }
    button->setGeometry(row.x, row.y, row.width, row.height);
    button->setPalette(palette);
    button->setFocusPolicy(Qt::StrongFocus);
    button->installEventFilter(this);
    controls_[row.id] = button;
    tabRing_.push_back(button);
    const AnalysisControl id = row.id;
    if (id == AnalysisControl::SingleHeader || id == AnalysisControl::CreateCsv) {
      button->setChecked((id == AnalysisControl::SingleHeader ? s.analysisSingleHeader : s.analysisCsv) == 1);
      // Saved with the next SaveConfig.
      connect(button, &QAbstractButton::toggled, this, [this, id](bool on) {
        (id == AnalysisControl::SingleHeader ? app_.settings.analysisSingleHeader : app_.settings.analysisCsv) =
            on ? 1 : 0;
      });
      continue;
    }
    connect(button, &QAbstractButton::clicked, this, [this, id] {
      switch (id) {
        case AnalysisControl::ViewLog: ViewLog(); break;
        case AnalysisControl::DumpLog: DumpLog(); break;
        case AnalysisControl::QuarterMile: ShowQuarterMile(); break;
        case AnalysisControl::FindMark: FindNextMark(); break;
        default: break;
      }
    });
  }
  scroll_ = new QScrollBar(Qt::Vertical, parent);
  scroll_->setGeometry(TABLE_RIGHT, TABLE_TOP, TABLE_SCROLL_WIDTH, TABLE_ROWS * TABLE_ROW_HEIGHT);
  scroll_->setFocusPolicy(Qt::StrongFocus);
  scroll_->installEventFilter(this);
  tabRing_.push_back(scroll_);
  connect(scroll_, &QAbstractSlider::actionTriggered, this, [this](int action) {
    const ScrollRequest request = RequestForAction(action);
    if (request == ScrollRequest::EndScroll) return;
    const bool moved = table_.Scroll(request, scroll_->sliderPosition());
    scroll_->setSliderPosition(static_cast<int>(table_.ScrollPosition()));
    RedrawRows();
    if (moved) AfterScroll();
  });
  SyncScrollBar();
  for (auto& [id, control] : controls_) control->show();
  scroll_->show();
}

void AnalysisView::SyncScrollBar() {
  if (!scroll_) return;
  const QSignalBlocker block(scroll_);
  scroll_->setRange(0, static_cast<int>(table_.ScrollMax()));
  scroll_->setPageStep(TABLE_ROWS);
  scroll_->setSingleStep(1);
  scroll_->setValue(static_cast<int>(table_.ScrollPosition()));
  // Disabled rather than hidden when there is nothing to scroll.
  scroll_->setEnabled(table_.ScrollMax() > 0);
}

void AnalysisView::Paint(Canvas& canvas) {
  table_.Paint(canvas, viewName_, app_.settings.speedInKph, app_.settings.temperatureScale);
}

void AnalysisView::RedrawRows() {
  AnalysisTable* table = &table_;
  window_.Surface().DrawValues([table](Canvas& canvas) { table->PaintRows(canvas); });
}

void AnalysisView::Message(const AnalysisMessage& message) {
  app_.Services().ShowMessage(message.caption, message.text, MessageIcon::Information);
}

bool AnalysisView::Wideband() const { return app_.userDevices.PreferredWidebandChannel() >= 0; }

bool AnalysisView::ChooseLog(const char* title, std::string* path) {
  FileDialogRequest request;
  request.title = title;
  request.filters = {{"DataLogs (*.dat)", "*.dat"}, {"All (*.*)", "*.*"}};
  request.initialFolder = app_.settings.analysis.folder;
  request.initialName = app_.settings.analysis.name;
  request.mustExist = true;
  if (!app_.Services().ChooseFile(request, path)) return false;
  std::FILE* test = std::fopen(path->c_str(), "rb");
  if (!test) {
    Message({"File Open Error", "Can not open Data Log File"});
    return false;
  }
  std::fclose(test);
  return true;
}

void AnalysisView::ViewLog() {
  std::string path;
  if (!ChooseLog(VIEW_TITLE, &path)) return;
  graph_->CloseGraph();
  table_.Attach(nullptr);
  view_.reset();
  viewName_.clear();
  app_.settings.analysis = SplitFilePath(path);
  BuildView(path);
  window_.RepaintAll();
  if (scroll_) scroll_->setFocus(Qt::OtherFocusReason);
}

bool AnalysisView::BuildView(const std::string& logPath) {
  auto view = std::make_unique<ViewFile>();
  if (view->Create() != 0) {
    Message(ViewFailureMessage(AnalysisResult::OutputOpenError));
    return false;
  }
  graph_->CloseGraph();
  const VistrelSettings settings = app_.settings;
  ViewFile* target = view.get();
  const AnalysisResult result = RunWithProgress(FileSize(logPath), [&](const ProgressStep& step) {
    return BuildViewFile(logPath, *target, settings, step);
  });
  if (result == AnalysisResult::LogOpenError) {
    Message(ViewFailureMessage(result));
    return false;
  }
  // What was written before a write error stays viewable.
  if (result != AnalysisResult::Ok) Message(ViewFailureMessage(result));
  view_ = std::move(view);
  viewName_ = SplitFilePath(logPath).name;
  table_.Attach(view_.get());
  SyncScrollBar();
  return true;
}

void AnalysisView::DumpLog() {
  std::string path;
  if (ChooseLog(DUMP_TITLE, &path)) {
    dumpSource_ = SplitFilePath(path);
    const bool csv = app_.settings.analysisCsv == 1;
    outputPath_ = DumpOutputPath(path, csv);
    const ExportOptions options{csv ? ExportForm::Csv : ExportForm::Text, app_.settings.analysisSingleHeader == 1};
    const VistrelSettings settings = app_.settings;
    const std::string output = outputPath_;
    const AnalysisResult result = RunWithProgress(FileSize(path), [&](const ProgressStep& step) {
      return ExportLog(path, output, settings, options, step);
    });
    if (result != AnalysisResult::Ok) Message(ExportFailureMessage(result));
  }
  if (QWidget* dump = Control(AnalysisControl::DumpLog)) dump->setFocus(Qt::OtherFocusReason);
}

AnalysisResult AnalysisView::RunWithProgress(std::int64_t logSize,
                                             const std::function<AnalysisResult(const ProgressStep&)>& pass) {
  progress_ = new QProgressBar(window_.SurfaceView());
  progress_->setGeometry(PROGRESS_X, PROGRESS_Y, PROGRESS_WIDTH, PROGRESS_HEIGHT);
  progress_->setRange(0, std::max(1, AnalysisProgressRange(logSize)));
  progress_->setValue(0);
  progress_->setTextVisible(false);
  progress_->show();
  lastProgressRange_ = AnalysisProgressRange(logSize);
  lastProgress_ = 0;

  busy_.store(true);
  qApp->installEventFilter(this);
  std::atomic<int> steps{0};
  std::atomic<AnalysisResult> result{AnalysisResult::Ok};
  QEventLoop loop;
  QProgressBar* bar = progress_;
  const ProgressStep step = [&steps, bar] {
    const int value = steps.fetch_add(1) + 1;
    QMetaObject::invokeMethod(bar, [bar, value] { bar->setValue(std::min(value, bar->maximum())); },
                              Qt::QueuedConnection);
  };
  std::thread worker([&] {
    result.store(pass(step));
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  // Paints and the bar's steps go on; input is refused by the filter.
  loop.exec();
  worker.join();
  QCoreApplication::sendPostedEvents(bar);
  lastProgress_ = bar->value();
  qApp->removeEventFilter(this);
  busy_.store(false);
  progress_ = nullptr;
  delete bar;
  return result.load();
}

void AnalysisView::Scroll(ScrollRequest request, long trackPosition) {
  if (!view_) return;
  const bool moved = table_.Scroll(request, trackPosition);
  SyncScrollBar();
  RedrawRows();
  if (moved) AfterScroll();
}

void AnalysisView::AfterScroll() {
  if (graph_->IsOpen()) graph_->Follow(table_.TopRow(), table_.ScrollMax(), table_.ScrollPosition());
}

void AnalysisView::ShowGraph() {
  if (!view_) return;
  graph_->ShowFrom(*view_, table_.TopRow(), table_.ScrollMax(), table_.ScrollPosition(), viewName_, Wideband(),
                   app_.settings.speedInKph);
}

void AnalysisView::ShowQuarterMile() {
  if (!view_) {
    Message(NO_LOG);
    return;
  }
  if (table_.SelectedRow() < 0) {
    table_.Select(table_.TopRow());
  } else {
    table_.SetTopRow(table_.SelectedRow());
  }
  SyncScrollBar();
  RedrawRows();
  ShowGraph();
}

void AnalysisView::FindNextMark() {
  switch (table_.FindNextMark()) {
    case FindMarkResult::NoLog: Message(NO_LOG); return;
    case FindMarkResult::EndOfFile: Message(END_OF_FILE); return;
    case FindMarkResult::Found:
      SyncScrollBar();
      RedrawRows();
      AfterScroll();
      return;
  }
}

void AnalysisView::Relayout() {
  if (!open_ || !view_ || app_.settings.analysis.path.empty()) return;
  const long selected = table_.SelectedRow();
  const long top = table_.TopRow();
  const bool graphOpen = graph_->IsOpen();
  table_.Attach(nullptr);
  view_.reset();
  if (!BuildView(app_.settings.analysis.path)) return;
  table_.SetTopRow(std::min(top, std::max(0L, table_.Rows() - 1)));
  if (selected >= 0) table_.Select(selected);
  SyncScrollBar();
  if (graphOpen) ShowGraph();
}

void AnalysisView::MoveFocus(bool backwards) {
  if (tabRing_.empty()) return;
  const int count = static_cast<int>(tabRing_.size());
  int at = -1;
  for (int i = 0; i < count; ++i)
    if (tabRing_[static_cast<std::size_t>(i)]->hasFocus()) at = i;
  for (int step = 1; step <= count; ++step) {
    const int next = at < 0 ? (backwards ? count - step : step - 1)
                            : ((at + (backwards ? -step : step)) % count + count) % count;
    QWidget* control = tabRing_[static_cast<std::size_t>(next)];
    if (control->isEnabled() && control->isVisible()) {
      control->setFocus(backwards ? Qt::BacktabFocusReason : Qt::TabFocusReason);
      return;
    }
  }
}

bool AnalysisView::FilterKey(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
  if (std::find(tabRing_.begin(), tabRing_.end(), watched) == tabRing_.end()) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() == Qt::Key_Shift) {
    shiftDown_ = event->type() == QEvent::KeyPress;
    return false;
  }
  if (IsMoveKey(key->key())) {
    if (event->type() == QEvent::KeyPress) MoveFocus(shiftDown_ || key->key() == Qt::Key_Backtab);
    return true;
  }
  // The scroll bar takes its keys itself; from a button they reach it.
  ScrollRequest request;
  if (watched != scroll_ && ScrollKey(key->key(), &request)) {
    if (event->type() == QEvent::KeyPress) Scroll(request);
    return true;
  }
  return false;
}

bool AnalysisView::FilterSurface(QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      ScrollRequest request;
      if (!ScrollKey(static_cast<QKeyEvent*>(event)->key(), &request)) return false;
      Scroll(request);
      return true;
    }
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton) pressPoint_ = mouse->position().toPoint();
      return false;
    }
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) return false;
      if (doubleClicked_) {  // the release that ends a double click
        doubleClicked_ = false;
        return true;
      }
      const QPoint p = mouse->position().toPoint();
      if (table_.Click(pressPoint_.x(), pressPoint_.y(), p.x(), p.y())) {
        RedrawRows();
        AfterScroll();
      }
      return true;
    }
    case QEvent::MouseButtonDblClick: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) return false;
      doubleClicked_ = true;
      const QPoint p = mouse->position().toPoint();
      if (!table_.Click(p.x(), p.y(), p.x(), p.y())) return true;
      RedrawRows();
      ShowQuarterMile();
      return true;
    }
    case QEvent::Wheel: {
      wheelRest_ += static_cast<QWheelEvent*>(event)->angleDelta().y();
      while (wheelRest_ >= WHEEL_NOTCH) {
        wheelRest_ -= WHEEL_NOTCH;
        Scroll(ScrollRequest::LineUp);
      }
      while (wheelRest_ <= -WHEEL_NOTCH) {
        wheelRest_ += WHEEL_NOTCH;
        Scroll(ScrollRequest::LineDown);
      }
      return true;
    }
    default:
      return false;
  }
}

bool AnalysisView::RefuseInput(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr) return false;
  if (widget->window() != &window_ && widget->window() != graph_.get()) return false;
  if (event->type() == QEvent::Close) {
    event->ignore();  // the pass finishes first
    return true;
  }
  if (event->type() == QEvent::ShortcutOverride) {
    event->accept();  // taken here, so no menu shortcut fires
    return true;
  }
  return IsUserInput(event->type());
}

bool AnalysisView::eventFilter(QObject* watched, QEvent* event) {
  if (busy_.load()) return RefuseInput(watched, event);
  if (watched == graph_.get() && event->type() == QEvent::Close) return false;
  if (!open_) return false;
  if (watched == window_.SurfaceView()) return FilterSurface(event);
  if (watched == scroll_ && event->type() == QEvent::Wheel) return FilterSurface(event);
  return FilterKey(watched, event);
}

}  // namespace zrm
