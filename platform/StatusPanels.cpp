#include "StatusPanels.h"

#include "Twips.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>

namespace platform {

namespace {
// Room beyond a text's advance: the last glyph may overhang it.
constexpr int kTextSlack = 2;
}  // namespace

StatusPanels::StatusPanels(const std::vector<PanelDesign>& panels, QWidget* parent) : QFrame(parent)
{
    // The design's panels were laid out for an 8-point sans serif.
    QFont small = font();
    small.setPointSizeF(std::min(small.pointSizeF(), 8.0));
    setFont(small);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(2);
    for (const PanelDesign& design : panels) {
        auto* label = new QLabel(design.text, this);
        label->setToolTip(design.toolTip);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        label->setIndent(2);
        // A panel is at least its design width, wide enough for the texts it
        // is known to show, and grows when another text needs more room, so
        // that no text is cut to fit.
        int width = twipsToPixels(design.widthTwips);
        const QMargins margins = label->contentsMargins();
        QStringList texts{design.text};
        for (const QString& text : design.longestTexts) texts << text;
        for (const QString& text : texts)
            width = std::max(width, label->fontMetrics().horizontalAdvance(text) + label->indent() + kTextSlack +
                                        margins.left() + margins.right());
        label->setMinimumWidth(width);
        label->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
        label->installEventFilter(this);
        layout->addWidget(label);
        m_labels.push_back(label);
        m_widthsTwips.push_back(design.widthTwips);
    }
    layout->addStretch(1);
}

int StatusPanels::widthNeeded() const
{
    const QMargins margins = layout()->contentsMargins();
    int width = margins.left() + margins.right();
    for (const QLabel* label : m_labels) width += label->minimumWidth();
    return width + layout()->spacing() * std::max(0, count() - 1);
}

QLabel* StatusPanels::label(int number) const
{
    if (number < 1 || number > count()) return nullptr;
    return m_labels[static_cast<size_t>(number - 1)];
}

QString StatusPanels::panelText(int number) const
{
    const QLabel* panel = label(number);
    return panel ? panel->text() : QString();
}

void StatusPanels::setPanelText(int number, const QString& text)
{
    if (QLabel* panel = label(number)) panel->setText(text);
}

QString StatusPanels::panelToolTip(int number) const
{
    const QLabel* panel = label(number);
    return panel ? panel->toolTip() : QString();
}

int StatusPanels::panelWidthTwips(int number) const
{
    return label(number) ? m_widthsTwips[static_cast<size_t>(number - 1)] : 0;
}

void StatusPanels::clickPanel(int number)
{
    if (label(number)) emit PanelClick(number);
}

bool StatusPanels::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        for (int i = 0; i < count(); ++i)
            if (m_labels[static_cast<size_t>(i)] == watched) emit PanelClick(i + 1);
    }
    return QFrame::eventFilter(watched, event);
}

}  // namespace platform
