#include "shell/startup_form.h"

#include <unistd.h>

#include <QCheckBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <memory>

#include "platform/desktop/autostart.h"
#include "settings/settings_store.h"
#include "shell/app_exception.h"
#include "shell/dialog_controls.h"
#include "shell/dialog_help.h"
#include "shell/window_scale.h"

namespace varnoke::shell {

TStartupForm::TStartupForm(settings::TSettingsStore& settings, platform::TAutoStart& autoStart,
                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowContextHelpButtonHint),
      settings_(settings),
      autoStart_(autoStart) {
  setObjectName(QStringLiteral("StartupForm"));
  setWindowTitle(QStringLiteral("Set Startup Options"));
  setFixedSize(Scaled(404, 128));
  setFont(LayoutFont(13));

  // Siblings of one parent: the three form one group.
  RadioButton1 = PlaceControl<QRadioButton>(
      this, "RadioButton1", QStringLiteral("Start &Automatically"), Scaled(24, 24, 233, 17), 30);
  RadioButton2 = PlaceControl<QRadioButton>(this, "RadioButton2",
                                            QStringLiteral("Start Automatically &without ReSync"),
                                            Scaled(24, 48, 241, 17), 31);
  RadioButton3 = PlaceControl<QRadioButton>(this, "RadioButton3",
                                            QStringLiteral("Do &not Start Automatically"),
                                            Scaled(24, 72, 233, 17), 32);
  btnOK =
      PlaceControl<QPushButton>(this, "btnOK", QStringLiteral("OK"), Scaled(312, 8, 75, 25), 33);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, Guarded([this] { btnOKClick(); }));
  btnCancel = PlaceControl<QPushButton>(this, "btnCancel", QStringLiteral("Cancel"),
                                        Scaled(312, 40, 75, 25), 34);
  btnCancel->setAutoDefault(false);
  connect(btnCancel, &QPushButton::clicked, this, Guarded([this] { btnCancelClick(); }));
  CheckBox1 = PlaceControl<QCheckBox>(
      this, "CheckBox1", QStringLiteral("Show splash screen on startup"), Scaled(25, 101, 281, 17));
  CheckBox1->setChecked(true);

  FitTextsToFont(*this);
  new TDialogHelp(this, [this](int context) {
    if (OnHelp) OnHelp(context);
  });
  FormCreate();
}

void TStartupForm::FormCreate() {
  switch (settings_.ReadDWORDSetting(settings::SettingsKey, "StartupOptions")) {
    case 1:
      RadioButton1->setChecked(true);
      break;
    case 2:
      RadioButton2->setChecked(true);
      break;
    case 3:
      RadioButton3->setChecked(true);
      break;
    default:
      break;  // none checked
  }
  CheckBox1->setChecked(settings_.ReadDWORDSetting(settings::SettingsKey, "ShowSplash") != 0);
}

void TStartupForm::Execute() {
  CheckBox1->setEnabled(true);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect place = frameGeometry();
    place.moveCenter(screen->availableGeometry().center());
    move(place.topLeft());
  }
  exec();
}

std::string TStartupForm::AutoStartData() {
  std::unique_ptr<char, decltype(&std::free)> folder(::getcwd(nullptr, 0), &std::free);
  if (folder == nullptr) return {};
  std::string data = folder.get();
  if (data.empty() || data.back() != '/') data += '/';
  return data + "varnoke";
}

void TStartupForm::btnOKClick() {
  std::uint32_t option = 1;
  if (autoStart_.Open()) {
    // Whether the entry could be stored is not examined; the choice is
    // kept either way.
    if (RadioButton1->isChecked() || RadioButton2->isChecked()) {
      if (const std::string data = AutoStartData(); !data.empty()) autoStart_.SetCommand(data);
      option = RadioButton1->isChecked() ? 1 : 2;
    } else if (RadioButton3->isChecked()) {
      autoStart_.Remove();
      option = 3;
    }
  }
  settings_.WriteDWORDSetting(settings::SettingsKey, "StartupOptions", option);
  settings_.WriteDWORDSetting(settings::SettingsKey, "ShowSplash", CheckBox1->isChecked() ? 1 : 0);
  accept();
}

void TStartupForm::btnCancelClick() {
  QDialog::reject();
}

void TStartupForm::reject() {
  btnCancelClick();
}

}  // namespace varnoke::shell
