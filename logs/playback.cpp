#include "logs/playback.h"

#include <algorithm>

#include "platform/clock.h"

namespace zrm {

namespace {

int ClampDelay(int value) { return std::clamp(value, 0, 100); }

}  // namespace

int PlaybackProgressRange(std::int64_t size) {
  // Five steps of slack over one step per 4709 bytes.
  if (size < 0) size = 0;
  return static_cast<int>(size / PLAYBACK_STEP_BYTES + 5);
}

LogMenuItems LogMenuState(bool logActive, bool playbackActive) {
  return {!logActive && !playbackActive, logActive, !playbackActive, playbackActive};
}

Playback::Playback(FrameSources& sources, FrameProcessor& processor, DisplayThread& display, DataLog& dataLog,
                   const ConfigFile& config, VistrelSettings& settings, PlatformServices& services)
    : sources_(sources),
      processor_(processor),
      display_(display),
      dataLog_(dataLog),
      config_(config),
      settings_(settings),
      services_(services) {
  sources_.playback.endHook = [this] { MarkPlaybackEnd(); };
  processor_.hooks.playbackProgressStep = [this] { ProgressStep(); };
}

Playback::~Playback() {
  // The DisplayThread has stopped by now; only our stream must not stay behind.
  if (sources_.FrameSource() == SOURCE_PLAYBACK) sources_.SetFrameSource(SOURCE_LIVE);
  sources_.SetPlaybackStream(false, nullptr);
  sources_.playback.endHook = nullptr;
  processor_.hooks.playbackProgressStep = nullptr;
}

void Playback::Changed() {
  if (onStateChanged) onStateChanged();
}

int Playback::StartPlayback() {
  const int mode = processor_.displayMode.load(std::memory_order_acquire);
  if ((mode == MODE_ANALYSIS || mode == MODE_FLASH) && switchToGauge) switchToGauge();
  if (PlaybackActive()) return -1;

  std::string path;
  if (!services_.ChooseFile(DataLogDialog(PLAYBACK_TITLE, settings_.playback), &path)) return -1;
  auto stream = std::make_unique<InputFile>();
  if (stream->Open(path) != 0) {
    services_.ShowMessage(PLAYBACK_OPEN_ERROR_CAPTION, PLAYBACK_OPEN_ERROR_TEXT, MessageIcon::Information);
    return -1;
  }
  dataLog_.StopDataLog();

  fileSize_ = std::max<std::int64_t>(stream->Size(), 0);
  progressRange_.store(PlaybackProgressRange(fileSize_), std::memory_order_release);
  progressPosition_.store(0, std::memory_order_release);
  stream_ = std::move(stream);
  fileName_ = SplitFilePath(path).name;

  atEnd_.store(false, std::memory_order_release);
  display_.playbackPaused.store(false, std::memory_order_release);
  display_.backUpCount.store(0, std::memory_order_release);
  ApplyPlaybackDelay();
  active_.store(true, std::memory_order_release);
  processor_.playbackRunning.store(true, std::memory_order_release);
  sources_.SetPlaybackStream(true, stream_.get());
  sources_.SetFrameSource(SOURCE_PLAYBACK);

  settings_.playback = SplitFilePath(path);
  SaveConfig(config_);
  Changed();

  if (tripRefreshReset) tripRefreshReset();
  if (disconnectPort) disconnectPort();
  if (processor_.bankSelectorOpen.load(std::memory_order_acquire) && closeBankSelector) closeBankSelector();
  return 0;
}

void Playback::StopPlayback() {
  if (!PlaybackActive()) return;
  active_.store(false, std::memory_order_release);
  atEnd_.store(false, std::memory_order_release);
  sources_.SetFrameSource(SOURCE_LIVE);
  processor_.playbackRunning.store(false, std::memory_order_release);
  // A byte read already under way may still use the file; after the first
  // wait nothing reads it, after the second nothing holds it.
  SleepMs(PLAYBACK_CLOSE_WAIT_MS);
  sources_.SetPlaybackStream(false, nullptr);
  SleepMs(PLAYBACK_CLOSE_WAIT_MS);
  stream_.reset();
  // An end met while switching away is no longer shown.
  atEnd_.store(false, std::memory_order_release);

  display_.playbackPaused.store(false, std::memory_order_release);
  display_.backUpCount.store(0, std::memory_order_release);
  progressRange_.store(0, std::memory_order_release);
  progressPosition_.store(0, std::memory_order_release);
  processor_.ResetRunState();
  Changed();

  if (tripRefreshReset) tripRefreshReset();
  if (!(portOpen && portOpen()) && reconnectPort) reconnectPort();
  if (settings_.flashBankOpen == 1 && !processor_.bankSelectorOpen.load(std::memory_order_acquire) &&
      openBankSelector)
    openBankSelector();
}

bool Playback::TogglePause() {
  if (!PlaybackActive()) return false;
  const bool paused = !display_.playbackPaused.load(std::memory_order_acquire);
  display_.playbackPaused.store(paused, std::memory_order_release);
  Changed();
  return paused;
}

bool Playback::PlaybackPaused() const {
  return PlaybackActive() && display_.playbackPaused.load(std::memory_order_acquire);
}

int Playback::BackUpCount() const { return display_.backUpCount.load(std::memory_order_acquire); }

void Playback::BackUpClick() {
  if (!PlaybackActive() || PlaybackAtEnd()) return;
  // The target first: the DisplayThread may step back as soon as it sees the count.
  processor_.StartCatchUp();
  display_.backUpCount.fetch_add(BACKUP_CLICK_UNITS, std::memory_order_acq_rel);
}

void Playback::BackUpDoubleClick() {
  if (!PlaybackActive() || PlaybackAtEnd()) return;
  processor_.StartCatchUp();
  display_.backUpCount.fetch_add(BACKUP_DOUBLE_CLICK_UNITS, std::memory_order_acq_rel);
}

void Playback::SetRateFromTrackbar(int position) {
  settings_.playbackDelay = 100 - std::clamp(position, 0, 100);
  display_.pbSpd.store(settings_.playbackDelay, std::memory_order_release);
}

int Playback::RateTrackbarPosition() const { return 100 - ClampDelay(settings_.playbackDelay); }

void Playback::ApplyPlaybackDelay() {
  settings_.playbackDelay = ClampDelay(settings_.playbackDelay);
  display_.pbSpd.store(settings_.playbackDelay, std::memory_order_release);
}

void Playback::ProgressStep() {
  if (!PlaybackActive()) return;
  // Only the DisplayThread steps; the bar stays full rather than wrapping.
  const int position = progressPosition_.load(std::memory_order_relaxed);
  if (position < progressRange_.load(std::memory_order_acquire))
    progressPosition_.store(position + 1, std::memory_order_release);
  if (onProgressStep) onProgressStep();
}

void Playback::MarkPlaybackEnd() {
  if (!PlaybackActive()) return;
  // The steps count frames, and the head, the stamps and the range's five
  // spare steps are no frames: the bar would stop short of its end. The
  // end of the file is the end of the bar.
  progressPosition_.store(progressRange_.load(std::memory_order_acquire), std::memory_order_release);
  atEnd_.store(true, std::memory_order_release);
  if (onAtEnd) onAtEnd();
}

}  // namespace zrm
