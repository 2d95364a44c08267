#include "ui/configuration_dialog.h"

#include <QPushButton>

#include "config/application_core.h"
#include "config/proxy_name.h"
#include "core/string_table.h"
#include "ui_configuration_dialog.h"

namespace wayfetch {

ProxyFields split_proxy_name(const QString& name) {
  const ProxyNameFields fields = split_proxy_name(std::string_view(name.toStdString()));
  return {QString::fromStdString(fields.address), QString::fromStdString(fields.port)};
}

std::optional<QString> join_proxy_name(const ProxyFields& fields) {
  const std::optional<std::string> name =
      join_proxy_name(fields.address.toStdString(), fields.port.toStdString());
  if (!name) return std::nullopt;
  return QString::fromStdString(*name);
}

ConfigurationDialog::ConfigurationDialog(ApplicationCore& core, QWidget* parent)
    : QDialog(parent), m_ui(new Ui::ConfigurationDialog), core_(core) {
  m_ui->setupUi(this);
  setWindowTitle(qt_text(strings::configuration_title));
  m_ui->sync_group->setTitle(qt_text(strings::group_sync));
  m_ui->sync_automatic->setText(qt_text(strings::sync_automatic));
  m_ui->sync_manual->setText(qt_text(strings::sync_manual));
  m_ui->proxy_group->setTitle(qt_text(strings::group_proxy));
  m_ui->proxy_none->setText(qt_text(strings::proxy_none));
  m_ui->proxy_automatic->setText(qt_text(strings::proxy_automatic));
  m_ui->proxy_given->setText(qt_text(strings::proxy_given));
  m_ui->address_label->setText(qt_text(strings::label_proxy_address));
  m_ui->port_label->setText(qt_text(strings::label_proxy_port));
  m_ui->user_label->setText(qt_text(strings::label_proxy_user));
  m_ui->buttons->button(QDialogButtonBox::Cancel)->setText(qt_text(strings::cancel_button));

  connect(m_ui->buttons, &QDialogButtonBox::accepted, this, &ConfigurationDialog::accept);
  connect(m_ui->buttons, &QDialogButtonBox::rejected, this, &ConfigurationDialog::reject);
  // Only a click is a choice: showing "unknown" as manual is not one.
  connect(m_ui->sync_automatic, &QRadioButton::clicked, this, [this] { sync_picked_ = true; });
  connect(m_ui->sync_manual, &QRadioButton::clicked, this, [this] { sync_picked_ = true; });
  for (QRadioButton* mode : {m_ui->proxy_none, m_ui->proxy_automatic, m_ui->proxy_given}) {
    connect(mode, &QRadioButton::toggled, this, &ConfigurationDialog::update_proxy_fields);
  }

  // The lock is held only to copy the settings, never while the person edits.
  if (core_.lock_list(lock_wait_ms)) {
    const GlobalSettings settings = core_.configuration().settings();
    core_.unlock_list();
    editable_ = true;
    show_settings(settings);
  } else {
    // An update runs: nothing may change and the settings cannot be read.
    m_ui->sync_group->setEnabled(false);
    m_ui->proxy_group->setEnabled(false);
    m_ui->buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
  }
  update_proxy_fields();
}

ConfigurationDialog::~ConfigurationDialog() = default;

void ConfigurationDialog::show_settings(const GlobalSettings& settings) {
  (settings.web_when_pda_sync == YesNo::yes ? m_ui->sync_automatic : m_ui->sync_manual)
      ->setChecked(true);
  switch (settings.proxy.mode) {
    case ProxyMode::none:
      m_ui->proxy_none->setChecked(true);
      break;
    case ProxyMode::automatic:
      m_ui->proxy_automatic->setChecked(true);
      break;
    case ProxyMode::proxy:
      m_ui->proxy_given->setChecked(true);
      break;
  }
  const ProxyFields fields =
      split_proxy_name(QString::fromStdString(settings.proxy.name.to_utf8()));
  m_ui->proxy_address->setText(fields.address);
  m_ui->proxy_port->setText(fields.port);
  m_ui->proxy_user->setText(QString::fromStdString(settings.proxy.user_name.to_utf8()));
}

void ConfigurationDialog::update_proxy_fields() {
  const bool given = editable_ && m_ui->proxy_given->isChecked();
  for (QWidget* field :
       {static_cast<QWidget*>(m_ui->proxy_address), static_cast<QWidget*>(m_ui->proxy_port),
        static_cast<QWidget*>(m_ui->proxy_user)}) {
    field->setEnabled(given);
  }
}

void ConfigurationDialog::message(int32_t text_id, QMessageBox::Icon icon) {
  show_message(message_hook_, this, table_text(strings::program_title), text_id, icon);
}

void ConfigurationDialog::accept() {
  if (!editable_) return;
  const ProxyMode mode = m_ui->proxy_given->isChecked()       ? ProxyMode::proxy
                         : m_ui->proxy_automatic->isChecked() ? ProxyMode::automatic
                                                              : ProxyMode::none;
  const std::optional<QString> name =
      join_proxy_name({m_ui->proxy_address->text(), m_ui->proxy_port->text()});
  // In the other modes the fields are disabled and cannot be mended, so an
  // unusable name there keeps the stored one instead of blocking OK.
  if (!name && mode == ProxyMode::proxy) {
    message(strings::unsuitable_field, QMessageBox::Warning);
    m_ui->proxy_address->setFocus();
    return;
  }
  if (!core_.lock_list(lock_wait_ms)) {
    message(strings::configuration_busy, QMessageBox::Information);
    return;
  }
  WayfetchConfiguration& config = core_.configuration();
  GlobalSettings& settings = config.settings();
  if (sync_picked_) {
    settings.web_when_pda_sync = m_ui->sync_automatic->isChecked() ? YesNo::yes : YesNo::no;
  }
  settings.proxy.mode = mode;
  if (name) settings.proxy.name = String(name->toStdString());
  settings.proxy.user_name = String(m_ui->proxy_user->text().trimmed().toStdString());
  const bool saved = config.save();
  core_.unlock_list();
  if (!saved) message(strings::configuration_not_saved, QMessageBox::Warning);
  QDialog::accept();
}

}  // namespace wayfetch
