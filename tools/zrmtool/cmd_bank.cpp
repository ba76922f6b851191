// zrmtool bank-read PORT BANK OUT.bin [--no-activate]
// zrmtool bank-program PORT BANK IN.bin [--no-verify] [--no-activate]
//
// The flash window's Read and Program operations from a terminal: the same
// link, protocol (vistrel's limits, P = 25) and procedures, Set Bank Active
// and Verify on unless switched off. Every message-window line is printed on
// a line of its own; the exit code is 0 only when the operation succeeded.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "flash/bank_procedures.h"
#include "flash/flash_ticks.h"
#include "flash/link_transport.h"
#include "flash/zrm_bin.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/services.h"
#include "tools/zrmtool/commands.h"

namespace zrm::tool {
namespace {

constexpr int PORT_WAIT_MS = 5000;
constexpr int CLOSE_WAIT_MS = 1000;
// The CommThread queues "stream on" right after the port opens; the slot must
// be free again before the first packet of the operation.
constexpr int AFTER_OPEN_MS = 100;

// The message window as terminal lines, cut to the window's width as shown.
class PrintedMessages : public MessageSink {
 public:
  int LogMessage(Colour /*background*/, std::string_view text) override {
    const std::string_view shown = text.substr(0, static_cast<std::size_t>(MessageWindowLayout::Vistrel().width));
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return 0;
  }
};

struct BankArguments {
  const char* port = nullptr;
  int bank = -1;
  const char* file = nullptr;
  BankOperationOptions options;
};

// false on anything but the three positional arguments and the allowed flags.
bool ParseBankArguments(int argc, char** argv, bool allowVerify, BankArguments* out) {
  int positional = 0;
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--no-activate") == 0) {
      out->options.setBankActive = false;
    } else if (allowVerify && std::strcmp(arg, "--no-verify") == 0) {
      out->options.verify = false;
    } else if (arg[0] == '-' && arg[1] != '\0') {
      return false;
    } else if (positional == 0) {
      out->port = arg;
      ++positional;
    } else if (positional == 1) {
      if (arg[0] < '0' || arg[0] > '7' || arg[1] != '\0') return false;
      out->bank = arg[0] - '0';
      ++positional;
    } else if (positional == 2) {
      out->file = arg;
      ++positional;
    } else {
      return false;
    }
  }
  return positional == 3;
}

enum class BankAction { Read, Program };

int RunBankOperation(BankAction action, const BankArguments& args) {
  SerialLink link(LinkSettings::Vistrel());
  link.Start();
  link.RequestPort(PORT_OPEN, args.port);
  const std::int64_t deadline = MonotonicMs() + PORT_WAIT_MS;
  while (!link.PortRunning() && MonotonicMs() < deadline) SleepMs(10);
  if (!link.PortRunning()) {
    std::fprintf(stderr, "zrmtool: cannot open %s\n", args.port);
    link.Stop();
    return EXIT_FAIL;
  }
  SleepMs(AFTER_OPEN_MS);

  FlashTickTimer ticks;
  ticks.Start();
  LinkFlashTransport transport(link, ticks.Counter());
  PrintedMessages messages;
  FlashProtocol protocol(transport, FlashProtocolSettings::Vistrel(), &messages);
  PrepareBankOperation(protocol, args.bank);
  const int result = action == BankAction::Read ? ReadBankToFile(protocol, args.options, args.file, messages)
                                                : ProgramBankFromFile(protocol, args.options, args.file, messages);
  ticks.Stop();

  // Closed the normal way: the ECM is told to stop streaming first.
  link.RequestPort(PORT_CLOSE, nullptr);
  for (int waited = 0; waited < CLOSE_WAIT_MS && link.RequestPending(); waited += 10) SleepMs(10);
  link.Stop();
  return result == 0 ? EXIT_OK : EXIT_FAIL;
}

}  // namespace

int CmdBankRead(int argc, char** argv) {
  BankArguments args;
  if (!ParseBankArguments(argc, argv, false, &args)) {
    std::fprintf(stderr, "usage: zrmtool bank-read PORT BANK OUT.bin [--no-activate]\n");
    return EXIT_USAGE;
  }
  return RunBankOperation(BankAction::Read, args);
}

int CmdBankProgram(int argc, char** argv) {
  BankArguments args;
  if (!ParseBankArguments(argc, argv, true, &args)) {
    std::fprintf(stderr, "usage: zrmtool bank-program PORT BANK IN.bin [--no-verify] [--no-activate]\n");
    return EXIT_USAGE;
  }
  // A file that cannot be opened is left to the procedure, which says so in
  // its own line.
  ConsoleServices console;
  if (IsZrmBin(args.file, &console) == -2) return EXIT_FAIL;
  if (BinShorterThanCalibration(args.file)) {
    std::fprintf(stderr, "zrmtool: %s: %s\n", args.file, BIN_TOO_SHORT_TEXT);
    return EXIT_FAIL;
  }
  return RunBankOperation(BankAction::Program, args);
}

}  // namespace zrm::tool
