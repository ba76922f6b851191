#include "apps/vistrel/knock_view.h"

#include "apps/vistrel/main_window.h"
#include "gui/qt_canvas.h"
#include "gui/retained_surface.h"
#include "platform/clock.h"
#include "shell/status_panel.h"

namespace zrm {

namespace {

struct ViewButtonRow {
  const char* text;
  int y;
};
constexpr ViewButtonRow VIEW_BUTTONS[4] = {{"Average", 100}, {"Peak", 130}, {"Total", 160}, {"Counts", 190}};

// A radio button that takes a click anywhere in its 80 x 30 area, as the
// Windows control does, not only on its circle and text.
class AreaRadioButton : public QRadioButton {
 public:
  using QRadioButton::QRadioButton;

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

}  // namespace

KnockView::KnockView(MainWindow& window, VistrelApp& app) : window_(window), app_(app) {
  model_ = std::make_unique<KnockMap>(app_.settings, app_.processor.record, window_.Surface());
  model_->paintStatusValues = [this](Canvas& canvas) { PaintStatusValues(canvas, window_.CollectStatus()); };

  ModeView& view = window_.modeViews[MODE_KNOCK];
  view.paint = [this](Canvas& canvas) { model_->PaintKnockDisplay(canvas); };
  view.createControls = [this] { CreateControls(); };
  view.removeControls = [this] { RemoveControls(); };

  app_.processor.SetDisplayUpdate(DISPLAY_KNOCK,
                                  [this](const std::uint8_t* frame, int active) { model_->KnockFrame(frame, active); });
  window_.onLayOutDisplays.push_back([this] { model_->ReloadSettings(); });
}

KnockView::~KnockView() {
  app_.processor.SetDisplayUpdate(DISPLAY_KNOCK, nullptr);
  window_.modeViews[MODE_KNOCK] = {};
  RemoveControls();
}

void KnockView::CreateControls() {
  if (group_) return;
  QWidget* parent = window_.SurfaceView();
  QPalette palette = parent->palette();
  palette.setColor(QPalette::Window, QColor(ToQRgb(COLOUR_BACKGROUND)));
  palette.setColor(QPalette::WindowText, QColor(ToQRgb(COLOUR_TEXT)));
  palette.setColor(QPalette::ButtonText, QColor(ToQRgb(COLOUR_TEXT)));

  group_ = new QGroupBox("Display", parent);
  group_->setGeometry(650, 80, 120, 150);
  group_->setPalette(palette);
  group_->show();

  const int current = model_->State().view;
  for (int i = 0; i < 4; ++i) {
    auto* button = new AreaRadioButton(VIEW_BUTTONS[i].text, parent);
    button->setGeometry(670, VIEW_BUTTONS[i].y, 80, 30);
    button->setLayoutDirection(Qt::RightToLeft);  // text on the left
    button->setPalette(palette);
    button->setChecked(i == current);
    QObject::connect(button, &QRadioButton::clicked, button, [this, i] { ChooseView(i); });
    window_.InstallKeyForwarding(button);
    button->show();
    views_[static_cast<std::size_t>(i)] = button;
  }

  clear_ = new QPushButton("Clear Data", parent);
  clear_->setGeometry(670, 250, 80, 30);
  QObject::connect(clear_, &QPushButton::clicked, clear_, [this] { ClearData(); });

  standardTab_ = new QPushButton("Standard", parent);
  standardTab_->setGeometry(169, 81, 82, 20);
  QObject::connect(standardTab_, &QPushButton::clicked, standardTab_, [this] { ChooseGrid(KNOCK_STANDARD); });

  boostTab_ = new QPushButton("Boost", parent);
  boostTab_->setGeometry(259, 81, 82, 20);
  QObject::connect(boostTab_, &QPushButton::clicked, boostTab_, [this] { ChooseGrid(KNOCK_BOOST); });

  for (QPushButton* button : {clear_.data(), standardTab_.data(), boostTab_.data()}) {
    button->setPalette(palette);
    window_.InstallKeyForwarding(button);
  }
  // The tabs lie flat on the map's frame and cover the labels drawn under them.
  for (QPushButton* tab : {standardTab_.data(), boostTab_.data()}) {
    tab->setFlat(true);
    QPalette face = palette;
    face.setColor(QPalette::Button, QColor(ToQRgb(COLOUR_BACKGROUND)));
    tab->setPalette(face);
    tab->setAutoFillBackground(true);
  }
  clear_->show();
  standardTab_->show();
  boostTab_->show();
}

void KnockView::RemoveControls() {
  delete group_;
  for (auto& button : views_) delete button;
  delete clear_;
  delete standardTab_;
  delete boostTab_;
}

void KnockView::ChooseView(int view) {
  model_->SetView(view);
  window_.RepaintAll();
}

void KnockView::ChooseGrid(int grid) {
  model_->SetGridShown(grid);
  window_.RepaintAll();
}

void KnockView::ClearData() {
  model_->ClearKnockMap();
  SleepMs(1);
  window_.RepaintAll();
  window_.SurfaceView()->setFocus();
}

}  // namespace zrm
