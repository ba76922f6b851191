// Values derived once per accepted frame and read by the displays and the
// status panel, on other threads: each is one atomic word, the latest wins.
#pragma once

#include <atomic>

namespace zrm {

struct RuntimeRecord {
  std::atomic<int> runHours{0};
  std::atomic<int> runMinutes{0};
  std::atomic<int> runSeconds{0};
  std::atomic<int> framesThisSecond{0};
  std::atomic<int> goodFrames{0};
  std::atomic<int> linkAlive{0};
  std::atomic<int> engineRunning{0};
  std::atomic<int> promId{0};
  std::atomic<int> rpm{0};
  std::atomic<int> cylinders{0};
  std::atomic<int> multiPort{0};
  std::atomic<int> mapSensorBars{1};
  std::atomic<int> firmwareMinor{0};
  std::atomic<int> flashController{0};
  std::atomic<int> flashBank{0};
};

}  // namespace zrm
