#include "apps/vistrel/velearn_view.h"

#include <QAction>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "apps/vistrel/main_window.h"
#include "apps/vistrel/vistrel_app.h"
#include "config/config_file.h"
#include "displays/velearn_display.h"
#include "gui/qt_canvas.h"
#include "gui/retained_surface.h"
#include "shell/main_menu.h"
#include "shell/status_panel.h"

namespace zrm {

namespace {

struct ViewButtonRow {
  const char* text;
  int y;
};
constexpr ViewButtonRow kViewButtons[] = {{"Orig", 100}, {"New", 130}, {"Corectns", 160}};

}  // namespace

VeLearnView::VeLearnView(MainWindow& main, VistrelApp& app)
    : main_(main), app_(app), veLearn_(app.settings, app.processor.record, &app.Services(), &app.userDevices) {
  veLearn_.drawDisplay = [this] {
    main_.Surface().DrawValues([this](Canvas& canvas) {
      PaintStatusValues(canvas, main_.CollectStatus());
      Paint(canvas, false);  // the frame update has just recomputed
    });
  };
  veLearn_.requestRepaint = [this] { main_.Surface().InvalidateAll(); };
  veLearn_.saveConfig = [this] { SaveConfig(app_.config); };
  veLearn_.menuChanged = [this](bool learning) { ShowMenu(learning); };
  veLearn_.secondsNow = [this] { return app_.processor.secondsTicker.load(); };
  veLearn_.setNextAutoSave = [this](int time) { app_.processor.nextAutoSave.store(time); };

  app_.processor.SetDisplayUpdate(DISPLAY_VELEARN, [this](const std::uint8_t* frame, int active) {
    veLearn_.VeLearnFrame(frame, active);
  });
  app_.processor.hooks.autoSaveVeLearn = [this] { veLearn_.AutoSaveVeLearn(); };
  app_.beforePortClose.push_back([this] { veLearn_.VeLearnAtExit(); });

  ModeView& mode = main_.modeViews[MODE_VELEARN];
  mode.paint = [this](Canvas& canvas) {
    veLearn_.ReloadSettings();
    DrawVeLearnFrame(canvas);
    Paint(canvas, true);
  };
  mode.createControls = [this] { CreateControls(); };
  mode.removeControls = [this] { RemoveControls(); };

  main_.commandHandlers[CMD_LEARN_VE] = [this] {
    const int current = main_.DisplayMode();
    if (current == MODE_ANALYSIS || current == MODE_FLASH) main_.SwitchDisplay(CMD_VISTREL);
    veLearn_.StartVeLearn();
  };
  main_.commandHandlers[CMD_STOP_LEARN_VE] = [this] { veLearn_.StopVeLearn(); };
  main_.hooks.stopVeLearn = [this] { veLearn_.StopVeLearn(); };
  main_.hooks.veLearnRunning = [this] { return veLearn_.Learning(); };

  // The preferences may change the learning's settings at any time; the
  // DisplayThread takes them from here.
  auto* reload = new QTimer(this);
  connect(reload, &QTimer::timeout, this, [this] { veLearn_.ReloadSettings(); });
  reload->start(500);
}

VeLearnView::~VeLearnView() {
  app_.processor.SetDisplayUpdate(DISPLAY_VELEARN, nullptr);
  app_.processor.hooks.autoSaveVeLearn = nullptr;
  main_.modeViews[MODE_VELEARN] = ModeView{};
  main_.commandHandlers.erase(CMD_LEARN_VE);
  main_.commandHandlers.erase(CMD_STOP_LEARN_VE);
  main_.hooks.stopVeLearn = nullptr;
  main_.hooks.veLearnRunning = nullptr;
  RemoveControls();
}

void VeLearnView::Paint(Canvas& canvas, bool computeFirst) {
  VeLearnPaintState state;
  state.view = veLearn_.view.load();
  state.engineRunning = app_.processor.record.engineRunning.load() == 1;
  state.rpm = app_.processor.record.rpm.load();
  PaintVeLearnDisplay(canvas, veLearn_.Snapshot(computeFirst), state);
}

void VeLearnView::ShowMenu(bool learning) {
  if (QAction* learn = main_.Action(CMD_LEARN_VE)) {
    learn->setText("&Learn VE...");
    learn->setEnabled(!learning);
  }
  if (QAction* stop = main_.Action(CMD_STOP_LEARN_VE)) {
    stop->setText("St&op VeLearn");
    stop->setEnabled(learning);
  }
  main_.RepaintAll();
}

void VeLearnView::CreateControls() {
  QWidget* parent = main_.SurfaceView();
  QPalette palette = parent->palette();
  palette.setColor(QPalette::Window, QColor(ToQRgb(COLOUR_BACKGROUND)));
  palette.setColor(QPalette::WindowText, QColor(ToQRgb(COLOUR_TEXT)));

  if (!group_) {
    group_ = new QGroupBox("Display", parent);
    group_->setGeometry(675, 80, 105, 120);
    group_->setPalette(palette);
    group_->show();
  }
  for (int view = 0; view < 3; ++view) {
    if (views_[view]) continue;
    auto* radio = new QRadioButton(kViewButtons[view].text, parent);
    radio->setGeometry(685, kViewButtons[view].y, 80, 30);
    radio->setLayoutDirection(Qt::RightToLeft);  // text on the left
    radio->setPalette(palette);
    radio->setChecked(veLearn_.view.load() == view);
    connect(radio, &QRadioButton::clicked, this, [this, view] { ChooseView(view); });
    main_.InstallKeyForwarding(radio);
    radio->show();
    views_[view] = radio;
  }
  if (!clear_) {
    clear_ = new QPushButton("Clear Data", parent);
    clear_->setGeometry(686, 220, 80, 30);
    connect(clear_, &QPushButton::clicked, this, [this] {
      veLearn_.ClearVeLearnData();
      main_.RepaintAll();
      main_.SurfaceView()->setFocus();
    });
    main_.InstallKeyForwarding(clear_);
    clear_->show();
  }
}

void VeLearnView::RemoveControls() {
  for (auto& view : views_) delete view;
  delete clear_;
  delete group_;
}

void VeLearnView::ChooseView(int view) {
  veLearn_.view.store(view);
  for (int v = 0; v < 3; ++v)
    if (views_[v]) views_[v]->setChecked(v == view);
  main_.RepaintAll();
}

}  // namespace zrm
