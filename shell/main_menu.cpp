#include "shell/main_menu.h"

#include "link/frame_processor.h"

namespace zrm {

int CommPortCommand(int n) {
  if (n >= 1 && n <= 6) return 32776 + (n - 1);
  if (n >= 7 && n <= 10) return 32814 + (n - 7);
  if (n >= 11 && n <= 40) return 32827 + (n - 11);
  return 0;
}

int CommPortFromCommand(int command) {
  for (int n = 1; n <= 40; ++n) {
    if (CommPortCommand(n) == command) return n;
  }
  return 0;
}

const MenuItem FILE_MENU[] = {
    {MenuKind::Submenu, "&CommPort", 0, false},
    {MenuKind::Item, "&DataLog...", CMD_DATALOG, false},
    {MenuKind::Item, "Close DataLo&g", CMD_CLOSE_DATALOG, true},
    {MenuKind::Item, "&Playback...", CMD_PLAYBACK, false},
    {MenuKind::Item, "&Stop Playback", CMD_STOP_PLAYBACK, true},
    {MenuKind::Item, "&Learn VE...", CMD_LEARN_VE, false},
    {MenuKind::Item, "St&op Learn VE", CMD_STOP_LEARN_VE, true},
    {MenuKind::Item, "Pre&ferences...", CMD_PREFERENCES, false},
    {MenuKind::Item, "&User Devices...", CMD_USER_DEVICES, false},
    {MenuKind::Item, "E&xit", CMD_EXIT, false},
    {MenuKind::End, nullptr, 0, false},
};

const MenuItem DISPLAY_MENU[] = {
    {MenuKind::Item, "&Vistrel", CMD_VISTREL, true},
    {MenuKind::Item, "&Trip Info", CMD_TRIP_INFO, false},
    {MenuKind::Item, "&VE Learn", CMD_VE_LEARN, false},
    {MenuKind::Item, "&SPK Knock", CMD_SPK_KNOCK, false},
    {MenuKind::Item, "&Diagnostic", CMD_DIAGNOSTIC, false},
    {MenuKind::Separator, nullptr, 0, false},
    {MenuKind::Item, "&Malf Codes", CMD_MALF_CODES, false},
    {MenuKind::Item, "&Bank Select", CMD_BANK_SELECT, false},
    {MenuKind::Separator, nullptr, 0, false},
    {MenuKind::Item, "&Flash", CMD_FLASH, false},
    {MenuKind::Item, "&Analysis", CMD_ANALYSIS, false},
    {MenuKind::End, nullptr, 0, false},
};

const MenuItem HELP_MENU[] = {
    {MenuKind::Item, "&Help", CMD_HELP, false},
    {MenuKind::Item, "&About", CMD_ABOUT, false},
    {MenuKind::End, nullptr, 0, false},
};

const MenuItem BAR_ITEMS[] = {
    {MenuKind::Item, "         Quick Display Selections ->", CMD_QUICK_LABEL, true},
    {MenuKind::Item, "&VTD", CMD_QUICK_VTD, false},
    {MenuKind::Item, "&TRIP", CMD_QUICK_TRIP, false},
    {MenuKind::Item, "&VE", CMD_QUICK_VE, false},
    {MenuKind::Item, "&SPK", CMD_QUICK_SPK, false},
    {MenuKind::Item, "DIA&G", CMD_QUICK_DIAG, false},
    {MenuKind::End, nullptr, 0, false},
};

namespace {

constexpr struct {
  int command;
  int mode;
} kDisplayCommands[] = {
    {CMD_TRIP_INFO, MODE_TRIP},   {CMD_QUICK_TRIP, MODE_TRIP},   {CMD_VISTREL, MODE_GAUGE},
    {CMD_QUICK_VTD, MODE_GAUGE},  {CMD_VE_LEARN, MODE_VELEARN},  {CMD_QUICK_VE, MODE_VELEARN},
    {CMD_SPK_KNOCK, MODE_KNOCK},  {CMD_QUICK_SPK, MODE_KNOCK},   {CMD_ANALYSIS, MODE_ANALYSIS},
    {CMD_FLASH, MODE_FLASH},      {CMD_DIAGNOSTIC, MODE_DIAGNOSTICS}, {CMD_QUICK_DIAG, MODE_DIAGNOSTICS},
};

}  // namespace

int DisplayModeForCommand(int command) {
  for (const auto& row : kDisplayCommands) {
    if (row.command == command) return row.mode;
  }
  return 0;
}

int DisplayMenuCommand(int mode) {
  switch (mode) {
    case MODE_TRIP: return CMD_TRIP_INFO;
    case MODE_GAUGE: return CMD_VISTREL;
    case MODE_VELEARN: return CMD_VE_LEARN;
    case MODE_KNOCK: return CMD_SPK_KNOCK;
    case MODE_ANALYSIS: return CMD_ANALYSIS;
    case MODE_FLASH: return CMD_FLASH;
    case MODE_DIAGNOSTICS: return CMD_DIAGNOSTIC;
    default: return 0;
  }
}

int QuickCommandForKey(char key) {
  switch (key) {
    case '1': return CMD_QUICK_VTD;
    case '2': return CMD_QUICK_TRIP;
    case '3': return CMD_QUICK_VE;
    case '4': return CMD_QUICK_SPK;
    case '5': return CMD_QUICK_DIAG;
    default: return 0;
  }
}

}  // namespace zrm
