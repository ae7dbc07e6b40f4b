#pragma once
// The configuration window with its controls at their design values. A
// fresh form is built for every showing; the behaviour lives in
// ConfigDialog, which outlives the form.
#include <QDialog>
#include <QString>
#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace config {

// Shown in the red notice while the card search runs.
inline const QString kSearchNotice = QStringLiteral("Searching for cards, can take up to 1mn !");

class ConfigForm : public QDialog {
    Q_OBJECT
public:
    explicit ConfigForm(QWidget* owner);

    // Closing other than by OK or Cancel (close box, Escape) is refused while
    // this is set: the card search runs nested inside its blocking call and
    // the form must outlive it.
    void setClosingBlocked(bool blocked) { m_closingBlocked = blocked; }

    // Puts the window's outer corner (its frame's) at the given place, also
    // when the frame is only known once a window manager has framed it.
    void placeOuterCornerAt(QPoint corner);

    std::array<QGroupBox*, 4> frame{};
    std::array<QLabel*, 2> lbl{};
    QLineEdit* vHostNam = nullptr;
    QLineEdit* vHostSvc = nullptr;
    std::array<QRadioButton*, 1> vCardTyp{};
    std::array<QRadioButton*, 8> vCardNum{};
    std::array<QRadioButton*, 4> vIFInp{};
    QLineEdit* vIFFrq = nullptr;
    QPushButton* searchButton = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QLabel* notify = nullptr;

    // Client area in twips.
    static constexpr int kWidthTwips = 3480;
    static constexpr int kHeightTwips = 3675;
    static constexpr int kFrequencyMaxLength = 8;
    static constexpr double kSmallestPointSize = 7.0;
    // How long after placing a window manager may take to frame the window.
    static constexpr int kFramingTimeMs = 5000;
    static constexpr int kFramingCheckMs = 10;

signals:
    // Raised once, when the form is first shown.
    void activated();

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildHostFrame();
    void buildCardTypeFrame();
    void buildCardsFrame();
    void buildCommandButtons();
    void buildParametersFrame();
    void buildNotice();
    void setTabOrder();
    void fitFontToPlaces();
    void drawFramesAroundTheirPlaces();
    void giveTheNoticeItsLineHeight();
    bool captionsFit() const;

    bool m_closingBlocked = false;
    bool m_activated = false;
};

}  // namespace config
