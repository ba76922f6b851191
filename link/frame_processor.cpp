#include "link/frame_processor.h"

#include "link/conversions.h"
#include "link/runtime_frame.h"

namespace zrm {

namespace {

constexpr int ENGINE_CONFIRM_FRAMES = 34;
constexpr int FRAMES_PER_ACTIVITY_STEP = 4;
constexpr int FRAMES_PER_PROGRESS_STEP = 17;

constexpr DisplayOrder kDisplayOrders[] = {
    {MODE_TRIP, 5, {DISPLAY_TRIP, DISPLAY_GAUGE, DISPLAY_VELEARN, DISPLAY_KNOCK, DISPLAY_DIAGNOSTICS}},
    {MODE_GAUGE, 5, {DISPLAY_GAUGE, DISPLAY_TRIP, DISPLAY_VELEARN, DISPLAY_KNOCK, DISPLAY_DIAGNOSTICS}},
    {MODE_VELEARN, 5, {DISPLAY_VELEARN, DISPLAY_GAUGE, DISPLAY_TRIP, DISPLAY_KNOCK, DISPLAY_DIAGNOSTICS}},
    {MODE_KNOCK, 5, {DISPLAY_KNOCK, DISPLAY_GAUGE, DISPLAY_TRIP, DISPLAY_VELEARN, DISPLAY_DIAGNOSTICS}},
    {MODE_DIAGNOSTICS, 5, {DISPLAY_DIAGNOSTICS, DISPLAY_GAUGE, DISPLAY_TRIP, DISPLAY_VELEARN, DISPLAY_KNOCK}},
};

}  // namespace

const DisplayOrder* DisplayOrderFor(int mode) {
  for (const DisplayOrder& row : kDisplayOrders) {
    if (row.mode == mode) return &row;
  }
  return nullptr;
}

int FrameProcessor::ProcessNextFrame() {
  if (autoVSave.load(std::memory_order_relaxed) == 1) {
    int ticker = secondsTicker.load(std::memory_order_relaxed);
    if (ticker >= nextAutoSave.load(std::memory_order_relaxed)) {
      nextAutoSave.store(autoVTime.load(std::memory_order_relaxed) * 60 + ticker, std::memory_order_relaxed);
      if (hooks.autoSaveVeLearn) hooks.autoSaveVeLearn();
    }
  }

  std::uint8_t frame[273];
  FrameTexts texts;
  int result = ReadFrame(sources_, frame, texts);
  if (result == FRAME_BAD_SUM) badFrames.fetch_add(1, std::memory_order_relaxed);
  if (result != FRAME_OK) return result;
  ProcessFrame(frame);
  return FRAME_OK;
}

void FrameProcessor::ProcessFrame(const std::uint8_t* frame) {
  if (record.goodFrames.fetch_add(1, std::memory_order_relaxed) + 1 > 10)
    record.linkAlive.store(1, std::memory_order_relaxed);

  const RunTime run = SplitRunTime(frame);
  const int runTimeSec = FrameWord(frame, field::runTimeSec);

  // Engine running: a candidate frame, then 34 more frames with the flag.
  // Frames without it do not reset the count while not running.
  const bool runFlag = FrameBit(frame, field::statusByte1, 7);
  if (record.engineRunning.load(std::memory_order_relaxed) == 0 && runFlag) {
    if (runCandidate.load(std::memory_order_relaxed) == 1) {
      if (runConfirmCount.fetch_add(1, std::memory_order_relaxed) + 1 == ENGINE_CONFIRM_FRAMES)
        record.engineRunning.store(1, std::memory_order_relaxed);
    } else if (run.hours < 16) {
      runCandidate.store(1, std::memory_order_relaxed);
    }
  } else if (record.engineRunning.load(std::memory_order_relaxed) == 1) {
    if (!runFlag || FrameBit(frame, field::statusByte0, 4) || runTimeSec == 0) {
      record.engineRunning.store(0, std::memory_order_relaxed);
      runCandidate.store(0, std::memory_order_relaxed);
      runConfirmCount.store(0, std::memory_order_relaxed);
      if (hooks.tripEngineStopped) hooks.tripEngineStopped();
    }
  } else {
    catchUpActive.store(0, std::memory_order_relaxed);
  }

  int frames = record.framesThisSecond.load(std::memory_order_relaxed) + 1;
  if (run.seconds != record.runSeconds.load(std::memory_order_relaxed)) frames = 0;
  record.framesThisSecond.store(frames, std::memory_order_relaxed);
  record.runHours.store(run.hours, std::memory_order_relaxed);
  record.runMinutes.store(run.minutes, std::memory_order_relaxed);
  record.runSeconds.store(run.seconds, std::memory_order_relaxed);

  record.promId.store(FrameWord(frame, field::promId), std::memory_order_relaxed);
  record.cylinders.store(CylinderCount(frame), std::memory_order_relaxed);
  record.rpm.store(ComputeRpm(frame), std::memory_order_relaxed);
  record.multiPort.store(IsMultiPort(frame) ? 1 : 0, std::memory_order_relaxed);
  record.mapSensorBars.store(MapSensorBars(frame), std::memory_order_relaxed);
  record.firmwareMinor.store(FirmwareMinor(frame), std::memory_order_relaxed);
  record.flashController.store(IsFlashController(frame) ? 1 : 0, std::memory_order_relaxed);
  record.flashBank.store(FlashBank(frame), std::memory_order_relaxed);

  if (hooks.updateUserDevices) hooks.updateUserDevices(frame, 0);

  if (FrameByte(frame, field::sparkRetard) != 0 && record.engineRunning.load(std::memory_order_relaxed) == 1 &&
      knockAlert.load(std::memory_order_relaxed) == 1 && hooks.services)
    hooks.services->Beep(BEEP_EXCLAMATION);

  const bool playback = playbackRunning.load(std::memory_order_relaxed);
  if (!playback && ++activityFrames_ >= FRAMES_PER_ACTIVITY_STEP) {
    activityFrames_ = 0;
    if (hooks.activityStep) hooks.activityStep();
  }

  const int mode = displayMode.load(std::memory_order_relaxed);
  if (catchUpActive.load(std::memory_order_acquire) == 0) {
    if (playback && progressFrames_.fetch_add(1, std::memory_order_relaxed) + 1 >= FRAMES_PER_PROGRESS_STEP) {
      progressFrames_.store(0, std::memory_order_relaxed);
      if (hooks.playbackProgressStep) hooks.playbackProgressStep();
    }
    if (const DisplayOrder* order = DisplayOrderFor(mode)) {
      for (int i = 0; i < order->count; ++i) {
        const DisplayUpdate& update = displays_[order->order[i]];
        if (update) update(frame, i == 0 ? 1 : 0);
      }
    }
  } else {
    // Catching up after a step-back: only the gauge and diagnostics displays
    // follow the replayed stretch, so nothing accumulates it twice.
    if (runTimeSec >= catchUpSeconds.load(std::memory_order_relaxed) &&
        frames >= catchUpFrames.load(std::memory_order_relaxed))
      catchUpActive.store(0, std::memory_order_relaxed);
    if (mode == MODE_GAUGE && displays_[DISPLAY_GAUGE]) displays_[DISPLAY_GAUGE](frame, 1);
    if (mode == MODE_DIAGNOSTICS && displays_[DISPLAY_DIAGNOSTICS]) displays_[DISPLAY_DIAGNOSTICS](frame, 1);
  }

  if (malfCodesOpen.load(std::memory_order_relaxed) && hooks.malfCodesFrame) hooks.malfCodesFrame(frame);
  if (bankSelectorOpen.load(std::memory_order_relaxed)) {
    int bank = FlashBank(frame);
    if (bank != shownBank.load(std::memory_order_relaxed)) {
      if (hooks.refreshBankSelector) hooks.refreshBankSelector(bank);
      shownBank.store(bank, std::memory_order_relaxed);
    }
  }
}

void FrameProcessor::StartCatchUp() {
  if (catchUpActive.load(std::memory_order_acquire) != 0) return;
  int seconds = record.runHours.load() * 3600 + record.runMinutes.load() * 60 + record.runSeconds.load();
  int frames = record.framesThisSecond.load();
  if (frames == 16) {
    ++seconds;
    frames = 0;
  }
  catchUpSeconds.store(seconds, std::memory_order_relaxed);
  catchUpFrames.store(frames, std::memory_order_relaxed);
  catchUpActive.store(1, std::memory_order_release);
}

void FrameProcessor::ResetRunState() {
  progressFrames_.store(0);  // the next playback's bar starts its count afresh
  runCandidate.store(0);
  runConfirmCount.store(0);
  record.engineRunning.store(0);
  catchUpActive.store(0);
}

}  // namespace zrm
