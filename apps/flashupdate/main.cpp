// ZRM_FlashUpdate: the firmware update utility of the ZRM Flash ECM.
//
//   ZRM_FlashUpdate [--config FILE] [--image FILE] [--dir DIR]
//
// Without arguments it runs as it always does: its configuration and the
// maker's firmware image ZRM_FlashUpdate.img beside the program, the bank
// files in the current folder. The options point elsewhere (the demo runs it
// against the simulated ECM with the synthetic image).
#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "apps/flashupdate/update_window.h"
#include "gui/qt_services.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  zrm::UpdateWindowOptions options;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--config") == 0 && hasValue) {
      options.configPath = argv[++i];
    } else if (std::strcmp(argv[i], "--image") == 0 && hasValue) {
      options.imagePath = argv[++i];
    } else if (std::strcmp(argv[i], "--dir") == 0 && hasValue) {
      options.bankFolder = argv[++i];
      if (!options.bankFolder.empty() && options.bankFolder.back() != '/') options.bankFolder += '/';
    } else {
      std::fprintf(stderr, "usage: ZRM_FlashUpdate [--config FILE] [--image FILE] [--dir DIR]\n");
      return 2;
    }
  }
  zrm::QtServices services;
  zrm::UpdateWindow window(options, services);
  window.show();
  return application.exec();
}
