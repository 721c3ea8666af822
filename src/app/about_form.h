// The About box.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kestra {

class TForm1 final : public QDialog {
 public:
  explicit TForm1(QWidget* parent = nullptr);

  QLabel* Image1;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QPushButton* Button1;

 private:
  void Button1Click();
};

}  // namespace kestra
