// vistrel's menu bar: every item with its command identifier, mnemonic and
// initial state, and the display modes the display commands choose.
#pragma once

namespace zrm {

// Command identifiers.
constexpr int CMD_DATALOG = 32771;
constexpr int CMD_CLOSE_DATALOG = 32772;
constexpr int CMD_HELP = 32774;
constexpr int CMD_VISTREL = 32782;
constexpr int CMD_TRIP_INFO = 32783;
constexpr int CMD_VE_LEARN = 32784;
constexpr int CMD_PLAYBACK = 32785;
constexpr int CMD_STOP_PLAYBACK = 32786;
constexpr int CMD_PREFERENCES = 32787;
constexpr int CMD_LEARN_VE = 32791;
constexpr int CMD_STOP_LEARN_VE = 32792;
constexpr int CMD_SPK_KNOCK = 32795;
constexpr int CMD_MALF_CODES = 32806;
constexpr int CMD_ANALYSIS = 32808;
constexpr int CMD_QUICK_LABEL = 32809;
constexpr int CMD_QUICK_VTD = 32810;
constexpr int CMD_QUICK_TRIP = 32811;
constexpr int CMD_QUICK_VE = 32812;
constexpr int CMD_QUICK_SPK = 32813;
constexpr int CMD_BANK_SELECT = 32819;
constexpr int CMD_FLASH = 32821;
constexpr int CMD_DIAGNOSTIC = 32824;
constexpr int CMD_QUICK_DIAG = 32825;
constexpr int CMD_USER_DEVICES = 32826;
constexpr int CMD_ABOUT = 104;
constexpr int CMD_EXIT = 105;

// The COM1..COM40 items; 0 for a number outside 1..40.
int CommPortCommand(int n);
// The port number of a COM item, or 0.
int CommPortFromCommand(int command);

enum class MenuKind { Item, Separator, Submenu, End };

struct MenuItem {
  MenuKind kind;
  const char* text;  // with & before the mnemonic
  int command;
  bool grayed;       // at start
};

// "&File", "&Display" and "&Help" in order, each ended by an End row; the
// CommPort submenu row is followed by its 40 ports, generated from
// CommPortCommand.
extern const MenuItem FILE_MENU[];
extern const MenuItem DISPLAY_MENU[];
extern const MenuItem HELP_MENU[];
// Directly on the bar after the menus: the disabled label and the quick items.
extern const MenuItem BAR_ITEMS[];

// The display mode a display command chooses, or 0 when it is none.
int DisplayModeForCommand(int command);
// The "&Display" menu item of a mode (its quick item shares its state), or 0.
int DisplayMenuCommand(int mode);
// The quick display a key "1".."5" chooses, or 0.
int QuickCommandForKey(char key);

}  // namespace zrm
