// The flash bank window of vistrel without its widgets: the control table,
// the file selections, Apply, and the painters of the window's static layer.
// The Qt view places the controls from the table and calls these.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "flash/bank_procedures.h"
#include "flash/message_window.h"
#include "platform/canvas.h"
#include "platform/services.h"
#include "shell/vistrel_config.h"

namespace zrm {

constexpr int FLASH_ACTION_PROGRAM = 1;
constexpr int FLASH_ACTION_READ = 2;

enum class FlashControlKind { GroupBox, RadioButton, CheckBox, PushButton };

enum class FlashControlId {
  BankGroup,
  Bank0, Bank1, Bank2, Bank3, Bank4, Bank5, Bank6, Bank7,
  ActionGroup,
  ProgramBank,
  ReadBank,
  SelectBin,
  OptionsGroup,
  Verify,
  SetBankActive,
  ProgramFileGroup,
  ReadFileGroup,
  MessagesGroup,
  Close,
  Apply,
};

struct FlashControl {
  FlashControlId id;
  FlashControlKind kind;
  const char* text;
  int x, y, width, height;
  bool textOnLeft;
  bool startsGroup;
};

// Creation order is tab order.
constexpr FlashControl FLASH_CONTROLS[] = {
    {FlashControlId::BankGroup, FlashControlKind::GroupBox, "Flash Bank", 100, 60, 420, 50, false, false},
    {FlashControlId::Bank0, FlashControlKind::RadioButton, "0", 120, 80, 30, 20, true, true},
    {FlashControlId::Bank1, FlashControlKind::RadioButton, "1", 170, 80, 30, 20, true, false},
    {FlashControlId::Bank2, FlashControlKind::RadioButton, "2", 220, 80, 30, 20, true, false},
    {FlashControlId::Bank3, FlashControlKind::RadioButton, "3", 270, 80, 30, 20, true, false},
    {FlashControlId::Bank4, FlashControlKind::RadioButton, "4", 320, 80, 30, 20, true, false},
    {FlashControlId::Bank5, FlashControlKind::RadioButton, "5", 370, 80, 30, 20, true, false},
    {FlashControlId::Bank6, FlashControlKind::RadioButton, "6", 420, 80, 30, 20, true, false},
    {FlashControlId::Bank7, FlashControlKind::RadioButton, "7", 470, 80, 30, 20, true, false},
    {FlashControlId::ActionGroup, FlashControlKind::GroupBox, "Action", 100, 140, 170, 92, false, false},
    {FlashControlId::ProgramBank, FlashControlKind::RadioButton, "Program Bank", 120, 170, 130, 20, true, true},
    {FlashControlId::ReadBank, FlashControlKind::RadioButton, "Read Bank", 120, 200, 130, 20, true, false},
    {FlashControlId::SelectBin, FlashControlKind::PushButton, "Select BIN", 330, 242, 80, 30, false, false},
    {FlashControlId::OptionsGroup, FlashControlKind::GroupBox, "Options", 100, 304, 170, 92, false, false},
    {FlashControlId::Verify, FlashControlKind::CheckBox, "Verify", 120, 334, 130, 20, true, false},
    {FlashControlId::SetBankActive, FlashControlKind::CheckBox, "Set Bank Active", 120, 364, 130, 20, true, false},
    {FlashControlId::ProgramFileGroup, FlashControlKind::GroupBox, "Program File Name", 330, 140, 390, 42, false, false},
    {FlashControlId::ReadFileGroup, FlashControlKind::GroupBox, "Read File Name", 330, 192, 390, 42, false, false},
    {FlashControlId::MessagesGroup, FlashControlKind::GroupBox, "Messages", 330, 304, 394, 161, false, false},
    {FlashControlId::Close, FlashControlKind::PushButton, "Close", 540, 500, 80, 30, false, false},
    {FlashControlId::Apply, FlashControlKind::PushButton, "Apply", 640, 500, 80, 30, false, false},
};

// The bank of a bank radio button, or -1.
int BankOfControl(FlashControlId id);
FlashControlId BankControl(int bank);

// Which controls are enabled for an action: Verify and the program file's
// group with Program, the read file's group with Read.
bool FlashControlEnabled(FlashControlId id, int action);

constexpr Colour FLASH_INACTIVE_NAME = 0x828282;
constexpr int FLASH_NAME_WIDTH = 40;

constexpr const char* FLASH_TITLE = "ZRM Flash Program";
constexpr const char* PROGRAM_DIALOG_TITLE = "Select BIN file to Flash to ZRM";
constexpr const char* READ_DIALOG_TITLE = "Select/Create File to Save ZRM BIN to";
constexpr const char* BIN_OPEN_ERROR_CAPTION = "File Open Error";
constexpr const char* BIN_OPEN_ERROR_TEXT = "Can not open BIN File";
constexpr const char* BIN_EXISTS_CAPTION = "File Exists";
constexpr const char* BIN_EXISTS_TEXT = "BIN File Exists, Overwrite?";
constexpr const char* FILE_ERROR_CAPTION = "File Error";
constexpr const char* NEED_PROGRAM_NAME = "Need a Program Bank BIN Name";
constexpr const char* NEED_READ_NAME = "Need a Read Bank BIN Name";

enum class QuestionAnswer { Yes, No, Cancel };
// A Yes / No / Cancel question (caption, text), topmost.
using AskYesNoCancel = std::function<QuestionAnswer(const std::string& caption, const std::string& text)>;

// The program file's dialog and checks; true when a new file was stored.
bool SelectProgramFile(VistrelSettings& settings, PlatformServices& services);
// The read file's dialog with its overwrite question; true when stored.
bool SelectReadFile(VistrelSettings& settings, PlatformServices& services, const AskYesNoCancel& ask);

// Runs an operation and returns its result: directly, or on a worker thread
// while the window shows its lines.
using OperationRunner = std::function<int(const std::function<int()>& operation)>;

// "%3.1f Second(s)" of a tick count.
std::string ElapsedText(std::uint32_t ticks);

// Apply: clears the messages, prepares the protocol from the settings, checks
// for a file name (telling the user when there is none) and runs the action's
// operation through `run`; after a success an empty line and the elapsed
// time. Returns the operation's result, -1 when none was started.
int FlashApply(const VistrelSettings& settings, FlashProtocol& protocol, MessageWindow& messages,
               PlatformServices& services, const OperationRunner& run, BinFiles& files = DiskBinFiles());

// Painters of the static layer.
void PaintFlashPicture(Canvas& canvas);
void PaintFlashFileNames(Canvas& canvas, const VistrelSettings& settings);
// Picture, title, message window and file names.
void PaintFlashWindow(Canvas& canvas, const VistrelSettings& settings, const MessageWindow& messages);

}  // namespace zrm
