#include "flash/flash_window_model.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "flash/zrm_bin.h"

namespace zrm {

namespace {

constexpr int NAME_CLEAR_X = 334;
constexpr int NAME_X = 339;
constexpr int PROGRAM_NAME_Y = 157;
constexpr int READ_NAME_Y = 209;

FileDialogRequest BinDialog(const char* title, const FilePathTriple& remembered) {
  FileDialogRequest request;
  request.title = title;
  request.filters = {{"BIN (*.bin)", "*.bin"}, {"All (*.*)", "*.*"}};
  request.initialFolder = remembered.folder;
  request.initialName = remembered.name;
  // The folder must exist; the file is tested here.
  request.mustExist = false;
  return request;
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

}  // namespace

int BankOfControl(FlashControlId id) {
  const int n = static_cast<int>(id) - static_cast<int>(FlashControlId::Bank0);
  return n >= 0 && n < 8 ? n : -1;
}

FlashControlId BankControl(int bank) {
  return static_cast<FlashControlId>(static_cast<int>(FlashControlId::Bank0) + (bank & 7));
}

bool FlashControlEnabled(FlashControlId id, int action) {
  switch (id) {
    case FlashControlId::Verify:
    case FlashControlId::ProgramFileGroup:
      return action == FLASH_ACTION_PROGRAM;
    case FlashControlId::ReadFileGroup:
      return action == FLASH_ACTION_READ;
    default:
      return true;
  }
}


bool SelectProgramFile(VistrelSettings& settings, PlatformServices& services) {
  std::string path;
  if (!services.ChooseFile(BinDialog(PROGRAM_DIALOG_TITLE, settings.flashBin), &path)) return false;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    services.ShowMessage(BIN_OPEN_ERROR_CAPTION, BIN_OPEN_ERROR_TEXT, MessageIcon::Information);
    return false;
  }
  std::uint8_t calibration[CALIBRATION_SIZE] = {};
  const std::size_t got = std::fread(calibration, 1, sizeof calibration, file);
  std::fclose(file);
  if (!HasZrmMagic(calibration, got)) {
    services.ShowMessage(BIN_INCORRECT_CAPTION, BIN_INCORRECT_TEXT, MESSAGE_NO_ICON);
    return false;
  }
  if (got < sizeof calibration) {
    services.ShowMessage(BIN_INCORRECT_CAPTION, BIN_TOO_SHORT_TEXT, MESSAGE_NO_ICON);
    return false;
  }
  settings.flashBin = SplitFilePath(path);
  return true;
}

bool SelectReadFile(VistrelSettings& settings, PlatformServices& services, const AskYesNoCancel& ask) {
  FileDialogRequest request = BinDialog(READ_DIALOG_TITLE, settings.readBin);
  request.defaultExtension = "bin";
  std::string path;
  for (;;) {
    if (!services.ChooseFile(request, &path)) return false;
    if (!FileExists(path)) break;
    const QuestionAnswer answer = ask ? ask(BIN_EXISTS_CAPTION, BIN_EXISTS_TEXT) : QuestionAnswer::Cancel;
    if (answer == QuestionAnswer::Yes) break;
    if (answer == QuestionAnswer::Cancel) return false;
  }
  settings.readBin = SplitFilePath(path);
  return true;
}

std::string ElapsedText(std::uint32_t ticks) {
  char text[64];
  std::snprintf(text, sizeof text, "%3.1f Second(s)", static_cast<double>(ticks) / 10.0);
  return text;
}

int FlashApply(const VistrelSettings& settings, FlashProtocol& protocol, MessageWindow& messages,
               PlatformServices& services, const OperationRunner& run, BinFiles& files) {
  const std::uint32_t start = protocol.Transport().FlashTicks();
  messages.ClearMessages();
  PrepareBankOperation(protocol, settings.flashBank);
  const BankOperationOptions options{settings.flashVerify != 0, settings.flashSetBank != 0};

  std::function<int()> operation;
  if (settings.flashAction == FLASH_ACTION_PROGRAM) {
    if (settings.flashBin.path.empty()) {
      services.ShowMessage(FILE_ERROR_CAPTION, NEED_PROGRAM_NAME, MessageIcon::Information);
      return -1;
    }
    const std::string path = settings.flashBin.path;
    operation = [&protocol, options, path, &messages, &files] {
      return ProgramBankFromFile(protocol, options, path, messages, files);
    };
  } else if (settings.flashAction == FLASH_ACTION_READ) {
    if (settings.readBin.folder.empty()) {
      services.ShowMessage(FILE_ERROR_CAPTION, NEED_READ_NAME, MessageIcon::Information);
      return -1;
    }
    const std::string path = settings.readBin.path;
    operation = [&protocol, options, path, &messages, &files] {
      return ReadBankToFile(protocol, options, path, messages, files);
    };
  } else {
    return -1;
  }

  const int result = run ? run(operation) : operation();
  if (result == 0) {
    messages.LogMessage(MESSAGE_NORMAL, "");
    messages.LogMessage(MESSAGE_NORMAL, ElapsedText(protocol.Transport().FlashTicks() - start));
  }
  return result;
}

void PaintFlashPicture(Canvas& canvas) {
  // A flash chip in its socket: the picture is ours to choose.
  constexpr Colour SOCKET = 0x3C7A2E;
  constexpr Colour BODY = 0x282828;
  constexpr Colour PIN = 0xB4B4B4;
  constexpr Colour LABEL = 0xF0F0F0;
  canvas.FillRect(580, 40, 780, 140, COLOUR_BACKGROUND);
  canvas.FillRect(590, 48, 770, 132, SOCKET);
  for (int i = 0; i < 10; ++i) {
    const int x = 606 + i * 16;
    canvas.FillRect(x, 52, x + 8, 64, PIN);
    canvas.FillRect(x, 116, x + 8, 128, PIN);
  }
  canvas.FillRect(598, 62, 762, 118, BODY);
  canvas.SetPen(BODY, 1);
  canvas.SetBrush(SOCKET);
  canvas.Ellipse(600, 82, 612, 98);  // the notch at pin 1's end
  canvas.SetFont(FontId::List);
  canvas.SetTransparentText(true);
  canvas.SetTextColour(LABEL);
  canvas.Text(680, 70, "ZRM", TextAlign::Centre);
  canvas.Text(680, 92, "FLASH", TextAlign::Centre);
  canvas.SetTransparentText(false);
}

void PaintFlashFileNames(Canvas& canvas, const VistrelSettings& settings) {
  const std::string blank(FLASH_NAME_WIDTH, ' ');
  canvas.SetFont(FontId::List);
  canvas.SetTransparentText(false);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.Text(NAME_CLEAR_X, PROGRAM_NAME_Y, blank);
  canvas.Text(NAME_CLEAR_X, READ_NAME_Y, blank);
  const bool program = settings.flashAction == FLASH_ACTION_PROGRAM;
  canvas.SetTextColour(program ? COLOUR_TEXT : FLASH_INACTIVE_NAME);
  canvas.Text(NAME_X, PROGRAM_NAME_Y, settings.flashBin.name.substr(0, FLASH_NAME_WIDTH));
  canvas.SetTextColour(settings.flashAction == FLASH_ACTION_READ ? COLOUR_TEXT : FLASH_INACTIVE_NAME);
  canvas.Text(NAME_X, READ_NAME_Y, settings.readBin.name.substr(0, FLASH_NAME_WIDTH));
}

void PaintFlashWindow(Canvas& canvas, const VistrelSettings& settings, const MessageWindow& messages) {
  PaintFlashPicture(canvas);
  canvas.SetFont(FontId::Title);
  canvas.SetTransparentText(false);
  canvas.SetTextColour(COLOUR_TEXT);
  canvas.SetBackColour(COLOUR_BACKGROUND);
  canvas.Text(312, 6, FLASH_TITLE);
  messages.RedrawMessages(canvas);
  PaintFlashFileNames(canvas, settings);
}

}  // namespace zrm
