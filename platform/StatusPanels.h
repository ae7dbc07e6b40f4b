#pragma once
// A status bar of text panels addressed by number from 1, each with a fixed
// width in twips and a tooltip; a click on a panel reports its number.
#include <QFrame>
#include <QString>
#include <vector>

class QLabel;

namespace platform {

struct PanelDesign {
    QString text;
    QString toolTip;
    int widthTwips = 0;
    // The longest texts the program writes into the panel: it is made wide
    // enough for each of them, and for the design text, whatever the font.
    std::vector<QString> longestTexts;
};

class StatusPanels : public QFrame {
    Q_OBJECT
public:
    explicit StatusPanels(const std::vector<PanelDesign>& panels, QWidget* parent = nullptr);

    int count() const { return static_cast<int>(m_labels.size()); }
    QString panelText(int number) const;
    void setPanelText(int number, const QString& text);
    QString panelToolTip(int number) const;
    int panelWidthTwips(int number) const;
    // Width in pixels that shows every panel whole.
    int widthNeeded() const;

    // For tests and keyboard users: behaves as a click on the panel.
    void clickPanel(int number);

signals:
    void PanelClick(int panelNumber);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* label(int number) const;
    std::vector<QLabel*> m_labels;
    std::vector<int> m_widthsTwips;
};

}  // namespace platform
