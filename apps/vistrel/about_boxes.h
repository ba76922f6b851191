// The About and Help boxes and the program's icon.
#pragma once

#include <QDialog>
#include <QIcon>

namespace zrm {

// The program's icon, drawn here: a dial with its needle over a flash chip.
QIcon VistrelIcon();

class AboutBox : public QDialog {
 public:
  explicit AboutBox(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

class HelpBox : public QDialog {
 public:
  explicit HelpBox(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace zrm
