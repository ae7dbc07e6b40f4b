#pragma once
// The map's isobar controls, top left: the switch that shows or hides the
// analysis, and the hour it analyses: the latest with enough reports (the
// default, following new reports) or one the user picks.
#include <QDateTime>
#include <QWidget>
#include <vector>

class QCheckBox;
class QComboBox;

namespace synop::map {

class IsobarControls : public QWidget {
    Q_OBJECT
public:
    explicit IsobarControls(QWidget* parent = nullptr);

    void setShown(bool shown);
    bool shown() const;
    // The hours the reports offer, with how many reports each; the pick is
    // kept when it is still among them.
    void setHours(const std::vector<std::pair<QDateTime, int>>& hours);
    // Invalid: the latest hour with enough reports.
    QDateTime chosenHour() const;

signals:
    void shownChanged(bool shown);
    void hourChosen(const QDateTime& hour);

private:
    QCheckBox* switch_;
    QComboBox* hour_;
};

}  // namespace synop::map
