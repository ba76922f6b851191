#include "apps/utility/utility_boxes.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "fuelcalc/bpc.h"

namespace zrm {

namespace {

QPixmap DrawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size / 32.0;
  p.setPen(QPen(QColor(20, 20, 20), 1.0 * s));
  p.setBrush(QColor(80, 80, 80));
  p.drawRect(QRectF(13 * s, 1 * s, 6 * s, 4 * s));  // inlet
  p.setBrush(QColor(160, 32, 32));
  p.drawRect(QRectF(11 * s, 5 * s, 10 * s, 2 * s));  // seal
  p.setBrush(QColor(168, 168, 168));
  p.drawRect(QRectF(9 * s, 7 * s, 14 * s, 12 * s));  // body
  p.setBrush(QColor(112, 112, 112));
  p.drawRect(QRectF(13 * s, 19 * s, 6 * s, 4 * s));  // nozzle
  p.setPen(QPen(QColor(64, 128, 192), 1.5 * s));
  for (int dx = -6; dx <= 6; dx += 3) p.drawLine(QPointF(16 * s, 23 * s), QPointF((16 + dx) * s, 31 * s));
  return pixmap;
}

QPalette WindowPalette(QPalette palette) {
  palette.setColor(QPalette::Window, QColor(220, 220, 220));
  palette.setColor(QPalette::WindowText, QColor(20, 20, 20));
  return palette;
}

}  // namespace

QIcon UtilityIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) icon.addPixmap(DrawIcon(size));
  return icon;
}

UtilityHelpBox::UtilityHelpBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Help");
  setPalette(WindowPalette(palette()));
  setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(this);
  QString text;
  for (const std::string& line : BpcHelpLines()) text += QString::fromLatin1(line.c_str()) + "\n";
  text.chop(1);
  auto* lines = new QLabel(text, this);
  lines->setTextFormat(Qt::PlainText);
  layout->addWidget(lines);
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  ok->setFixedWidth(80);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

UtilityAboutBox::UtilityAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About");
  setFixedSize(320, 150);
  const char* lines[] = {"ZRM_Utility", "Version 1.01", "Tarnwell ZRM Flash tools", "BPC fuel calculator"};
  int y = 18;
  for (const char* line : lines) {
    auto* label = new QLabel(line, this);
    label->move(80, y);
    y += 22;
  }
  auto* icon = new QLabel(this);
  icon->setPixmap(DrawIcon(32));
  icon->setGeometry(24, 20, 32, 32);
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  ok->setGeometry(120, 110, 80, 26);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace zrm
