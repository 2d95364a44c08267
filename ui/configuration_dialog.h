// ConfigurationDialog: when to go online at a HotSync and which proxy to
// use, over the application core's configuration.
//
// The list lock is tested (100 ms) when the dialog opens, only to read the
// settings; when an update holds it, every field and OK are disabled. The
// lock is never held while the person edits. OK checks the proxy fields
// (an address with ":" or a port outside 1-65535: message 10134, the dialog
// stays open), takes the lock again (100 ms; busy: message 10135, the
// dialog stays open), stores the settings and saves "config.xml" (a failed
// save: message 10147; the settings stay stored and the dialog closes).
// Cancel changes nothing.
//
// "unknown" for the HotSync question shows the manual button checked and
// stays "unknown" unless the person clicks one of the two buttons.
//
// GUI thread only; run with exec(). The core must outlive the dialog.
#ifndef WAYFETCH_UI_CONFIGURATION_DIALOG_H
#define WAYFETCH_UI_CONFIGURATION_DIALOG_H

#include <cstdint>
#include <optional>

#include <QDialog>
#include <QScopedPointer>
#include <QString>

#include "config/global_settings.h"
#include "ui/message_boxes.h"

namespace Ui {
class ConfigurationDialog;
}

namespace wayfetch {

class ApplicationCore;

// The proxy name split into the dialog's fields, and back.
struct ProxyFields {
  QString address;
  QString port;
};
// Splits at the first ":"; without one, all goes to the address.
ProxyFields split_proxy_name(const QString& name);
// address ":" port (the port as a decimal number), or the address alone when
// the port is empty; nullopt when the address holds ":" or is empty with a
// port, or the port is not a number in 1-65535.
std::optional<QString> join_proxy_name(const ProxyFields& fields);

class ConfigurationDialog : public QDialog {
  Q_OBJECT

 public:
  // How long opening and OK wait for the list lock.
  static constexpr int32_t lock_wait_ms = 100;

  explicit ConfigurationDialog(ApplicationCore& core, QWidget* parent = nullptr);
  ~ConfigurationDialog() override;

  // Whether the settings could be read (the lock was free at opening).
  bool editable() const { return editable_; }

  // ---- test hooks ----
  // Messages go to `hook` instead of a modal box.
  void set_message_hook(MessageHook hook) { message_hook_ = std::move(hook); }

 public Q_SLOTS:
  void accept() override;

 private:
  void show_settings(const GlobalSettings& settings);
  void update_proxy_fields();
  void message(int32_t text_id, QMessageBox::Icon icon);

  QScopedPointer<Ui::ConfigurationDialog> m_ui;
  ApplicationCore& core_;
  MessageHook message_hook_;
  bool editable_ = false;
  bool sync_picked_ = false;
};

}  // namespace wayfetch

#endif
