#include "ui/notice_dialog.h"

#include "core/string_table.h"
#include "ui/message_boxes.h"
#include "ui_notice_dialog.h"

namespace wayfetch {

NoticeDialog::NoticeDialog(const QString& text, QWidget* parent)
    : QDialog(parent), m_ui(new Ui::NoticeDialog) {
  m_ui->setupUi(this);
  setWindowTitle(table_text(strings::program_title));
  m_ui->text->setText(text);
  m_ui->do_not_show->setText(qt_text(strings::do_not_show_again));
  connect(m_ui->ok, &QPushButton::clicked, this, &QDialog::accept);
}

NoticeDialog::~NoticeDialog() = default;

bool NoticeDialog::do_not_show_again() const {
  return m_ui->do_not_show->isChecked();
}
QAbstractButton* NoticeDialog::ok_button() const {
  return m_ui->ok;
}
QAbstractButton* NoticeDialog::do_not_show_box() const {
  return m_ui->do_not_show;
}

}  // namespace wayfetch
