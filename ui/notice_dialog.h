// NoticeDialog: a notice (20003 after a person's update) with an OK button
// and the box "Diese Nachricht nicht mehr zeigen", captioned with string
// 10133. GUI thread only.
#ifndef WAYFETCH_UI_NOTICE_DIALOG_H
#define WAYFETCH_UI_NOTICE_DIALOG_H

#include <QDialog>
#include <QScopedPointer>

class QAbstractButton;

namespace Ui {
class NoticeDialog;
}

namespace wayfetch {

class NoticeDialog : public QDialog {
  Q_OBJECT

 public:
  explicit NoticeDialog(const QString& text, QWidget* parent = nullptr);
  ~NoticeDialog() override;

  // Whether the box was ticked, however the dialog was closed.
  bool do_not_show_again() const;

  // ---- test hooks ----
  QAbstractButton* ok_button() const;
  QAbstractButton* do_not_show_box() const;

 private:
  QScopedPointer<Ui::NoticeDialog> m_ui;
};

}  // namespace wayfetch

#endif
