#include "WeatherMapWidget.h"

#include "Coastlines.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace synop::map {

namespace {

const QColor kSea(0xdc, 0xe9, 0xf3);
const QColor kLand(0xf4, 0xf1, 0xe6);
const QColor kCoast(0x6f, 0x86, 0x9c);
const QColor kBorder(0xb4, 0xa9, 0x9a);
const QColor kGraticule(0xc2, 0xd2, 0xe0);
constexpr double kClickRadius = 9;
constexpr double kDragThreshold = 4;

// A fuller report wins a crowded place; between equals, the newer one.
bool preferred(const MapReport& a, const MapReport& b)
{
    const int ca = a.values.completeness(), cb = b.values.completeness();
    if (ca != cb) return ca > cb;
    if (a.observed != b.observed) return a.observed > b.observed;
    return a.id > b.id;
}

}  // namespace

WeatherMapWidget::WeatherMapWidget(QWidget* parent) : QWidget(parent), isobarControls_(new IsobarControls(this))
{
    isobarControls_->move(36, 4);
    connect(isobarControls_, &IsobarControls::shownChanged, this, &WeatherMapWidget::setIsobarsVisible);
    setMouseTracking(false);
    setMinimumSize(320, 120);
    setCursor(Qt::OpenHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    view_.setViewport(size());
    view_.fit(-60, -180, 75, 180);
}

void WeatherMapWidget::setReports(std::vector<MapReport> reports)
{
    reports_ = std::move(reports);
    pickShown();
    if (!userMoved_) fitToReports();
    layoutStale_ = true;
    update();
}

void WeatherMapWidget::setSelectedReport(std::optional<qint64> id)
{
    if (selected_ == id) return;
    selected_ = id;
    pickShown();
    layoutStale_ = true;
    update();
}

void WeatherMapWidget::setIsobarsVisible(bool visible)
{
    if (visible == isobars_.isVisible()) return;
    isobars_.setVisible(visible);
    isobarControls_->setShown(visible);
    update();
    emit isobarsToggled(visible);
}

void WeatherMapWidget::showArea(GeoPoint centre, double pixelsPerDegree)
{
    view_.setCentre(centre);
    view_.setScale(pixelsPerDegree);
    userMoved_ = true;
    layoutStale_ = true;
    update();
}

void WeatherMapWidget::pickShown()
{
    // One report per station: a ship's call sign stands for the ship wherever
    // it is; a buoy and a land station may share a number.
    std::unordered_map<QString, size_t> byStation;
    for (size_t i = 0; i < reports_.size(); ++i) {
        const MapReport& r = reports_[i];
        auto [it, fresh] = byStation.try_emplace(QLatin1String(reportFormCode(r.form)) + r.station, i);
        if (fresh) continue;
        const MapReport& held = reports_[it->second];
        const bool heldSelected = selected_ && held.id == *selected_;
        const bool thisSelected = selected_ && r.id == *selected_;
        if (thisSelected || (!heldSelected && newerReport(r, held))) it->second = i;
    }
    shown_.clear();
    for (const auto& [station, index] : byStation) shown_.push_back(index);
    std::sort(shown_.begin(), shown_.end());
}

void WeatherMapWidget::fitToReports()
{
    if (shown_.empty()) return;
    std::vector<double> lats, lons;
    for (const size_t i : shown_) {
        lats.push_back(reports_[i].lat);
        lons.push_back(reports_[i].lon);
    }
    std::sort(lats.begin(), lats.end());
    std::sort(lons.begin(), lons.end());
    // A few far-off stations (a ship, an Antarctic base) should not shrink
    // the many to a speck: with enough stations the outer 5 % on each side
    // may fall outside the first view.
    const size_t cut = shown_.size() >= 20 ? shown_.size() / 20 : 0;
    const double south = lats[cut], north = lats[lats.size() - 1 - cut];
    const double west = lons[cut], east = lons[lons.size() - 1 - cut];
    const double margin = std::max(1.5, (north - south) * 0.08);
    view_.fit(std::max(-80.0, south - margin), west - margin, std::min(80.0, north + margin), east + margin);
    layoutStale_ = true;
}

void WeatherMapWidget::layOut()
{
    screen_.clear();
    std::vector<int> order(shown_.size());
    for (size_t k = 0; k < shown_.size(); ++k) {
        const MapReport& r = reports_[shown_[k]];
        screen_.push_back(view_.toScreen({r.lat, r.lon}));
        order[k] = int(k);
    }
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const MapReport& ra = reports_[shown_[size_t(a)]];
        const MapReport& rb = reports_[shown_[size_t(b)]];
        const bool sa = selected_ && ra.id == *selected_, sb = selected_ && rb.id == *selected_;
        if (sa != sb) return sa;
        return preferred(ra, rb);
    });
    placement_ = declutter(screen_, order, StationModelPainter::footprint(), QRectF(QPointF(0, 0), view_.viewport()));
    layoutStale_ = false;
}

std::optional<qint64> WeatherMapWidget::reportAt(QPointF s) const
{
    std::optional<qint64> best;
    double bestDistance = kClickRadius;
    for (size_t k = 0; k < screen_.size() && k < placement_.size(); ++k) {
        if (placement_[k] == Placement::Hidden) continue;
        const double d = std::hypot(screen_[k].x() - s.x(), screen_[k].y() - s.y());
        if (d < bestDistance) {
            bestDistance = d;
            best = reports_[shown_[k]].id;
        }
    }
    return best;
}

void WeatherMapWidget::drawBackground(QPainter& p)
{
    p.fillRect(rect(), kSea);
    const CoastPaths& world = Coastlines::builtIn().atScale(view_.scale());
    for (int shift = view_.firstWorldShift(); shift <= view_.lastWorldShift(); ++shift) {
        p.setTransform(view_.mercatorToScreen(shift));
        // The coastline drawn over the fill hides its edge, so the fill can skip antialiasing.
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(Qt::NoPen);
        p.setBrush(kLand);
        p.drawPath(world.land);
        p.setRenderHint(QPainter::Antialiasing, true);
        QPen border(kBorder, 0.8);
        border.setCosmetic(true);
        p.setPen(border);
        p.setBrush(Qt::NoBrush);
        p.drawPath(world.borders);
        QPen coast(kCoast, 1.0);
        coast.setCosmetic(true);
        p.setPen(coast);
        p.drawPath(world.coast);
    }
    p.resetTransform();

    // Parallels and meridians at a step that leaves a few on the screen.
    const double spanDeg = width() / view_.scale();
    const double step = spanDeg > 120 ? 30 : spanDeg > 50 ? 10 : spanDeg > 20 ? 5 : spanDeg > 8 ? 2 : 1;
    const GeoPoint topLeft = view_.toGeo(QPointF(0, 0));
    const GeoPoint bottomRight = view_.toGeo(QPointF(width(), height()));
    p.setPen(QPen(kGraticule, 0.8, Qt::DotLine));
    QFont label = font();
    label.setPixelSize(10);
    p.setFont(label);
    for (double lat = std::ceil(bottomRight.lat / step) * step; lat <= topLeft.lat; lat += step) {
        const double y = view_.toScreen({lat, topLeft.lon}).y();
        p.setPen(QPen(kGraticule, 0.8, Qt::DotLine));
        p.drawLine(QPointF(0, y), QPointF(width(), y));
        p.setPen(kCoast);
        p.drawText(QPointF(3, y - 2), QStringLiteral("%1°%2").arg(std::fabs(lat)).arg(lat < 0 ? 'S' : lat > 0 ? 'N' : ' '));
    }
    const double westLon = view_.centre().lon - spanDeg / 2;
    for (double lon = std::ceil(westLon / step) * step; lon <= westLon + spanDeg; lon += step) {
        const double x = width() / 2.0 + (lon - view_.centre().lon) * view_.scale();
        p.setPen(QPen(kGraticule, 0.8, Qt::DotLine));
        p.drawLine(QPointF(x, 0), QPointF(x, height()));
        const double shown = lon - 360.0 * std::floor((lon + 180.0) / 360.0);
        p.setPen(kCoast);
        p.drawText(QPointF(x + 3, height() - 4),
                   QStringLiteral("%1°%2").arg(std::fabs(shown)).arg(shown < 0 ? 'W' : shown > 0 ? 'E' : ' '));
    }
}

void WeatherMapWidget::paintEvent(QPaintEvent*)
{
    if (layoutStale_) layOut();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    drawBackground(p);
    isobars_.paint(p, view_);

    modelsDrawn_ = dotsDrawn_ = 0;
    std::optional<size_t> selectedAt;
    for (size_t k = 0; k < shown_.size(); ++k) {
        if (placement_[k] != Placement::Dot) continue;
        modelPainter_.drawDot(p, screen_[k], reports_[shown_[k]].values);
        ++dotsDrawn_;
    }
    for (size_t k = 0; k < shown_.size(); ++k) {
        const MapReport& r = reports_[shown_[k]];
        if (selected_ && r.id == *selected_ && placement_[k] != Placement::Hidden) selectedAt = k;
        if (placement_[k] != Placement::Model) continue;
        modelPainter_.drawModel(p, screen_[k], r.values, r.lat);
        ++modelsDrawn_;
    }
    if (selectedAt) {
        const MapReport& r = reports_[shown_[*selectedAt]];
        modelPainter_.drawSelection(p, screen_[*selectedAt]);
        const QString title = r.name.isEmpty() ? r.station : r.station + QStringLiteral(" ") + r.name;
        QFont bold = font();
        bold.setBold(true);
        p.setFont(bold);
        p.setPen(Qt::black);
        p.drawText(screen_[*selectedAt] + QPointF(-QFontMetricsF(bold).horizontalAdvance(title) / 2, 24 + 12), title);
    }

    // What is on the map, and where its coastlines come from.
    QFont small = font();
    small.setPixelSize(10);
    p.setFont(small);
    const QString legend = tr("%n station(s), %1 as models; wheel zooms, drag pans, click selects, Home shows all", nullptr,
                              stationCount()).arg(modelsDrawn_);
    const QString credit = tr("Coastlines: Natural Earth");
    const QString analysis = isobars_.legend();
    const QFontMetricsF m(small);
    const double wide = std::max(m.horizontalAdvance(legend), m.horizontalAdvance(analysis));
    const QRectF box(width() - wide - 10, 2, wide + 8, 3 * m.height() + 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawRect(box);
    p.setPen(Qt::black);
    p.drawText(box.adjusted(4, 2, -4, -2), Qt::AlignRight | Qt::AlignTop,
               legend + QLatin1Char('\n') + analysis + QLatin1Char('\n') + credit);
}

void WeatherMapWidget::resizeEvent(QResizeEvent*)
{
    view_.setViewport(size());
    if (!userMoved_) fitToReports();
    layoutStale_ = true;
}

void WeatherMapWidget::wheelEvent(QWheelEvent* event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) return;
    view_.zoomAround(event->position(), std::pow(1.25, steps));
    userMoved_ = true;
    layoutStale_ = true;
    update();
    event->accept();
}

void WeatherMapWidget::keyPressEvent(QKeyEvent* event)
{
    const QPointF middle(width() / 2.0, height() / 2.0);
    const double step = std::min(width(), height()) / 6.0;
    switch (event->key()) {
    case Qt::Key_Plus: case Qt::Key_Equal: view_.zoomAround(middle, 1.25); break;
    case Qt::Key_Minus: view_.zoomAround(middle, 0.8); break;
    case Qt::Key_Left: view_.panBy({step, 0}); break;
    case Qt::Key_Right: view_.panBy({-step, 0}); break;
    case Qt::Key_Up: view_.panBy({0, step}); break;
    case Qt::Key_Down: view_.panBy({0, -step}); break;
    case Qt::Key_I: setIsobarsVisible(!isobars_.isVisible()); return;
    case Qt::Key_Home:
        userMoved_ = false;
        fitToReports();
        update();
        return;
    default: QWidget::keyPressEvent(event); return;
    }
    userMoved_ = true;
    layoutStale_ = true;
    update();
}

void WeatherMapWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    pressAt_ = lastDrag_ = event->position();
    setCursor(Qt::ClosedHandCursor);
}

void WeatherMapWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (!lastDrag_) return;
    const QPointF now = event->position();
    if (pressAt_ && QLineF(*pressAt_, now).length() < kDragThreshold) return;
    pressAt_.reset();  // a drag from now on, not a click
    view_.panBy(now - *lastDrag_);
    lastDrag_ = now;
    userMoved_ = true;
    layoutStale_ = true;
    update();
}

void WeatherMapWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    setCursor(Qt::OpenHandCursor);
    const bool click = pressAt_.has_value();
    pressAt_.reset();
    lastDrag_.reset();
    if (!click) return;
    if (layoutStale_) layOut();
    if (const std::optional<qint64> id = reportAt(event->position())) {
        setSelectedReport(id);
        emit reportClicked(*id);
    }
}

}  // namespace synop::map
