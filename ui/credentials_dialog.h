// CredentialsDialog: the proxy's user name and password, titled with string
// 10133 and explained by string 10143. The password field is masked; the
// password is only handed back to the caller, never written anywhere.
// OK accepts, Cancel and closing reject. GUI thread only.
#ifndef WAYFETCH_UI_CREDENTIALS_DIALOG_H
#define WAYFETCH_UI_CREDENTIALS_DIALOG_H

#include <QDialog>
#include <QScopedPointer>

class QLineEdit;

namespace Ui {
class CredentialsDialog;
}

namespace wayfetch {

class CredentialsDialog : public QDialog {
  Q_OBJECT

 public:
  CredentialsDialog(const QString& user_name, const QString& password, QWidget* parent = nullptr);
  ~CredentialsDialog() override;

  QString user_name() const;
  QString password() const;

  // ---- test hooks ----
  QLineEdit* user_field() const;
  QLineEdit* password_field() const;

 private:
  QScopedPointer<Ui::CredentialsDialog> m_ui;
};

}  // namespace wayfetch

#endif
