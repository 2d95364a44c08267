#include "ui/new_version_dialog.h"

#include "core/string_table.h"
#include "ui/message_boxes.h"
#include "ui_new_version_dialog.h"

namespace wayfetch {

NewVersionDialog::NewVersionDialog(const QString& offered, QWidget* parent)
    : QDialog(parent), m_ui(new Ui::NewVersionDialog) {
  m_ui->setupUi(this);
  setWindowTitle(table_text(strings::program_title));
  m_ui->text->setText(qt_text(strings::new_version_offered));
  m_ui->version->setText(offered);
  m_ui->connect_check->setText(qt_text(strings::new_version_connect));
  m_ui->wait_next->setText(qt_text(strings::new_version_wait));
  m_ui->later->setText(qt_text(strings::new_version_later));
  connect(m_ui->connect_check, &QPushButton::clicked, this,
          [this] { choose(NewVersionChoice::connect_and_check); });
  connect(m_ui->wait_next, &QPushButton::clicked, this,
          [this] { choose(NewVersionChoice::wait_for_next_version); });
  connect(m_ui->later, &QPushButton::clicked, this,
          [this] { choose(NewVersionChoice::remind_later); });
}

NewVersionDialog::~NewVersionDialog() = default;

void NewVersionDialog::choose(NewVersionChoice choice) {
  choice_ = choice;
  accept();
}

QAbstractButton* NewVersionDialog::button(NewVersionChoice choice) const {
  switch (choice) {
    case NewVersionChoice::connect_and_check:
      return m_ui->connect_check;
    case NewVersionChoice::wait_for_next_version:
      return m_ui->wait_next;
    case NewVersionChoice::remind_later:
      break;
  }
  return m_ui->later;
}

QLineEdit* NewVersionDialog::version_field() const {
  return m_ui->version;
}

}  // namespace wayfetch
