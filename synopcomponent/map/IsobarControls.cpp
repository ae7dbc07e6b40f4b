#include "IsobarControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>

namespace synop::map {

IsobarControls::IsobarControls(QWidget* parent)
    : QWidget(parent), switch_(new QCheckBox(tr("&Isobars"), this)), hour_(new QComboBox(this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    row->addWidget(switch_);
    row->addWidget(hour_);
    setAutoFillBackground(true);
    switch_->setChecked(true);
    // The map keeps the keyboard for zooming and panning.
    switch_->setFocusPolicy(Qt::NoFocus);
    hour_->setFocusPolicy(Qt::NoFocus);
    hour_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    hour_->setToolTip(tr("The synoptic hour analysed"));
    hour_->addItem(tr("Latest full hour"));
    connect(switch_, &QCheckBox::toggled, this, [this](bool on) {
        hour_->setEnabled(on);
        emit shownChanged(on);
    });
    connect(hour_, &QComboBox::activated, this, [this] { emit hourChosen(chosenHour()); });
    adjustSize();
}

void IsobarControls::setShown(bool shown) { switch_->setChecked(shown); }

bool IsobarControls::shown() const { return switch_->isChecked(); }

QDateTime IsobarControls::chosenHour() const { return hour_->currentData().toDateTime(); }

void IsobarControls::setHours(const std::vector<std::pair<QDateTime, int>>& hours)
{
    const QDateTime chosen = chosenHour();
    hour_->blockSignals(true);
    while (hour_->count() > 1) hour_->removeItem(1);
    // Newest first: the hour a listener wants is usually the last few.
    for (auto it = hours.rbegin(); it != hours.rend(); ++it)
        hour_->addItem(tr("%1 (%2 %3)")
                           .arg(it->first.toString(QStringLiteral("d MMM HH 'UTC'")))
                           .arg(it->second)
                           .arg(it->second == 1 ? tr("report") : tr("reports")),
                       it->first);
    const int at = chosen.isValid() ? hour_->findData(chosen) : 0;
    hour_->setCurrentIndex(std::max(0, at));
    hour_->blockSignals(false);
    adjustSize();
    if (chosen.isValid() && at < 0) emit hourChosen({});  // the picked hour left the list
}

}  // namespace synop::map
