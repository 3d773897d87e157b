// TStartupForm: the modal dialog of the start-up options. Whether the desktop
// starts the program at log-in (and whether such a start may skip the
// rebuild of the database), and whether the splash shows at start-up. The
// choice goes to the settings StartupOptions and ShowSplash and to the Run
// key's value "$$VARNOKE".
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QCheckBox;
class QPushButton;
class QRadioButton;

namespace varnoke::platform {
class TAutoStart;
}
namespace varnoke::settings {
class TSettingsStore;
}

namespace varnoke::shell {

class TStartupForm : public QDialog {
  Q_OBJECT

 public:
  // Both are borrowed and must outlive the dialog. Loads the controls from
  // the settings (FormCreate): raises ERegistry when they cannot be read.
  TStartupForm(settings::TSettingsStore& settings, platform::TAutoStart& autoStart,
               QWidget* parent = nullptr);

  // Shows the dialog modally, its controls as the last closing left them.
  void Execute();

  void FormCreate();
  // OK: stores the choice and closes. Raises ERegistry when a setting
  // cannot be written.
  void btnOKClick();
  void btnCancelClick();

  // The Run key's data: the current folder (the installation folder once
  // the program runs) and the program's name; empty when the current folder
  // is unknown.
  static std::string AutoStartData();

  // Shows a help topic; the program's help window when set.
  std::function<void(int)> OnHelp;

  // The dialog's parts, named as in its design.
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QRadioButton* RadioButton3 = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;
  QCheckBox* CheckBox1 = nullptr;

 protected:
  // Esc and the close box act as Cancel.
  void reject() override;

 private:
  settings::TSettingsStore& settings_;
  platform::TAutoStart& autoStart_;
};

}  // namespace varnoke::shell
