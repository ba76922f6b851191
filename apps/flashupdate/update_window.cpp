#include "apps/flashupdate/update_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QKeySequence>
#include <QMetaObject>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "config/config_location.h"
#include "flashupdate/bin_update.h"
#include "flashupdate/firmware_image.h"
#include "flashupdate/update_ecm.h"
#include "flashupdate/update_window_painter.h"
#include "gui/fonts.h"
#include "gui/qt_canvas.h"
#include "gui/qt_services.h"
#include "gui/retained_surface.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/serial_port.h"

namespace zrm {

namespace {

// The client area: an 800 x 600 window less its caption, menu bar and frame.
constexpr int CLIENT_WIDTH = 794;
constexpr int CLIENT_HEIGHT = 551;
constexpr Colour BUTTON_BACKGROUND = 0xFAFAFA;
constexpr int UPDATE_START_PAUSE_MS = 100;

// "COM&1" .. "COM&9", "COM1&0", "COM11" .. "COM40".
QString PortItemText(int n) {
  if (n < 10) return QString("COM&%1").arg(n);
  if (n == 10) return QString("COM1&0");
  return QString("COM%1").arg(n);
}

}  // namespace

UpdateAboutBox::UpdateAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About");
  auto* layout = new QVBoxLayout(this);
  for (const char* line : {"ZRM Flash Update", "Version 2.7-B", "Firmware update utility for the ZRM Flash ECM",
                           "Keep the ignition on and the engine off while it runs"}) {
    auto* label = new QLabel(QString::fromLatin1(line), this);
    label->setAlignment(Qt::AlignHCenter);
    layout->addWidget(label);
  }
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
}

UpdateWindow::UpdateWindow(const UpdateWindowOptions& options, QtServices& services)
    : services_(&services),
      options_(options),
      surface_(std::make_unique<RetainedSurface>(800, 600)),
      link_(LinkSettings::FlashUpdate()),
      transport_(link_, ticks_.Counter()),
      messages_(UpdateMessageLayout(), surface_.get()),
      protocol_(transport_, FlashProtocolSettings::FlashUpdate(), &messages_) {
  const std::string path =
      options.configPath.empty() ? LocateConfigFile(FLASHUPDATE_CONFIG_NAME) : options.configPath;
  config_ = MakeFlashUpdateConfig(path, settings_, &services);
  LoadConfig(config_);

  services.SetOwner(this);
  setWindowTitle("ZRM_FlashUpdate");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

  view_ = new SurfaceWidget(*surface_, this);
  view_->setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
  view_->setFocusPolicy(Qt::NoFocus);
  view_->SetStaticPainter([this](Canvas& canvas) {
    PaintUpdateWindow(canvas, started_, PortName(), portOpen_.load(), messages_);
  });
  setCentralWidget(view_);
  BuildMenus();
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  CreateControls();

  if (settings_.mainWindowX != -1) {
    move(settings_.mainWindowX, settings_.mainWindowY);
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desk = screen->geometry();
    move(desk.width() / 2 - 400, desk.height() / 2 - 300);
  }

  // The status line follows the CommThread: drawn from its thread on the
  // surface, which takes care of showing it on the window thread.
  link_.showPortState = [this](int open) { ShowPortState(open); };
  ticks_.Start();
  link_.Start();
  link_.RequestPort(PORT_OPEN, PortName().c_str());
  SaveSettings();
  link_.RequestRingFlush();
}

UpdateWindow::~UpdateWindow() {
  if (updateThread_.joinable()) updateThread_.join();
  link_.Stop();
  ticks_.Stop();
  messages_.SetSurface(nullptr);
}

QWidget* UpdateWindow::SurfaceView() const { return view_; }

std::string UpdateWindow::PortName() {
  std::lock_guard lock(portMutex_);
  return settings_.port;
}

void UpdateWindow::SaveSettings() {
  std::lock_guard lock(portMutex_);
  SaveConfig(config_);
}

void UpdateWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu("&File");
  QMenu* ports = file->addMenu("&CommPort");
  for (int n = 1; n <= 40; ++n) {
    const std::string port = "COM" + std::to_string(n);
    connect(ports->addAction(PortItemText(n)), &QAction::triggered, this, [this, port] { SelectPort(port); });
  }
  // Serial devices of this machine, chosen by their path.
  const std::vector<std::string> devices = ListSerialDevices();
  if (!devices.empty()) ports->addSeparator();
  for (const std::string& device : devices) {
    connect(ports->addAction(QString::fromStdString(device)), &QAction::triggered, this,
            [this, device] { SelectPort(device); });
  }
  connect(file->addAction("&BIN Update..."), &QAction::triggered, this, [this] { BinUpdate(); });
  connect(file->addAction("E&xit"), &QAction::triggered, this, &QWidget::close);
  QMenu* help = bar->addMenu("&Help");
  connect(help->addAction("&About ..."), &QAction::triggered, this, [this] { ShowAbout(); });
  // ? and / open the About box too.
  auto* aboutKeys = new QAction(this);
  aboutKeys->setShortcuts({QKeySequence("?"), QKeySequence("/")});
  aboutKeys->setShortcutContext(Qt::WindowShortcut);
  connect(aboutKeys, &QAction::triggered, this, [this] { ShowAbout(); });
  addAction(aboutKeys);
}

void UpdateWindow::CreateControls() {
  QPalette palette = view_->palette();
  palette.setColor(QPalette::Window, QColor(ToQRgb(COLOUR_BACKGROUND)));
  palette.setColor(QPalette::WindowText, QColor(ToQRgb(COLOUR_TEXT)));
  palette.setColor(QPalette::ButtonText, QColor(ToQRgb(COLOUR_TEXT)));
  palette.setColor(QPalette::Button, QColor(ToQRgb(BUTTON_BACKGROUND)));

  messagesGroup_ = new QGroupBox("Messages", view_);
  messagesGroup_->setGeometry(30, 110, 730, 365);
  messagesGroup_->setPalette(palette);
  messagesGroup_->setFocusPolicy(Qt::NoFocus);
  messagesGroup_->hide();

  proceed_ = new QPushButton("Proceed With Update", view_);
  proceed_->setGeometry(300, 490, 200, 40);
  proceed_->setPalette(palette);
  connect(proceed_, &QPushButton::clicked, this, [this] { ProceedWithUpdate(); });
  proceed_->setFocus();
}

void UpdateWindow::ShowPortState(int open) {
  portOpen_.store(open != 0);
  const std::string port = PortName();
  surface_->DrawValues([port, open](Canvas& canvas) { PaintUpdatePortLine(canvas, port, open != 0); });
}

void UpdateWindow::SelectPort(const std::string& port) {
  {
    std::lock_guard lock(portMutex_);
    settings_.port = port;
  }
  ShowPortState(0);
  link_.RequestPort(PORT_OPEN, port.c_str());
  SaveSettings();
}

bool UpdateWindow::ProceedWithUpdate() {
  if (updating_.load()) return false;
  // The firmware is checked before anything goes to the ECM.
  auto image = std::make_shared<FirmwareImage>();
  const std::string imagePath =
      options_.imagePath.empty() ? ExecutableFolder() + FIRMWARE_IMAGE_NAME : options_.imagePath;
  std::string error;
  if (LoadFirmwareImage(imagePath, image.get(), &error) != 0) {
    services_->ShowMessage("Firmware Image Error", error, MessageIcon::Error);
    return false;
  }

  started_ = true;
  setFocus();
  proceed_->clearFocus();
  proceed_->setEnabled(false);
  updating_.store(true);
  lastResult_.store(1);
  if (updateThread_.joinable()) updateThread_.join();  // the earlier update has ended
  currentImage_ = image;
  updateThread_ = std::thread([this] { UpdateThread(); });
  return true;
}

void UpdateWindow::UpdateThread() {
  messages_.ClearMessages();
  QMetaObject::invokeMethod(
      this,
      [this] {
        messagesGroup_->show();
        view_->RepaintAll();
      },
      Qt::QueuedConnection);
  SleepMs(UPDATE_START_PAUSE_MS);

  UpdateEnvironment environment;
  environment.folder = options_.bankFolder;
  environment.image = currentImage_.get();
  environment.convert.services = services_;
  environment.convert.run = &run_;
  environment.convert.pause = SleepMs;
  const int result = RunUpdate(protocol_, messages_, environment);
  if (result != 0) services_->ShowMessage(UPDATE_ERROR_CAPTION, "", MessageIcon::Error);
  lastResult_.store(result);
  QMetaObject::invokeMethod(
      this,
      [this] {
        proceed_->setEnabled(true);
        updating_.store(false);
      },
      Qt::QueuedConnection);
}

void UpdateWindow::BinUpdate() {
  ConvertEnvironment environment;
  environment.services = services_;
  environment.run = &run_;
  environment.pause = SleepMs;
  OfflineBinUpdate(*services_, settings_, environment, [this] { SaveSettings(); });
}

void UpdateWindow::ShowAbout() {
  UpdateAboutBox box(this);
  box.exec();
}

void UpdateWindow::StorePosition() {
  if (isMinimized()) return;
  settings_.mainWindowX = x();
  settings_.mainWindowY = y();
}

void UpdateWindow::closeEvent(QCloseEvent* event) {
  // Closing in the middle of an update would cut a bank's programming short;
  // the window stays until the update has ended.
  if (updating_.load()) {
    event->ignore();
    return;
  }
  started_ = false;
  StorePosition();
  SaveSettings();
  event->accept();
}

}  // namespace zrm
