#include "apps/vistrel/about_boxes.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

namespace zrm {
namespace {

QPixmap DrawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size / 32.0;
  // Chip body with pins.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 40, 48));
  p.drawRoundedRect(QRectF(4 * s, 6 * s, 24 * s, 22 * s), 2 * s, 2 * s);
  p.setBrush(QColor(200, 200, 205));
  for (int i = 0; i < 5; ++i) {
    p.drawRect(QRectF((6 + i * 4.5) * s, 3 * s, 2 * s, 3 * s));
    p.drawRect(QRectF((6 + i * 4.5) * s, 28 * s, 2 * s, 3 * s));
  }
  // Dial face with a red needle.
  p.setBrush(QColor(235, 235, 235));
  p.setPen(QPen(QColor(10, 10, 10), 1.2 * s));
  p.drawEllipse(QPointF(16 * s, 17 * s), 9 * s, 9 * s);
  p.setPen(QPen(QColor(70, 144, 255), 1.5 * s));
  p.drawArc(QRectF(8.5 * s, 9.5 * s, 15 * s, 15 * s), -45 * 16, 270 * 16);
  p.setPen(QPen(QColor(210, 63, 10), 2 * s, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(16 * s, 17 * s), QPointF(21.5 * s, 11.5 * s));
  return pixmap;
}

}  // namespace

QIcon VistrelIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) icon.addPixmap(DrawIcon(size));
  return icon;
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About");
  setFixedSize(300, 130);
  auto* name = new QLabel("Vistrel Display", this);
  name->move(80, 22);
  auto* version = new QLabel("Version 3.1", this);
  version->move(80, 44);
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  ok->setGeometry(110, 88, 80, 26);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutBox::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter p(this);
  p.drawPixmap(20, 20, DrawIcon(32));
}

HelpBox::HelpBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Help");
  setFixedSize(560, 280);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(220, 220, 220));
  setPalette(palette);
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  ok->setGeometry(240, 232, 80, 26);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void HelpBox::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter p(this);
  p.drawPixmap(20, 20, DrawIcon(32));
  p.setPen(QColor(20, 20, 20));
  const QFontMetrics metrics(font());
  p.drawText(180, 70 + metrics.ascent(), "Hi, welcome to the Vistrel Display");
  p.drawText(120, 180 + metrics.ascent(), "  This program is for use with the Tarnwell System.");
}

}  // namespace zrm
