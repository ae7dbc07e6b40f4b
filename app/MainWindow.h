#pragma once
// The main window: four buttons, the decoded text, six status panels and
// the card control. It owns the session state, the configuration dialog
// and the link to the SYNOP component; its life is the program's.
#include "cardctl/CardControl.h"
#include "session/MainWindowControls.h"
#include "session/MainWindowState.h"
#include "synop/SynopBridge.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace config {
class ConfigDialog;
}
namespace session {
class SessionHandlers;
}

namespace app {

// What the window talks to, replaceable by doubles in tests.
struct MainWindowParts {
    std::unique_ptr<cardctl::CardControl> cardControl;
    // The configuration dialog's own card controls (one per showing).
    std::function<std::unique_ptr<cardctl::CardControl>()> configCardControls;
    // Instances of the SYNOP component, one per session.
    synop::ComponentFactory synopComponents;
};

MainWindowParts networkParts();

class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(MainWindowParts parts = networkParts(), QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up: settings, position, title, then the configuration dialog
    // or the Connect button. Runs once, before the window first appears.
    void Load();
    // The Config button: hands the settings to the dialog and takes them back.
    void ConfigClick();

    session::MainWindowState& state() { return m_state; }
    const session::MainWindowControls& controls() const { return m_controls; }
    session::SessionHandlers& handlers() { return *m_handlers; }
    config::ConfigDialog* configDialog() const { return m_config.get(); }
    synop::SynopBridge& synopBridge() { return m_synop; }
    // Keyboard order of the controls, first first.
    const std::vector<QWidget*>& tabOrder() const { return m_tabOrder; }

    // Outer position and height in twips, as the settings keep them.
    double leftTwips() const;
    double topTwips() const;
    double outerHeightTwips() const;

signals:
    // The configuration dialog object was created (on first use).
    void configDialogCreated(config::ConfigDialog* dialog);
    // Shutdown has run: the program's life is over.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void layoutControls();
    void moveToFrontOfTabOrder(QWidget* widget);
    void applyTabOrder();
    void readSettings();
    void placeAtStoredPosition();
    void Unload();
    void takeFrameIntoSynopDefault();

    session::MainWindowState m_state;
    session::MainWindowControls m_controls;
    std::unique_ptr<cardctl::CardControl> m_cardControl;
    std::function<std::unique_ptr<cardctl::CardControl>()> m_configCardControls;
    synop::SynopBridge m_synop;
    std::unique_ptr<session::SessionHandlers> m_handlers;
    std::unique_ptr<config::ConfigDialog> m_config;
    std::vector<QWidget*> m_tabOrder;
    bool m_unloaded = false;
    // The outer height counted into the SYNOP window's default place while
    // it is still the load-time guess.
    std::optional<double> m_synopDefaultOuterHeightTwips;
};

}  // namespace app
