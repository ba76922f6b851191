// zrmtool sub-commands. Each takes the arguments after its own name and returns
// the process exit code: 0 ok, 1 failure, 2 usage.
#pragma once

namespace zrm::tool {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAIL = 1;
constexpr int EXIT_USAGE = 2;

int CmdSim(int argc, char** argv);
int CmdMonitor(int argc, char** argv);
int CmdFrames(int argc, char** argv);
int CmdSmooth(int argc, char** argv);
int CmdRecord(int argc, char** argv);
int CmdBankRead(int argc, char** argv);
int CmdBankProgram(int argc, char** argv);
int CmdVeLearn(int argc, char** argv);
int CmdConvertBin(int argc, char** argv);
int CmdFirmwareUpdate(int argc, char** argv);
int CmdBpc(int argc, char** argv);
int CmdTrip(int argc, char** argv);
int CmdKnock(int argc, char** argv);
int CmdExport(int argc, char** argv);
int CmdQuarter(int argc, char** argv);

}  // namespace zrm::tool
