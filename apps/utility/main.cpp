// ZRM_Utility: the BPC fuel calculator of the ZRM Flash ECM.
//
//   ZRM_Utility [--config FILE]
#include <QApplication>
#include <QTimer>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "apps/utility/utility_window.h"
#include "gui/qt_services.h"

namespace {

volatile std::sig_atomic_t stopSignal = 0;
void OnStopSignal(int) { stopSignal = 1; }

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Numbers are shown and read with a decimal point whatever the desktop's language.
  std::setlocale(LC_NUMERIC, "C");
  zrm::UtilityStartOptions options;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--config") == 0 && i + 1 < argc) {
      options.configPath = argv[++i];
    } else {
      std::fprintf(stderr, "usage: ZRM_Utility [--config FILE]\n");
      return 2;
    }
  }
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);

  zrm::QtServices services;
  zrm::UtilityWindow window(options, services);
  window.show();

  // SIGINT and SIGTERM end the program as closing the window does: the
  // configuration is saved.
  QTimer signalPoll;
  QObject::connect(&signalPoll, &QTimer::timeout, &window, [&window] {
    if (stopSignal) window.close();
  });
  signalPoll.start(50);
  return application.exec();
}
