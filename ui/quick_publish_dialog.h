// QuickPublishDialog: makes the e-book of one local HTML or text page, as
// "wayfetch --publish" does (ebook/page_publishing.h).
//
// "&Publizieren >>" with a source that is not an existing file shows
// message 10120 (an information box titled "Wayfetch") and the dialog stays
// open. Otherwise the target gets the extension ".prc" (an empty target:
// the source's name; a folder: the source's name inside it) and the page is
// published, compressed and with the notice page, on a worker thread while
// a progress bar follows the publisher, so a large page does not freeze the
// window. A book that would be the page itself is refused with 10120. A
// page that cannot be made into a book shows string 20001 in an error box
// titled "Wayfetch". The dialog then closes.
//
// While the page is published, the fields are disabled and the dialog
// cannot be closed: Cancel, Escape and the window's close button stop the
// publish (no partial book is left; an existing book stays as it was), and
// the dialog closes once the worker has ended.
//
// GUI thread only; run with exec().
#ifndef WAYFETCH_UI_QUICK_PUBLISH_DIALOG_H
#define WAYFETCH_UI_QUICK_PUBLISH_DIALOG_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include <QDialog>
#include <QScopedPointer>
#include <QStringList>

#include "ebook/page_publishing.h"
#include "ui/message_boxes.h"

class QTimer;

namespace Ui {
class QuickPublishDialog;
}

namespace wayfetch {

class QuickPublishDialog : public QDialog {
  Q_OBJECT

 public:
  explicit QuickPublishDialog(QWidget* parent = nullptr);
  // Stops a publish in progress and waits for its worker.
  ~QuickPublishDialog() override;

  bool publishing() const { return worker_.joinable(); }
  // The browse filters, as shown in the file dialogs.
  static QStringList source_filters();
  static QStringList target_filters();

  // ---- test hooks ----
  // The browse buttons ask `hook` (source: true for the source field)
  // instead of a file dialog; an empty answer keeps the field.
  using BrowseHook = std::function<QString(bool source, const QStringList& filters)>;
  void set_browse_hook(BrowseHook hook) { browse_hook_ = std::move(hook); }
  void set_message_hook(MessageHook hook) { message_hook_ = std::move(hook); }
  // What became of the last publish.
  const PagePublishOutcome& outcome() const { return outcome_; }

 public Q_SLOTS:
  // While a publish runs: stops it; the dialog closes when it has ended.
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void browse(bool source);
  void publish();
  // GUI thread, on the timer: shows the progress; joins an ended worker.
  void poll();
  void publish_ended();
  void set_busy(bool busy);
  void message(int32_t text_id, QMessageBox::Icon icon);

  QScopedPointer<Ui::QuickPublishDialog> m_ui;
  BrowseHook browse_hook_;
  MessageHook message_hook_;
  // The worker hands its progress over in atomics that the GUI thread polls
  // (no Qt call crosses threads, so every hand-over is one a race checker
  // sees); the outcome is read only after joining it.
  std::thread worker_;
  QTimer* poll_timer_ = nullptr;
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
  std::atomic<int32_t> range_{0};
  std::atomic<int32_t> position_{0};
  PagePublishOutcome outcome_;
};

}  // namespace wayfetch

#endif
