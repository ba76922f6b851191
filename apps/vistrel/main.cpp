// vistrel: live displays, data logs, analysis, VE learn and flash banks of the
// ZRM Flash ECM.
//
//   vistrel [--config FILE] [--screenshots DIR] [--settle SECONDS] [--exit-after SECONDS]
//
// --screenshots switches through every display as a user would with the
// keys 1 to 5, saves a picture of each into DIR and exits the normal way.
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>
#include <QShortcut>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "apps/vistrel/main_window.h"
#include "gui/qt_services.h"
#include "shell/main_menu.h"

namespace {

volatile std::sig_atomic_t stopSignal = 0;
void OnStopSignal(int) { stopSignal = 1; }

struct Options {
  zrm::VistrelStartOptions start;
  QString screenshots;
  double settleSeconds = 3;
  double exitAfter = 0;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    auto value = [&](const char* name) -> const char* {
      if (std::strcmp(argv[i], name) != 0 || i + 1 >= argc) return nullptr;
      return argv[++i];
    };
    if (const char* v = value("--config")) {
      options->start.configPath = v;
    } else if (const char* v2 = value("--screenshots")) {
      options->screenshots = QString::fromLocal8Bit(v2);
    } else if (const char* v3 = value("--settle")) {
      options->settleSeconds = std::atof(v3);
    } else if (const char* v4 = value("--exit-after")) {
      options->exitAfter = std::atof(v4);
    } else {
      return false;
    }
  }
  return true;
}

void TypeKey(QWidget* target, char key) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_0 + (key - '0'), Qt::NoModifier, QString(QChar(key)));
  QApplication::sendEvent(target, &press);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr, "usage: vistrel [--config FILE] [--screenshots DIR] [--settle SECONDS] [--exit-after SECONDS]\n");
    return 2;
  }
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);

  zrm::QtServices services;
  zrm::VistrelApp app(&services);
  app.LoadSettings(options.start);
  zrm::MainWindow window(app, services);
  window.show();
  if (const char* failed = app.StartThreads()) {
    // Said on the terminal too, so that a script sees why the program ended.
    std::fprintf(stderr, "vistrel: CreateThread failed (%s)\n", failed);
    QMessageBox box(QMessageBox::NoIcon, failed, "CreateThread failed", QMessageBox::Ok);
    QTimer stopPoll;
    QObject::connect(&stopPoll, &QTimer::timeout, &box, [&box] {
      if (stopSignal) box.reject();
    });
    stopPoll.start(50);
    box.exec();
    return 0;
  }
  window.SwitchDisplay(zrm::CMD_VISTREL);

  for (const char* keys : {"Alt+?", "Alt+/"}) {
    auto* about = new QShortcut(QKeySequence(keys), &window);
    QObject::connect(about, &QShortcut::activated, &window, [&window] { window.Command(zrm::CMD_ABOUT); });
  }

  // SIGINT and SIGTERM end the program the same way as closing the window.
  QTimer signalPoll;
  QObject::connect(&signalPoll, &QTimer::timeout, &window, [&window] {
    if (stopSignal) window.close();
  });
  signalPoll.start(50);

  if (options.exitAfter > 0)
    QTimer::singleShot(static_cast<int>(options.exitAfter * 1000), &window, [&window] { window.close(); });

  if (!options.screenshots.isEmpty()) {
    QDir().mkpath(options.screenshots);
    const int settle = static_cast<int>(options.settleSeconds * 1000);
    struct Shot {
      char key;
      const char* name;
    };
    static const Shot shots[] = {{'2', "trip"}, {'3', "velearn"}, {'4', "knock"}, {'5', "diagnostics"}, {'1', "gauge"}};
    int at = settle;
    for (const Shot& shot : shots) {
      QTimer::singleShot(at, &window, [&window, shot, dir = options.screenshots] {
        TypeKey(window.SurfaceView(), shot.key);
        QTimer::singleShot(1500, &window, [&window, shot, dir] {
          window.grab().save(dir + "/" + shot.name + ".png");
        });
      });
      at += 2000;
    }
    QTimer::singleShot(at + 500, &window, [&window] { window.close(); });
  }
  return application.exec();
}
