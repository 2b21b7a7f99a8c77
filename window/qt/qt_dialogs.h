#pragma once

#include "shellfiles/dialogs.h"

class QWidget;

namespace vellora {

// Modal Qt boxes titled with the application name, "vellora".
class QtDialogs : public Dialogs {
 public:
  void setParent(QWidget* parent) { parent_ = parent; }
  void message(const std::string& text) override;
  std::string prompt(const std::string& text, const std::string& defaultAnswer) override;

 private:
  QWidget* parent_ = nullptr;
};

}  // namespace vellora
