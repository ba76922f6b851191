#include "apps/vistrel/bank_selector_window.h"

#include "apps/vistrel/main_window.h"
#include "apps/vistrel/vistrel_app.h"

namespace zrm {

BankSelectorWindow::BankSelectorWindow(MainWindow& main, VistrelApp& app)
    : main_(main),
      app_(app),
      surface_(BANK_WINDOW_WIDTH, BANK_WINDOW_HEIGHT),
      transport_(app.link, noTicks_),
      protocol_(transport_, FlashProtocolSettings::Vistrel(), nullptr) {
  sendBank = [this](int bank) { return protocol_.TxMsBank(bank); };
  // Called when the streamed bank differs from the one last shown, while open.
  app_.processor.hooks.refreshBankSelector = [this](int bank) {
    surface_.DrawValues([bank](Canvas& canvas) { BankSelector::RefreshBanks(canvas, bank); });
  };
  main_.hooks.bankSelectorOpen = [this] { return IsOpen(); };
  main_.hooks.openBankSelector = [this] { Open(); };
  main_.hooks.closeBankSelector = [this] { Close(); };
}

BankSelectorWindow::~BankSelectorWindow() {
  Destroy();
  app_.processor.hooks.refreshBankSelector = nullptr;
  main_.hooks.bankSelectorOpen = nullptr;
  main_.hooks.openBankSelector = nullptr;
  main_.hooks.closeBankSelector = nullptr;
}

void BankSelectorWindow::Open() {
  if (window_) {
    window_->Flash();
    return;
  }
  VistrelSettings& s = app_.settings;
  window_ = new ToolWindow(main_, surface_, "Flash Bank", {&s.flashBankX, &s.flashBankY, &s.flashBankOpen});
  window_->View()->SetStaticPainter([this](Canvas& canvas) {
    model_.PaintBankSelector(canvas, app_.processor.record.flashBank.load(std::memory_order_relaxed));
  });
  window_->onUserClose = [this] { Destroy(); };
  window_->onMouse = [this](QEvent::Type type, int x, int) { OnMouse(type, x); };
  window_->onMouseLeave = [this] {
    surface_.DrawValues([this](Canvas& canvas) { model_.MouseLeave(canvas); });
  };
  window_->show();
  // The next frame lights the bank it carries.
  app_.processor.shownBank.store(-1, std::memory_order_relaxed);
  app_.processor.bankSelectorOpen.store(true, std::memory_order_release);
}

void BankSelectorWindow::OnMouse(QEvent::Type type, int x) {
  switch (type) {
    case QEvent::MouseMove:
      surface_.DrawValues([this, x](Canvas& canvas) { model_.MouseMove(canvas, x); });
      break;
    case QEvent::MouseButtonPress:
      model_.MouseDown(x);
      break;
    case QEvent::MouseButtonRelease: {
      const int bank = model_.MouseUp(x);
      if (bank != NO_BANK && sendBank) sendBank(bank);
      break;
    }
    default:
      break;
  }
}

void BankSelectorWindow::Close() { Destroy(); }

void BankSelectorWindow::Destroy() {
  app_.processor.bankSelectorOpen.store(false, std::memory_order_release);
  if (!window_) return;
  window_->StorePosition();
  delete window_.data();
}

}  // namespace zrm
