// Banks of the simulated ECM as the firmware update finds them in the field:
// a calibration of one layout version and the firmware of one version,
// recognised by the key in the first two bytes of page 103 (low byte first).
//
//   name  layout  key        name  layout  key
//   2.0   0x0000  0x1470     2.5   0x0205  0x76F0
//   2.1   0x0201  0x7670     2.6   0x0206  0x7671
//   2.2   0x0202  0x7676     2.7   0x0207  0x767C (the synthetic 2.7-B firmware)
//   2.4   0x0204  0x767A
//
// `zrmtool sim --bank N:VERSION[:KEY]` puts such a bank at N; KEY (hex)
// replaces the version's key, e.g. 3:2.4:76F3 or an unknown 5:2.6:1234.
// The calibrations differ per bank and exercise the conversion: K[518] is
// 0x23 in every other bank, bit 7 of K[2973] alternates, K[2320] is 0xFF in
// some banks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zrm::sim {

struct BankVersion {
  const char* name;
  int layout;  // calibration bytes 9 and 10
  std::uint16_t key;
};

constexpr BankVersion BANK_VERSIONS[] = {
    {"2.0", 0x0000, 0x1470}, {"2.1", 0x0201, 0x7670}, {"2.2", 0x0202, 0x7676}, {"2.4", 0x0204, 0x767A},
    {"2.5", 0x0205, 0x76F0}, {"2.6", 0x0206, 0x7671}, {"2.7", 0x0207, 0x767C},
};

const BankVersion* FindBankVersion(const std::string& name);

// A 16384-byte bank: a calibration of the layout (header "ZRMF", 'V', the
// layout, its sum) and firmware carrying the key; the 2.7-B key gets the
// synthetic 2.7-B firmware.
std::vector<std::uint8_t> VersionedBank(int bank, int layout, std::uint16_t key);

// "N:VERSION[:KEY]" into the bank number and its contents; false when the
// text is not of that form.
bool ParseBankChoice(const std::string& text, int* bank, std::vector<std::uint8_t>* contents);

}  // namespace zrm::sim
