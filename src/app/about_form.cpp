#include "app/about_form.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

namespace kestra {

namespace {

// A small bird's head: the program's mark, drawn rather than shipped.
QPixmap Mark() {
  QPixmap mark(33, 33);
  mark.fill(Qt::transparent);
  QPainter p(&mark);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(0x8B, 0x5A, 0x2B));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QRectF(4, 4, 25, 25));
  p.setBrush(QColor(0xF2, 0xC1, 0x4E));
  const QPointF beak[] = {{27, 14}, {33, 18}, {27, 21}};
  p.drawPolygon(beak, 3);
  p.setBrush(Qt::black);
  p.drawEllipse(QRectF(19, 11, 4, 4));
  return mark;
}

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setWindowTitle("About");
  setFixedSize(244, 144);

  Image1 = new QLabel(this);
  Image1->setGeometry(24, 16, 33, 33);
  Image1->setPixmap(Mark());

  Label1 = new QLabel("Kestra 0.20", this);
  Label1->move(96, 24);
  Label2 = new QLabel("by the Kestra team", this);
  Label2->move(96, 40);
  Label3 = new QLabel("CPU core: our own V30 emulation", this);
  Label3->move(8, 72);

  Button1 = new QPushButton("OK", this);
  Button1->setGeometry(88, 112, 57, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
}

void TForm1::Button1Click() { accept(); }

}  // namespace kestra
