#include "SynopWindow.h"

#include "WeatherTabs.h"

#include "platform/MessageBox.h"
#include "synopdecoder/StationCatalog.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace synop {

SynopWindow::SynopWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), filter_(new QLineEdit), table_(new QTableView), detail_(new QTreeWidget),
      raw_(new QPlainTextEdit), status_(new QLabel), tabs_(new QTabWidget)
{
    proxy_.setSourceModel(&model_);
    proxy_.setFilterKeyColumn(-1);
    proxy_.setFilterCaseSensitivity(Qt::CaseInsensitive);
    filter_->setPlaceholderText(tr("Show only reports containing... (station, name, country, weather, warning)"));
    filter_->setClearButtonEnabled(true);
    table_->setModel(&proxy_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(false);
    const int widths[ReportListModel::ColumnCount] = {70, 55, 130, 85, 90, 65, 85, 105, 150, 130, 200};
    for (int c = 0; c < ReportListModel::ColumnCount; ++c) table_->setColumnWidth(c, widths[c]);

    detail_->setColumnCount(2);
    detail_->setHeaderLabels({tr("Group"), tr("Meaning")});
    detail_->setRootIsDecorated(false);
    detail_->setColumnWidth(0, 110);
    raw_->setReadOnly(true);
    raw_->setMaximumBlockCount(50);
    raw_->setFont(QFont(QStringLiteral("monospace")));
    raw_->setMaximumHeight(70);

    auto* saveCsv = new QPushButton(tr("Save as &CSV..."));
    auto* saveJson = new QPushButton(tr("Save as &JSON..."));
    auto* clear = new QPushButton(tr("C&lear"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(clear);
    buttons->addWidget(saveCsv);
    buttons->addWidget(saveJson);

    auto* lower = new QWidget;
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(raw_);
    lowerLayout->addWidget(detail_);
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(table_);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    // The list is the first tab; other views of the same reports sit beside it.
    tabs_->addTab(splitter, tr("&Reports"));
    tabs_->setDocumentMode(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filter_);
    layout->addWidget(tabs_, 1);
    layout->addLayout(buttons);
    resize(1220, 600);

    // The map and the plots show the listed reports; a click on the map selects in the list.
    weather_ = new WeatherTabs(tabs_, listSource(model_, proxy_));
    connect(weather_, &WeatherTabs::reportClicked, this, [this](qint64 row) {
        const QModelIndex listed = proxy_.mapFromSource(model_.index(int(row), 0));
        if (listed.isValid()) table_->selectRow(listed.row());
    });

    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        const int row = proxy_.mapToSource(current).row();
        showDetail(row);
        weather_->select(row >= 0 ? std::optional<qint64>(row) : std::nullopt);
    });
    connect(filter_, &QLineEdit::textChanged, &proxy_, &QSortFilterProxyModel::setFilterFixedString);
    connect(filter_, &QLineEdit::textChanged, weather_, &WeatherTabs::reportsChanged);
    // Follow the newest report only while the user is at the bottom of the list.
    connect(table_->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this](int value) { followNewest_ = value >= table_->verticalScrollBar()->maximum(); });
    connect(saveCsv, &QPushButton::clicked, this, [this] { askAndSave(SaveFormat::Csv); });
    connect(saveJson, &QPushButton::clicked, this, [this] { askAndSave(SaveFormat::Json); });
    connect(clear, &QPushButton::clicked, this, [this] {
        model_.clear();
        detail_->clear();
        raw_->clear();
        weather_->reportsChanged();
        updateStatus();
    });
    updateStatus();
}

void SynopWindow::addReport(DecodedReport report)
{
    const bool follow = followNewest_;
    model_.append(std::move(report));
    if (follow) table_->scrollToBottom();
    weather_->reportsChanged();
    updateStatus();
}

void SynopWindow::selectRow(int row) { table_->selectRow(row); }

void SynopWindow::setFilterText(const QString& text) { filter_->setText(text); }

void SynopWindow::showDetail(int row)
{
    detail_->clear();
    raw_->clear();
    const DecodedReport* r = model_.report(row);
    if (!r) return;
    raw_->setPlainText(QString::fromStdString(r->raw));
    const StationCatalog& catalog = StationCatalog::builtIn();
    const StationInfo* info = r->form == ReportForm::Land ? catalog.landStation(r->station) : catalog.buoy(r->station);
    if (info) {
        QString where = QString::fromStdString(info->name + ", " + info->country);
        if (info->lat && info->lon) where += QStringLiteral(" (%1, %2)").arg(*info->lat, 0, 'f', 2).arg(*info->lon, 0, 'f', 2);
        if (info->elevationM) where += QStringLiteral(", %1 m").arg(*info->elevationM);
        new QTreeWidgetItem(detail_, {QString::fromStdString(r->station), where});
    }
    if (r->heading) {
        new QTreeWidgetItem(detail_, {tr("bulletin"), QString::fromStdString(r->heading->ttaaii + " " + r->heading->cccc + " "
                                                                              + r->heading->yygggg + " " + r->heading->bbb)});
    }
    // Warnings first: they say which of the groups below to distrust.
    for (const std::string& w : r->warnings) {
        auto* item = new QTreeWidgetItem(detail_, {tr("warning"), QString::fromStdString(w)});
        item->setForeground(1, QBrush(QColor(0xb0, 0x40, 0x00)));
    }
    for (const GroupMeaning& g : r->groups)
        new QTreeWidgetItem(detail_, {QString::fromStdString(g.group), QString::fromStdString(g.meaning)});
}

int SynopWindow::detailRows() const { return detail_->topLevelItemCount(); }

QString SynopWindow::save(const QString& path, SaveFormat format)
{
    const QString why = saveReports(model_.reports(), path, format);
    if (why.isEmpty()) {
        status_->setText(tr("%n report(s) saved to %1", nullptr, model_.rowCount()).arg(path));
    } else {
        const QString text = tr("Could not save %1: %2").arg(path, why);
        status_->setText(text);
        platform::showMessage(text, windowTitle(), this);
    }
    return why;
}

void SynopWindow::askAndSave(SaveFormat format)
{
    const bool csv = format == SaveFormat::Csv;
    const QString path = QFileDialog::getSaveFileName(this, csv ? tr("Save reports as CSV") : tr("Save reports as JSON"),
                                                      csv ? QStringLiteral("synop-reports.csv") : QStringLiteral("synop-reports.json"),
                                                      csv ? tr("CSV files (*.csv)") : tr("JSON files (*.json)"));
    if (!path.isEmpty()) save(path, format);
}

void SynopWindow::updateStatus()
{
    size_t warned = 0;
    for (const DecodedReport& r : model_.reports()) warned += r.warnings.empty() ? 0 : 1;
    status_->setText(tr("%1 reports, %2 with warnings").arg(model_.rowCount()).arg(warned));
}

QString SynopWindow::statusText() const { return status_->text(); }

}  // namespace synop
