#include "displays/malf_codes.h"

#include <vector>

namespace zrm {

namespace {

void FillLamp(Canvas& canvas, const MalfLamp& lamp, bool on) {
  canvas.FillRect(lamp.x, lamp.y, lamp.x + MALF_LAMP_WIDTH, lamp.y + MALF_LAMP_HEIGHT,
                  on ? MALF_LAMP_ON : MALF_LAMP_OFF);
}

}  // namespace

MalfLamp MalfLampAt(int lamp) {
  if (lamp < 0 || lamp >= MALF_LAMP_COUNT) return {nullptr, 0, 0, false, 0, 0};
  const MalfCodeRow& row = MALF_CODE_ROWS[static_cast<std::size_t>(lamp / MALF_COLUMNS)];
  const auto column = static_cast<std::size_t>(lamp % MALF_COLUMNS);
  return {column == 0 ? row.label : nullptr, row.groupByte + MALF_GROUP_OFFSET[column], row.mask, false,
          MALF_COLUMN_X[column], row.y};
}

bool MalfLampOn(const MalfLamp& lamp, const std::uint8_t* frame) {
  return ((frame[lamp.frameByte] & lamp.mask) != 0) != lamp.invert;
}

int MalfCodes::MalfCodesFrame(const std::uint8_t* frame, SurfaceAccess* surface) {
  std::vector<int> changed;
  {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < MALF_LAMP_COUNT; ++i) {
      const bool on = MalfLampOn(MalfLampAt(i), frame);
      if (on == states_[static_cast<std::size_t>(i)]) continue;
      states_[static_cast<std::size_t>(i)] = on;
      changed.push_back(i);
    }
  }
  if (changed.empty() || surface == nullptr) return 0;
  surface->DrawValues([this, &changed](Canvas& canvas) {
    std::lock_guard lock(mutex_);
    for (int i : changed) FillLamp(canvas, MalfLampAt(i), states_[static_cast<std::size_t>(i)]);
  });
  return 0;
}

void MalfCodes::PaintMalfCodes(Canvas& canvas) const {
  std::lock_guard lock(mutex_);
  canvas.SetFont(FontId::Small);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.SetTransparentText(false);
  canvas.SetPen(COLOUR_TEXT, 1);
  canvas.SetNullBrush();
  for (int i = 0; i < MALF_LAMP_COUNT; ++i) {
    const MalfLamp lamp = MalfLampAt(i);
    // The outline's corners are (x - 1, y - 1) and (x + 13, y + 9), around the lamp.
    canvas.Rectangle(lamp.x - 1, lamp.y - 1, lamp.x + MALF_LAMP_WIDTH + 1, lamp.y + MALF_LAMP_HEIGHT + 1);
    if (lamp.label != nullptr) canvas.Text(MALF_LABEL_X, lamp.y - 2, lamp.label);
    FillLamp(canvas, lamp, states_[static_cast<std::size_t>(i)]);
  }
}

bool MalfCodes::LampState(int lamp) const {
  std::lock_guard lock(mutex_);
  return lamp >= 0 && lamp < MALF_LAMP_COUNT && states_[static_cast<std::size_t>(lamp)];
}

}  // namespace zrm
