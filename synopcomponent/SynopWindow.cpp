#include "SynopWindow.h"

#include "WeatherTabs.h"

#include "platform/MessageBox.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace synop {
namespace {

struct FormatChoice {
    ExportFormat format;
    const char* label;
    const char* fileName;
    const char* filter;
};
const FormatChoice kFormats[] = {
    {ExportFormat::Csv, "&CSV...", "synop-reports.csv", "CSV files (*.csv)"},
    {ExportFormat::JsonArray, "&JSON...", "synop-reports.json", "JSON files (*.json)"},
    {ExportFormat::GeoJson, "&GeoJSON (map)...", "synop-reports.geojson", "GeoJSON files (*.geojson *.json)"},
    {ExportFormat::Kml, "&KML (map)...", "synop-reports.kml", "KML files (*.kml)"},
};

QString dateText(const QDateTime& t) { return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")) : QString(); }

}  // namespace

int SynopWindow::setRowsShownAtLeast(int rows)
{
    // Room for the promised rows below the header, whatever the window's size.
    table_->setMinimumHeight(table_->horizontalHeader()->sizeHint().height() +
                             rows * table_->verticalHeader()->defaultSectionSize() +
                             table_->horizontalScrollBar()->sizeHint().height() + 2 * table_->frameWidth());
    // The layouts above cache their children's minimum sizes: drop those caches
    // so that the window's minimum follows at once, not at the next event.
    for (QWidget* w = table_->parentWidget(); w && w != this; w = w->parentWidget()) w->updateGeometry();
    if (layout()) layout()->activate();
    return minimumSizeHint().expandedTo(minimumSize()).height();
}

SynopWindow::SynopWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), filter_(new QLineEdit), range_(new QComboBox), table_(new QTableView),
      detail_(new QTreeWidget), raw_(new QPlainTextEdit), status_(new QLabel), tabs_(new QTabWidget)
{
    // A report arriving shows the window, never takes the keyboard from the main window.
    setAttribute(Qt::WA_ShowWithoutActivating);
    filter_->setPlaceholderText(tr("Show only reports containing... (station, name, country, weather, warning)"));
    filter_->setClearButtonEnabled(true);
    range_->addItem(tr("Last 24 hours"), 24);
    range_->addItem(tr("Last 3 days"), 72);
    range_->addItem(tr("Last 7 days"), 7 * 24);
    range_->addItem(tr("Last 30 days"), 30 * 24);
    range_->addItem(tr("Everything"), 0);
    range_->setToolTip(tr("Reports observed in this time range (UTC), from the station log"));
    model_.setFilter([] {
        ReportFilter f;
        f.fromUtc = QDateTime::currentDateTimeUtc().addDays(-1);
        return f;
    }());

    table_->setModel(&model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    const int rowHeight = fontMetrics().height() + 2;
    table_->verticalHeader()->setDefaultSectionSize(rowHeight);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(false);
    setRowsShownAtLeast(kRowsShownAtLeast);
    int widths[ReportListModel::ColumnCount] = {80, 55, 130, 85, 90, 65, 85, 105, 150, 130, 200};
    // A whole date and time, as the wider ranges show them, never elided.
    widths[ReportListModel::Time] = fontMetrics().horizontalAdvance(QStringLiteral("2026-12-31 23:00")) + 16;
    for (int c = 0; c < ReportListModel::ColumnCount; ++c) table_->setColumnWidth(c, widths[c]);

    detail_->setColumnCount(2);
    detail_->setHeaderLabels({tr("Group"), tr("Meaning")});
    detail_->setRootIsDecorated(false);
    detail_->setColumnWidth(0, 110);
    detail_->setMinimumHeight(1);
    raw_->setReadOnly(true);
    raw_->setMaximumBlockCount(50);
    raw_->setFont(QFont(QStringLiteral("monospace")));
    raw_->setMaximumHeight(90);
    raw_->setMinimumHeight(1);

    auto* save = new QPushButton(tr("&Save as"));
    auto* saveMenu = new QMenu(save);
    for (const FormatChoice& choice : kFormats)
        connect(saveMenu->addAction(tr(choice.label)), &QAction::triggered, this, [this, &choice] { askAndSave(choice.format); });
    save->setMenu(saveMenu);
    auto* clear = new QPushButton(tr("C&lear"));
    clear->setToolTip(tr("Empty the list; the station log keeps the reports"));
    auto* buttons = new QHBoxLayout;
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long message (a log path that cannot be written) must not widen the
    // window past the screen: it is cut, and whole in the tooltip.
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    buttons->addWidget(status_, 1);
    buttons->addWidget(clear);
    buttons->addWidget(save);

    auto* lower = new QWidget;
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(raw_);
    lowerLayout->addWidget(detail_);
    // The selected report beside the list, not below it: the list keeps the
    // window's whole height for its rows, and the detail is there at once
    // whatever the screen's height leaves.
    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(table_);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 5);
    splitter->setStretchFactor(1, 2);
    splitter->setChildrenCollapsible(false);
    lower->setMinimumWidth(240);
    splitter->setSizes({820, 360});

    // The list is the first tab; other views of the same reports sit beside it.
    tabs_->addTab(splitter, tr("&Reports"));
    tabs_->setDocumentMode(true);

    // The filter and the range share the tab bar's row: below a main window
    // on a 1280x800 screen every line of height goes to the list's rows.
    auto* top = new QWidget;
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(8, 0, 0, 2);
    filter_->setMinimumWidth(360);
    topLayout->addWidget(filter_, 1);
    topLayout->addWidget(range_);
    tabs_->setCornerWidget(top, Qt::TopRightCorner);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    layout->addWidget(tabs_, 1);
    layout->addLayout(buttons);
    resize(1220, 640);

    filterDelay_.setSingleShot(true);
    filterDelay_.setInterval(250);  // one query when the user stops typing, not one per key
    connect(&filterDelay_, &QTimer::timeout, this, &SynopWindow::applyFilter);
    connect(filter_, &QLineEdit::textChanged, &filterDelay_, qOverload<>(&QTimer::start));
    connect(range_, &QComboBox::currentIndexChanged, this, [this] {
        clearedUpTo_ = 0;
        applyFilter();
    });
    // The map and the plots show the listed reports; a click on the map selects in the list.
    weather_ = new WeatherTabs(tabs_, listSource(model_));
    connect(weather_, &WeatherTabs::reportClicked, this, [this](qint64 id) {
        const int row = listRowOf(model_, id);
        if (row >= 0) table_->selectRow(row);
    });
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        showDetail(current.row());
        const qint64 id = sourceIdOf(model_, current.row());
        weather_->select(id ? std::optional<qint64>(id) : std::nullopt);
    });
    connect(&model_, &QAbstractItemModel::modelReset, this, [this] {
        detail_->clear();
        raw_->clear();
        if (followNewest_) table_->scrollToBottom();
    });
    connect(&model_, &ReportListModel::countingProgressed, this, &SynopWindow::updateStatus);
    connect(&model_, &ReportListModel::shownReportsChanged, this, [this] {
        updateStatus();
        weather_->reportsChanged();
        emit shownReportsChanged();
    });
    // Follow the newest report only while the user is at the bottom of the list.
    connect(table_->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this](int value) { followNewest_ = value >= table_->verticalScrollBar()->maximum(); });
    connect(&model_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (followNewest_) table_->scrollToBottom();
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        clearedUpTo_ = model_.log() && model_.log()->isOpen() ? model_.log()->lastId() : 0;
        applyFilter();
        model_.setUnsaved({});
    });
    updateStatus();
}

void SynopWindow::setLog(std::shared_ptr<const ReportLog> log)
{
    model_.setLog(std::move(log));
    table_->scrollToBottom();
}

void SynopWindow::applyFilter()
{
    filterDelay_.stop();
    ReportFilter f;
    const int hours = range_->currentData().toInt();
    if (hours > 0) f.fromUtc = QDateTime::currentDateTimeUtc().addSecs(-3600LL * hours);
    f.text = filter_->text().trimmed();
    f.withNil = listNil_;
    f.afterId = clearedUpTo_;
    followNewest_ = true;
    model_.setFilter(f);
}

void SynopWindow::setListNil(bool listNil)
{
    listNil_ = listNil;
    applyFilter();
}

void SynopWindow::setTimeRangeHours(int hours)
{
    const int index = range_->findData(hours);
    if (index >= 0) range_->setCurrentIndex(index);
}

void SynopWindow::reportsStored(bool rowsReplaced, const std::deque<LoggedReport>& keptInMemory, int64_t lostFromMemory)
{
    const bool follow = followNewest_;
    lostFromMemory_ = lostFromMemory;
    model_.refresh(rowsReplaced);
    model_.setUnsaved(keptInMemory);
    if (follow) table_->scrollToBottom();
    updateStatus();
}

void SynopWindow::selectRow(int row) { table_->selectRow(row); }

void SynopWindow::setFilterText(const QString& text)
{
    filter_->setText(text);
    applyFilter();
}

void SynopWindow::showDetail(int row)
{
    detail_->clear();
    raw_->clear();
    const LoggedReport* found = model_.report(row);
    if (!found) return;
    LoggedReport lr = *found;  // the model's page may be read anew below
    // Pages of the log are read without each group's meaning; the shown report is read with it.
    if (lr.id > 0 && lr.report.groups.empty() && log())
        if (auto full = log()->report(lr.id)) lr = std::move(*full);
    const DecodedReport& r = lr.report;
    raw_->setPlainText(QString::fromStdString(r.raw));
    if (!lr.place.name.empty() || lr.place.hasPosition()) {
        QString where = QString::fromStdString(lr.place.name + (lr.place.country.empty() ? "" : ", " + lr.place.country));
        if (lr.place.hasPosition())
            where += QStringLiteral(" (%1, %2)").arg(*lr.place.lat, 0, 'f', 2).arg(*lr.place.lon, 0, 'f', 2);
        if (lr.place.elevationM) where += QStringLiteral(", %1 m").arg(*lr.place.elevationM);
        new QTreeWidgetItem(detail_, {QString::fromStdString(r.station), where.trimmed()});
    }
    if (r.heading) {
        new QTreeWidgetItem(detail_, {tr("bulletin"), QString::fromStdString(r.heading->ttaaii + " " + r.heading->cccc + " "
                                                                              + r.heading->yygggg + " " + r.heading->bbb)});
    }
    QString heard = tr("observed %1, received %2").arg(dateText(lr.observedUtc), dateText(lr.receivedUtc));
    if (lr.timesHeard > 1) heard += tr(", heard %1 times").arg(lr.timesHeard);
    new QTreeWidgetItem(detail_, {tr("time"), heard});
    // Warnings first: they say which of the groups below to distrust.
    for (const std::string& w : r.warnings) {
        auto* item = new QTreeWidgetItem(detail_, {tr("warning"), QString::fromStdString(w)});
        item->setForeground(1, QBrush(QColor(0xb0, 0x40, 0x00)));
    }
    for (const GroupMeaning& g : r.groups)
        new QTreeWidgetItem(detail_, {QString::fromStdString(g.group), QString::fromStdString(g.meaning)});
    if (lr.id && model_.log()) {
        for (const LoggedReport& earlier : model_.log()->replacedBy(lr.id)) {
            const std::string bbb = earlier.report.heading ? earlier.report.heading->bbb : std::string();
            new QTreeWidgetItem(detail_, {tr("replaces"), tr("%1 received %2: %3")
                                                              .arg(bbb.empty() ? tr("reading") : QString::fromStdString(bbb),
                                                                   dateText(earlier.receivedUtc),
                                                                   QString::fromStdString(earlier.report.raw))});
        }
    }
}

int SynopWindow::detailRows() const { return detail_->topLevelItemCount(); }

QString SynopWindow::save(const QString& path, ExportFormat format)
{
    // What is listed, once the count of a long log's search is done.
    model_.finishCounting();
    const SaveResult result = saveReports(model_, path, format);
    if (result.error.isEmpty()) {
        QString text = tr("%n report(s) saved to %1", nullptr, static_cast<int>(result.written)).arg(path);
        if (result.leftOut) text += tr(" (%n without a position left out)", nullptr, static_cast<int>(result.leftOut));
        status_->setText(text);
    } else {
        const QString text = tr("Could not save %1: %2").arg(path, result.error);
        status_->setText(text);
        platform::showMessage(text, windowTitle(), this);
    }
    statusText_ = status_->text();
    return result.error;
}

void SynopWindow::askAndSave(ExportFormat format)
{
    for (const FormatChoice& choice : kFormats) {
        if (choice.format != format) continue;
        const QString path = QFileDialog::getSaveFileName(this, tr("Save the listed reports"), QString::fromLatin1(choice.fileName),
                                                          tr(choice.filter));
        if (!path.isEmpty()) save(path, format);
    }
}

void SynopWindow::setLogProblem(const QString& problem)
{
    logProblem_ = problem;
    updateStatus();
}

void SynopWindow::updateStatus()
{
    const int count = model_.rowCount();
    QString text = model_.counting()
                       ? tr("Searching the station log: %1 %").arg(model_.countedPercent())
                       : (count == 1 ? tr("1 report") : tr("%1 reports").arg(count)) +
                             tr(", %1 with warnings").arg(model_.withWarnings());
    // What the log holds is told apart from what only memory holds: a full
    // disk must not pass for reports stored.
    const int inMemory = count - model_.storedRows();
    if (inMemory > 0 && !model_.counting()) text += tr("; %1 in the station log, %2 only in memory").arg(model_.storedRows()).arg(inMemory);
    if (lostFromMemory_ > 0) text += tr("; %1 more lost, memory holds only the latest").arg(lostFromMemory_);
    if (!logProblem_.isEmpty()) text = logProblem_ + QStringLiteral(" - ") + text;
    status_->setText(text);
    status_->setToolTip(text + (model_.log() ? QStringLiteral("\n") + tr("Station log: %1").arg(model_.log()->path()) : QString()));
    statusText_ = text;
}

void SynopWindow::closeEvent(QCloseEvent* event)
{
    emit closedByUser();  // the component only ever hides it
    QWidget::closeEvent(event);
}

}  // namespace synop
