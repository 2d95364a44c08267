// NewVersionDialog: "Eine neuere Version von Lorvane ist verfügbar:", the
// offered version in a read-only field, and the three answers "Verbinden und
// Prüfen", "Auf die nächste Version warten" and "Später daran erinnern.".
// Closing it any other way is "later", which changes nothing. GUI thread only.
#ifndef WAYFETCH_UI_NEW_VERSION_DIALOG_H
#define WAYFETCH_UI_NEW_VERSION_DIALOG_H

#include <QDialog>
#include <QScopedPointer>

#include "config/prompts.h"

class QAbstractButton;
class QLineEdit;

namespace Ui {
class NewVersionDialog;
}

namespace wayfetch {

class NewVersionDialog : public QDialog {
  Q_OBJECT

 public:
  explicit NewVersionDialog(const QString& offered, QWidget* parent = nullptr);
  ~NewVersionDialog() override;

  NewVersionChoice choice() const { return choice_; }

  // ---- test hooks ----
  QAbstractButton* button(NewVersionChoice choice) const;
  QLineEdit* version_field() const;

 private:
  void choose(NewVersionChoice choice);

  QScopedPointer<Ui::NewVersionDialog> m_ui;
  NewVersionChoice choice_ = NewVersionChoice::remind_later;
};

}  // namespace wayfetch

#endif
