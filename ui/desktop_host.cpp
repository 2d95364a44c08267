#include "ui/desktop_host.h"

#include <QCoreApplication>

#include "ui/configuration_dialog.h"
#include "ui/main_window.h"
#include "ui/qt_prompts.h"
#include "ui/qt_window_host.h"
#include "ui/quick_publish_dialog.h"

namespace wayfetch {

std::unique_ptr<WindowHost> make_desktop_host() {
  // The prompts the host makes, for the set-up that follows; the host keeps
  // them alive for the whole run.
  auto made = std::make_shared<QtPrompts*>(nullptr);
  auto make_prompts = [made]() -> std::unique_ptr<Prompts> {
    auto prompts = std::make_unique<QtPrompts>();
    *made = prompts.get();
    return prompts;
  };
  auto setup = [made](MainWindow& window, ApplicationCore& core) {
    if (QtPrompts* prompts = *made; prompts != nullptr) {
      prompts->set_owner(&window);
      QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, prompts,
                       [prompts] { prompts->shut_down(); });
    }
    window.set_quick_publish_hook([&window] {
      QuickPublishDialog dialog(&window);
      dialog.exec();
    });
    window.set_configuration_hook([&window, &core] {
      ConfigurationDialog dialog(core, &window);
      dialog.exec();
    });
  };
  return std::make_unique<QtWindowHost>(std::move(make_prompts), std::move(setup));
}

}  // namespace wayfetch
