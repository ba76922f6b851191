#include "shell/vistrel_config.h"

#include <utility>

namespace zrm {

namespace {

constexpr std::int32_t PATH_LONGEST = 1023;

// A dialog's full path, file name and folder; only the full path has a fallback.
void AddPathTriple(std::vector<ConfigKey>& keys, const std::string& base, const std::string& nameSuffix,
                   const std::string& folderSuffix, FilePathTriple& triple) {
  keys.push_back(TextKey("[" + base + "]", PATH_LONGEST, "C:\\", triple.path));
  keys.push_back(TextKey("[" + base + nameSuffix + "]", PATH_LONGEST, "", triple.name));
  keys.push_back(TextKey("[" + base + folderSuffix + "]", PATH_LONGEST, "", triple.folder));
}

std::string FamilyKey(const char* family, int n, const char* field) {
  return "[" + std::string(family) + std::to_string(n) + field + "]";
}

}  // namespace

std::int32_t UpdateDivisorForRate(std::int32_t rate) {
  static constexpr std::int32_t DIVISORS[] = {3, 2, 1, 0};
  if (rate < 0) rate = 0;
  if (rate > 3) rate = 3;
  return DIVISORS[rate];
}

std::vector<ConfigKey> BuildVistrelKeys(VistrelSettings& s) {
  std::vector<ConfigKey> keys;
  keys.reserve(60 + 9 * USER_DEVICE_COUNT + 7 * ADC_CHANNEL_COUNT);
  keys.push_back(IdentificationKey("[ID]", VISTREL_CONFIG_ID));
  keys.push_back(TextKey("[PORT]", PORT_NAME_LONGEST, "COM2", s.port));
  AddPathTriple(keys, "DLOG", "NAME", "PATH", s.dataLog);
  AddPathTriple(keys, "PLAY", "NAME", "PATH", s.playback);
  AddPathTriple(keys, "LEARNVE", "NAME", "PATH", s.learnVe);
  AddPathTriple(keys, "NEWVE", "NAME", "PATH", s.newVe);
  AddPathTriple(keys, "ANALYSIS", "NAME", "PATH", s.analysis);
  keys.push_back(IntegerKey("[TEMPERSCALE]", 0, 1, "1", s.temperatureScale));
  keys.push_back(IntegerKey("[LRNLWR]", 0, 220, "80", s.learnTempLow));
  keys.push_back(IntegerKey("[LRNUPR]", 0, 220, "110", s.learnTempHigh));
  keys.push_back(IntegerKey("[LRNINP]", 0, 1, "0", s.learnInput));
  keys.push_back(IntegerKey("[PBSPD]", 0, 100, "50", s.playbackDelay));
  keys.push_back(IntegerKey("[RDLN]", 0, 8000, "6400", s.redline));
  keys.push_back(IntegerKey("[RPMRANGE]", 1000, 8000, "7000", s.rpmRange));
  keys.push_back(IntegerKey("[MPHRANGE]", 10, 340, "120", s.speedRange));
  keys.push_back(IntegerKey("[KPHORMPH]", 0, 1, "0", s.speedInKph));
  keys.push_back(IntegerKey("[SMOOTHFAC]", 0, 20, "12", s.smoothFactor));
  keys.push_back(IntegerKey("[AUTOVSAVE]", 0, 0, "0", s.autoVeSave));
  keys.push_back(IntegerKey("[AUTOVTIME]", 1, 60, "5", s.autoVeMinutes));
  keys.push_back(IntegerKey("[AUTOVSHOW]", 0, 1, "", s.autoVeShowWarning));
  keys.push_back(IntegerKey("[KNOCKALERT]", 0, 1, "", s.knockAlert));
  keys.push_back(IntegerKey("[SAVETRIP]", 0, 1, "", s.saveTrip));
  keys.push_back(IntegerKey("[BFRVSSPPM]", 0, 65535, "0", s.tripVssPpm));
  keys.push_back(IntegerKey("[BFRFLWCNST]", 0, 65535, "0", s.tripFlowConstant));
  // The limits -1..-1 of the trip totals mean nothing: vistrel never checks reals.
  keys.push_back(RealKey("[TOTALPW]", -1, -1, "-1", s.totalPw));
  keys.push_back(RealKey("[TOTALVSS]", -1, -1, "-1", s.totalVss));
  keys.push_back(IntegerKey("[XPOSMALF]", -1, 1280, "-1", s.malfunctionX));
  keys.push_back(IntegerKey("[YPOSMALF]", -1, 1024, "-1", s.malfunctionY));
  keys.push_back(IntegerKey("[ACTVMALF]", -1, 1, "-1", s.malfunctionOpen));
  keys.push_back(IntegerKey("[XPOSFBNK]", -1, 1280, "-1", s.flashBankX));
  keys.push_back(IntegerKey("[YPOSFBNK]", -1, 1024, "-1", s.flashBankY));
  keys.push_back(IntegerKey("[ACTVFBNK]", -1, 1, "-1", s.flashBankOpen));
  keys.push_back(IntegerKey("[XPOSHWND]", -1, 1280, "-1", s.mainWindowX));
  keys.push_back(IntegerKey("[YPOSHWND]", -1, 1024, "-1", s.mainWindowY));
  keys.push_back(ShortKey("[FLSHBANK]", 0, 7, "0", s.flashBank));
  keys.push_back(ShortKey("[FLSHVERIFY]", 0, 1, "1", s.flashVerify));
  keys.push_back(ShortKey("[FLSHSETBANK]", 0, 1, "1", s.flashSetBank));
  keys.push_back(ShortKey("[FLSHACTION]", 0, 2, "1", s.flashAction));
  AddPathTriple(keys, "FLSHBIN", "FILE", "PATH", s.flashBin);
  AddPathTriple(keys, "READBIN", "FILE", "PATH", s.readBin);
  keys.push_back(IntegerKey("[ANASHEADER]", 0, 1, "0", s.analysisSingleHeader));
  keys.push_back(IntegerKey("[ANA.CSV]", 0, 1, "0", s.analysisCsv));
  keys.push_back(IntegerKey("[ENTERPAUSE]", 0, 1, "0", s.enterPauses));
  keys.push_back(IntegerKey("[TRANSTYPE]", 0, 1, "0", s.transType));
  keys.push_back(IntegerKey("[UPDATERATE]", 0, 3, "0", s.updateRate));

  for (int n = 0; n < USER_DEVICE_COUNT; ++n) {
    UserDeviceSettings& d = s.userDevices[static_cast<std::size_t>(n)];
    keys.push_back(IntegerKey(FamilyKey("UD", n, "ACTIVE"), 0, 1, "", d.active));
    keys.push_back(TextKey(FamilyKey("UD", n, "NAME"), 49, "-Available Device Entry-", d.name));
    keys.push_back(TextKey(FamilyKey("UD", n, "UNIT"), 5, "NEW", d.unit));
    keys.push_back(IntegerKey(FamilyKey("UD", n, "VOLTJ"), 0, 5000, "0", d.voltJ));
    keys.push_back(IntegerKey(FamilyKey("UD", n, "VOLTK"), 0, 5000, "5000", d.voltK));
    keys.push_back(IntegerKey(FamilyKey("UD", n, "UNITJ"), -9999999, 99999999, "0", d.unitJ));
    keys.push_back(IntegerKey(FamilyKey("UD", n, "UNITK"), -9999999, 99999999, "1000000", d.unitK));
    keys.push_back(IntegerKey(FamilyKey("UD", n, "WIDTH"), 0, 10, "4", d.width));
    keys.push_back(IntegerKey(FamilyKey("UD", n, "PRECI"), 0, 10, "3", d.precision));
  }
  for (int n = 0; n < ADC_CHANNEL_COUNT; ++n) {
    AdcChannelSettings& c = s.adcChannels[static_cast<std::size_t>(n)];
    keys.push_back(IntegerKey(FamilyKey("AD", n, "TYPE"), -1, 100, "-1", c.type));
    keys.push_back(IntegerKey(FamilyKey("AD", n, "INSTA"), 0, 100, "0", c.instance));
    keys.push_back(IntegerKey(FamilyKey("AD", n, "INDEX"), 0, 100, "0", c.index));
    keys.push_back(TextKey(FamilyKey("AD", n, "NAME"), 49, "None", c.name));
    keys.push_back(IntegerKey(FamilyKey("AD", n, "FILTER"), 0, 100, "100", c.filter));
    keys.push_back(IntegerKey(FamilyKey("AD", n, "WBPREF"), 0, 1, "0", c.wbPreferred));
    keys.push_back(IntegerKey(FamilyKey("AD", n, "FPPREF"), 0, 1, "0", c.fpPreferred));
  }
  return keys;
}

void ApplyVistrelAfterReading(VistrelSettings& s) {
  s.updateDivisor = UpdateDivisorForRate(s.updateRate);
  if (s.saveTrip == 0) {
    s.totalVss = 0.0;
    s.totalPw = 0.0;
  }
}

ConfigFile MakeVistrelConfig(std::string path, VistrelSettings& settings, PlatformServices* services) {
  ConfigFile file;
  file.path = std::move(path);
  file.lineEnd = ConfigLineEnd::CrLf;
  file.checkRealRange = false;
  file.keys = BuildVistrelKeys(settings);
  file.services = services;
  file.afterReading = [&settings] { ApplyVistrelAfterReading(settings); };
  return file;
}

}  // namespace zrm
