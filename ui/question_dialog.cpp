#include "ui/question_dialog.h"

#include "core/string_table.h"
#include "ui/message_boxes.h"
#include "ui_question_dialog.h"

namespace wayfetch {

QuestionDialog::QuestionDialog(const QString& text, bool remember_box, QWidget* parent)
    : QDialog(parent), m_ui(new Ui::QuestionDialog) {
  m_ui->setupUi(this);
  setWindowTitle(table_text(strings::program_title));
  m_ui->text->setText(text);
  m_ui->remember->setText(qt_text(strings::do_not_ask_again));
  m_ui->remember->setVisible(remember_box);
  m_ui->yes->setText(qt_text(strings::answer_yes));
  m_ui->no->setText(qt_text(strings::answer_no));
  connect(m_ui->yes, &QPushButton::clicked, this, &QDialog::accept);
  connect(m_ui->no, &QPushButton::clicked, this, &QDialog::reject);
}

QuestionDialog::~QuestionDialog() = default;

bool QuestionDialog::remember() const {
  return !m_ui->remember->isHidden() && m_ui->remember->isChecked();
}

QAbstractButton* QuestionDialog::yes_button() const {
  return m_ui->yes;
}
QAbstractButton* QuestionDialog::no_button() const {
  return m_ui->no;
}
QAbstractButton* QuestionDialog::remember_box() const {
  return m_ui->remember;
}

}  // namespace wayfetch
