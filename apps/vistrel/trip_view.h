// The trip computer in the main window: display mode 1's body, its "Clear
// Data" button, and the trip computer's ties to the frame processing, the
// playback and the configuration file (the totals are saved with it).
#pragma once

#include <QPointer>
#include <QPushButton>
#include <memory>

#include "displays/trip_computer.h"

namespace zrm {

class MainWindow;
class VistrelApp;

class TripView {
 public:
  TripView(MainWindow& window, VistrelApp& app, const PreferredChannels* preferred);
  ~TripView();
  TripView(const TripView&) = delete;
  TripView& operator=(const TripView&) = delete;

  TripComputer& Model() { return *model_; }
  QPushButton* ClearButton() const { return clear_; }

 private:
  void CreateControls();
  void RemoveControls();
  void ClearData();

  MainWindow& window_;
  VistrelApp& app_;
  std::unique_ptr<TripComputer> model_;
  QPointer<QPushButton> clear_;
};

}  // namespace zrm
