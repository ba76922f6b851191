// ZRM_Utility's Help and About boxes and the program's icon.
#pragma once

#include <QDialog>
#include <QIcon>

namespace zrm {

// The program's icon, drawn here: an injector over its spray.
QIcon UtilityIcon();

// The help lines of the calculator, with an OK button.
class UtilityHelpBox : public QDialog {
 public:
  explicit UtilityHelpBox(QWidget* parent);
};

// "ZRM_Utility", "Version 1.01" and the maker's lines, with an OK button.
class UtilityAboutBox : public QDialog {
 public:
  explicit UtilityAboutBox(QWidget* parent);
};

}  // namespace zrm
