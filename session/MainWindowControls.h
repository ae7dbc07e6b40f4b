#pragma once
// The main window's controls that the session handlers drive.
class QPushButton;
class QWidget;

namespace platform {
class StatusPanels;
class TextBox;
}  // namespace platform
namespace cardctl {
class CardControl;
}

namespace session {

// Status panels by number.
enum Panel : int { kModePanel = 1, kSpeedPanel, kShiftPanel, kPolarPanel, kFreqPanel, kStatePanel };

struct MainWindowControls {
    QWidget* window = nullptr;
    QPushButton* Connect = nullptr;
    QPushButton* Auto = nullptr;
    QPushButton* Config = nullptr;
    QPushButton* Cancel = nullptr;
    platform::TextBox* Text = nullptr;
    platform::StatusPanels* StatusBar = nullptr;
    cardctl::CardControl* W6xXML = nullptr;
};

}  // namespace session
