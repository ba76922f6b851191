// ZRM_FlashUpdate's window offscreen against the simulated ECM on a pseudo-
// terminal: the introduction and the port line at start, "Proceed With
// Update" on its thread with the message window, the green and the red
// endings, the refused firmware image, BIN Update and the About keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QElapsedTimer>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "apps/flashupdate/update_window.h"
#include "flashupdate/update_ecm.h"
#include "gui/qt_services.h"
#include "gui/retained_surface.h"
#include "gui_test_support.h"
#include "sim/flash_loader.h"
#include "sim/sim_ecm.h"
#include "sim/synthetic_firmware.h"
#include "sim/versioned_banks.h"
#include "test_support.h"

namespace zrm {
namespace {

// Message boxes and file dialogs answered from a script; boxes may come from
// the update thread.
class ScriptedQtServices : public QtServices {
 public:
  void ShowMessage(const std::string& caption, const std::string& text, MessageIcon) override {
    std::lock_guard lock(mutex);
    messages.push_back(caption + ": " + text);
  }
  bool ChooseFile(const FileDialogRequest& request, std::string* path) override {
    std::lock_guard lock(mutex);
    requests.push_back(request);
    if (choices.empty()) return false;
    *path = choices.front();
    choices.erase(choices.begin());
    return !path->empty();
  }
  std::vector<std::string> Messages() {
    std::lock_guard lock(mutex);
    return messages;
  }
  std::mutex mutex;
  std::vector<std::string> messages;
  std::vector<std::string> choices;
  std::vector<FileDialogRequest> requests;
};

class FlashUpdateWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loader_ = std::make_shared<sim::SimFlashLoader>(sim::FlashLoaderOptions{});
    ASSERT_EQ(loader_->Open(), 0);
    loader_->SetBank(0, sim::VersionedBank(0, 0x0000, 0x1470));
    loader_->SetBank(6, sim::VersionedBank(6, 0x0207, 0x767C));
    sim::SimOptions options;
    options.linkPath = dir_.File("tty");
    ecm_ = std::make_unique<sim::SimEcm>(options);
    ecm_->SetLoader(loader_);
    ASSERT_EQ(ecm_->Start(), 0);
    test::WriteFileBytes(dir_.File("fw.img"), sim::SyntheticFirmwareImage());
    test::WriteFileText(dir_.File("fu.cfg"), "[PORT] " + options.linkPath + "\n");
  }

  void TearDown() override {
    if (window_) {
      test::PumpUntil([this] { return !window_->Updating(); }, 60000);
      window_.reset();
    }
    ecm_->Stop();
  }

  void Open(const std::string& image = "") {
    UpdateWindowOptions options;
    options.configPath = dir_.File("fu.cfg");
    options.imagePath = image.empty() ? dir_.File("fw.img") : image;
    options.bankFolder = dir_.path() + "/";
    window_ = std::make_unique<UpdateWindow>(options, services_);
    window_->show();
    QApplication::setActiveWindow(window_.get());
    ASSERT_TRUE(test::PumpUntil([this] { return window_->isVisible() && window_->PortOpen(); }, 5000));
    test::Pump(50);
  }

  // Runs an update from the button to its end.
  void RunUpdate() {
    QTest::mouseClick(window_->ProceedButton(), Qt::LeftButton);
    ASSERT_TRUE(window_->Updating());
    EXPECT_FALSE(window_->ProceedButton()->isEnabled());
    // The window thread idles between event passes rather than spinning, so
    // the link and the simulated ECM in this process keep their pace on a
    // busy machine.
    QElapsedTimer waited;
    waited.start();
    while (window_->Updating() && waited.elapsed() < 60000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      QThread::msleep(5);
    }
    ASSERT_FALSE(window_->Updating());
    test::Pump(50);
    if (window_->LastResult() != 0) {
      std::string lines;
      for (const MessageLine& line : window_->Messages().Shown()) lines += "\n" + line.text;
      std::printf("update ended %d:%s\n", window_->LastResult(), lines.c_str());
    }
  }

  QImage Shot(const char* name) {
    const QImage image = window_->Surface().Image();
    if (const char* folder = std::getenv("ZRM_SCREENSHOTS")) image.save(QString(folder) + "/" + name + ".png");
    return image;
  }

  // Pixels of text colour in a box of the surface.
  static int TextPixels(const QImage& image, int left, int top, int right, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) n += test::PixelAt(image, x, y) == COLOUR_TEXT;
    return n;
  }

  test::TempDir dir_;
  std::shared_ptr<sim::SimFlashLoader> loader_;
  std::unique_ptr<sim::SimEcm> ecm_;
  ScriptedQtServices services_;
  std::unique_ptr<UpdateWindow> window_;
};

TEST_F(FlashUpdateWindowTest, StartsCentredWithTheIntroductionAndThePortOpen) {
  Open();
  EXPECT_EQ(window_->windowTitle(), "ZRM_FlashUpdate");
  const QRect desk = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(window_->pos(), QPoint(desk.width() / 2 - 400, desk.height() / 2 - 300));
  EXPECT_EQ(window_->ProceedButton()->geometry(), QRect(300, 490, 200, 40));
  EXPECT_EQ(window_->ProceedButton()->text(), "Proceed With Update");
  EXPECT_TRUE(window_->ProceedButton()->isEnabled());
  EXPECT_FALSE(window_->MessagesGroup()->isVisible());
  EXPECT_EQ(window_->MessagesGroup()->geometry(), QRect(30, 110, 730, 365));

  const QImage image = Shot("flashupdate_start");
  EXPECT_GT(TextPixels(image, 60, 120, 700, 134), 100);  // introduction line 0
  EXPECT_GT(TextPixels(image, 60, 360, 780, 374), 100);  // line 12
  EXPECT_GT(TextPixels(image, 200, 10, 600, 34), 50);    // the title
  EXPECT_GT(TextPixels(image, 0, 72, 232, 88), 20);      // the port line
  // The utility's link sends nothing when it opens the port.
  EXPECT_TRUE(ecm_->Packets().empty());
}

TEST_F(FlashUpdateWindowTest, ProceedRunsTheUpdateAndEndsWithTheGreenLine) {
  Open();
  RunUpdate();
  EXPECT_EQ(window_->LastResult(), 0);
  EXPECT_TRUE(window_->Started());
  EXPECT_TRUE(window_->ProceedButton()->isEnabled());
  EXPECT_TRUE(window_->MessagesGroup()->isVisible());
  const std::vector<MessageLine> lines = window_->Messages().Shown();
  ASSERT_EQ(lines.size(), 20u);  // the window keeps its last 20 lines
  EXPECT_EQ(lines.back(), (MessageLine{MESSAGE_SUCCESS_RESULT, PadMessage("    -Update Successful-", 80)}));
  EXPECT_EQ(lines[18], (MessageLine{MESSAGE_NORMAL, std::string(80, ' ')}));
  // Bank 0 holds a 2.0 calibration: its message, and no error box.
  EXPECT_EQ(services_.Messages(), std::vector<std::string>{"-Firmware Update Message-: Since this is a Version 2.0 "
                                                           "ZRM Flash ECM, the newly created BIN files MUST be used!"});

  const QImage image = Shot("flashupdate_done");
  // Line 19 sits at 34, 127 + 19 * 17 on green; the introduction is gone.
  EXPECT_EQ(test::PixelAt(image, 36, 127 + 19 * 17 + 2), MESSAGE_SUCCESS_RESULT);
  EXPECT_EQ(test::PixelAt(image, 36, 127 + 18 * 17 + 2), MESSAGE_NORMAL);
  const auto packets = ecm_->Packets();
  ASSERT_EQ(packets.size(), 2u);  // X 0 and F: the update's own
  EXPECT_EQ(packets[0][1], 'X');
  EXPECT_EQ(packets[1][1], 'F');
  EXPECT_EQ(test::ReadFileBytes(dir_.File("Bank_7_new.bin")).size(), 16384u);

  // Repainted, the window replays the same lines.
  window_->SurfaceView()->update();
  test::Pump(50);
  EXPECT_EQ(Shot("flashupdate_repainted"), image);
}

TEST_F(FlashUpdateWindowTest, AFailedUpdateShowsTheRedLineAndTheErrorBox) {
  loader_->SetFault({sim::LoaderFaultKind::Refuse, 40});
  Open();
  RunUpdate();
  EXPECT_EQ(window_->LastResult(), -1);
  const std::vector<MessageLine> lines = window_->Messages().Shown();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.back(), (MessageLine{MESSAGE_FAILURE_RESULT, PadMessage("     -Update Failed-", 80)}));
  const std::vector<std::string> boxes = services_.Messages();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back(), "-ZRM Update Error-: ");
  EXPECT_TRUE(window_->ProceedButton()->isEnabled());
  Shot("flashupdate_failed");

  // The retry and what it reuses are the update tests' part (test_update_ecm).
}

TEST_F(FlashUpdateWindowTest, AWrongFirmwareImageIsRefusedBeforeAnythingIsSent) {
  test::WriteFileBytes(dir_.File("short.img"), std::vector<std::uint8_t>(1000, 0));
  Open(dir_.File("short.img"));
  EXPECT_FALSE(window_->ProceedWithUpdate());
  EXPECT_FALSE(window_->Started());
  EXPECT_FALSE(window_->Updating());
  const std::vector<std::string> boxes = services_.Messages();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Firmware Image Error: ", 0), 0u) << boxes[0];
  EXPECT_TRUE(loader_->Commands().empty());
  EXPECT_TRUE(ecm_->Packets().empty());
}

TEST_F(FlashUpdateWindowTest, BinUpdateAsksAgainForAForeignFileAndWritesTheNewBin) {
  Open();
  test::WriteFileText(dir_.File("notes.bin"), "hello, not a calibration");
  std::vector<std::uint8_t> race = sim::VersionedBank(2, 0x0202, 0x7676);
  test::WriteFileBytes(dir_.File("race.bin"), race);
  services_.choices = {dir_.File("notes.bin"), dir_.File("race.bin")};
  window_->BinUpdate();
  const std::string created = std::string(12, ' ') + "New BIN has been Created" + std::string(13, ' ');
  EXPECT_EQ(services_.Messages(),
            (std::vector<std::string>{"Incorrect BIN File: Not an ZRM Flash BIN", "SUCCESS!: " + created}));
  ASSERT_EQ(services_.requests.size(), 2u);
  EXPECT_EQ(services_.requests[0].title, "Select BIN file to update");
  EXPECT_EQ(window_->Settings().flashBin.path, dir_.File("race.bin"));
  EXPECT_EQ(window_->Settings().flashBin.folder, dir_.path() + "/");
  const std::vector<std::uint8_t> made = test::ReadFileBytes(dir_.File("race_new.bin"));
  ASSERT_EQ(made.size(), 16384u);
  EXPECT_EQ(made[9], 2);
  EXPECT_EQ(made[10], 7);
  EXPECT_EQ(made[2420], 5);  // a 2.2 calibration's new default
  EXPECT_NE(test::ReadFileText(dir_.File("fu.cfg")).find("[FLSHBINFILE] race.bin"), std::string::npos);
}

TEST_F(FlashUpdateWindowTest, ClosingSavesThePortAndThePosition) {
  Open();
  window_->move(40, 30);
  test::Pump(20);
  const QPoint at = window_->pos();
  window_->close();
  // The utility's lines end in CR LF on disk, all keys in their order.
  EXPECT_EQ(test::ReadFileText(dir_.File("fu.cfg")),
            "[ID] ZRM Flash Update\r\n[PORT] " + dir_.File("tty") + "\r\n[XPOSHWND] " + std::to_string(at.x()) +
                "\r\n[YPOSHWND] " + std::to_string(at.y()) + "\r\n[FLSHBIN] \r\n[FLSHBINFILE] \r\n[FLSHBINPATH] \r\n");
}

TEST_F(FlashUpdateWindowTest, QuestionMarkAndSlashOpenTheAboutBox) {
  Open();
  for (char key : {'?', '/'}) {
    QApplication::setActiveWindow(window_.get());
    test::Pump(20);
    bool shown = false;
    QTimer::singleShot(100, [&shown] {
      QWidget* box = QApplication::activeModalWidget();
      shown = dynamic_cast<UpdateAboutBox*>(box) != nullptr;
      if (box) box->close();
    });
    QTest::keyClick(window_.get(), key);
    test::Pump(150);
    EXPECT_TRUE(shown) << key;
  }
}

}  // namespace
}  // namespace zrm
