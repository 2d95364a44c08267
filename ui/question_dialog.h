// QuestionDialog: a question with "Ja" and "Nein", captioned with string
// 10133, and optionally the box "Diese Frage nicht mehr stellen". Ja
// accepts, Nein and closing reject. GUI thread only.
#ifndef WAYFETCH_UI_QUESTION_DIALOG_H
#define WAYFETCH_UI_QUESTION_DIALOG_H

#include <QDialog>
#include <QScopedPointer>

class QAbstractButton;

namespace Ui {
class QuestionDialog;
}

namespace wayfetch {

class QuestionDialog : public QDialog {
  Q_OBJECT

 public:
  // `remember_box`: whether the box for not asking again is shown.
  QuestionDialog(const QString& text, bool remember_box, QWidget* parent = nullptr);
  ~QuestionDialog() override;

  bool answered_yes() const { return result() == QDialog::Accepted; }
  // Whether the box was ticked (false without the box).
  bool remember() const;

  // ---- test hooks ----
  QAbstractButton* yes_button() const;
  QAbstractButton* no_button() const;
  QAbstractButton* remember_box() const;

 private:
  QScopedPointer<Ui::QuestionDialog> m_ui;
};

}  // namespace wayfetch

#endif
