#include "window/qt/qt_dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace vellora {

void QtDialogs::message(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), QString::fromStdString(text),
                  QMessageBox::Ok, parent_);
  box.exec();
}

std::string QtDialogs::prompt(const std::string& text, const std::string& defaultAnswer) {
  bool ok = false;
  const QString answer =
      QInputDialog::getText(parent_, QApplication::applicationName(), QString::fromStdString(text),
                            QLineEdit::Normal, QString::fromStdString(defaultAnswer), &ok);
  return ok ? answer.toStdString() : std::string();
}

}  // namespace vellora
