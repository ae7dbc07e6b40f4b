#pragma once
// Runs test code inside a modal showing of the configuration dialog: the
// body runs once the window is up and activated; if it leaves the window
// open, it is closed with the window system's close command afterwards.
#include "config/ConfigDialog.h"
#include "config/ConfigForm.h"

#include <QTimer>
#include <functional>

namespace config::testing {

inline void whileShown(ConfigDialog& dialog, QWidget* owner, const std::function<void(ConfigForm&)>& body)
{
    bool ran = false;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(&dialog, &ConfigDialog::activated, &dialog, [&, connection](ConfigForm* form) {
        QObject::disconnect(*connection);
        QTimer::singleShot(0, form, [&, form] {
            ran = true;
            body(*form);
            if (dialog.form()) dialog.form()->reject();
        });
    });
    // A test that goes wrong must fail, not hang.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &dialog, [&] { if (dialog.form()) dialog.form()->reject(); });
    watchdog.start(10'000);
    dialog.ShowModal(owner);
    if (!ran) throw std::runtime_error("the dialog closed before the test body ran");
}

}  // namespace config::testing
