#include "ui/credentials_dialog.h"

#include <QPushButton>

#include "core/string_table.h"
#include "ui/message_boxes.h"
#include "ui_credentials_dialog.h"

namespace wayfetch {

CredentialsDialog::CredentialsDialog(const QString& user_name, const QString& password,
                                     QWidget* parent)
    : QDialog(parent), m_ui(new Ui::CredentialsDialog) {
  m_ui->setupUi(this);
  setWindowTitle(table_text(strings::program_title));
  m_ui->text->setText(table_text(strings::proxy_credentials));
  m_ui->user_label->setText(qt_text(strings::label_user_name));
  m_ui->password_label->setText(qt_text(strings::label_password));
  m_ui->buttons->button(QDialogButtonBox::Cancel)->setText(qt_text(strings::cancel_button));
  m_ui->user->setText(user_name);
  m_ui->password->setText(password);
  connect(m_ui->buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(m_ui->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

CredentialsDialog::~CredentialsDialog() = default;

QString CredentialsDialog::user_name() const {
  return m_ui->user->text();
}
QString CredentialsDialog::password() const {
  return m_ui->password->text();
}
QLineEdit* CredentialsDialog::user_field() const {
  return m_ui->user;
}
QLineEdit* CredentialsDialog::password_field() const {
  return m_ui->password;
}

}  // namespace wayfetch
