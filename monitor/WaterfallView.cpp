#include "WaterfallView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cmath>

namespace monitor {

namespace {

// The colour scale spans this much above the noise floor, a little below it.
constexpr double kBelowFloorDb = 6;
constexpr double kRangeDb = 45;
// How fast the floor follows the band: about two seconds at 10 lines a second.
constexpr double kFloorFollow = 0.05;

const std::array<QRgb, 256>& colourScale()
{
    static const std::array<QRgb, 256> colours = [] {
        // Noise dark blue, signals through cyan and yellow to red.
        const QColor stops[] = {QColor(0, 0, 24), QColor(0, 0, 150), QColor(0, 160, 220), QColor(240, 240, 0),
                                QColor(255, 60, 0), QColor(255, 255, 255)};
        constexpr int n = int(std::size(stops)) - 1;
        std::array<QRgb, 256> table{};
        for (int i = 0; i < 256; ++i) {
            const double at = i / 255.0 * n;
            const int k = std::min(int(at), n - 1);
            const double f = at - k;
            auto mix = [&](int a, int b) { return int(std::lround(a + (b - a) * f)); };
            table[size_t(i)] = qRgb(mix(stops[k].red(), stops[k + 1].red()), mix(stops[k].green(), stops[k + 1].green()),
                                    mix(stops[k].blue(), stops[k + 1].blue()));
        }
        return table;
    }();
    return colours;
}

// The noise floor of a line: its lower quartile, which tones and traffic
// (a few per cent of the band) leave alone.
double lowerQuartileDb(const cardproto::WaterfallFrame& frame)
{
    std::vector<quint8> bins = frame.bins;
    const auto quarter = bins.begin() + long(bins.size() / 4);
    std::nth_element(bins.begin(), quarter, bins.end());
    return frame.floorDb + *quarter * frame.stepDb;
}

}  // namespace

WaterfallView::WaterfallView(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(400, 260);
    setCursor(Qt::CrossCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QRect WaterfallView::spectrumRect() const { return {0, kAxisHeight, width(), kSpectrumHeight}; }

QRect WaterfallView::waterfallRect() const
{
    const int top = kAxisHeight + kSpectrumHeight;
    return {0, top, width(), std::max(0, height() - top)};
}

double WaterfallView::frequencyAt(double x) const { return m_fromHz + x / std::max(1, width()) * (m_toHz - m_fromHz); }
double WaterfallView::xOf(double hz) const { return (hz - m_fromHz) / (m_toHz - m_fromHz) * width(); }

void WaterfallView::resetBand(const cardproto::WaterfallFrame& frame)
{
    m_firstHz = frame.firstHz;
    m_binHz = frame.binHz;
    m_bins = int(frame.bins.size());
    m_history = QImage(m_bins, kHistoryLines, QImage::Format_RGB32);
    m_history.fill(colourScale()[0]);
    m_head = 0;
    m_lines = 0;
    m_latestDb.assign(size_t(m_bins), float(frame.floorDb));
    m_haveFloor = false;
    showWholeBand();
}

void WaterfallView::showWholeBand()
{
    if (m_bins > 1) {
        // The band as far as the card can listen, from 0 Hz.
        m_fromHz = std::max(m_firstHz, 0.0);
        m_toHz = bandTop();
    }
    update();
}

void WaterfallView::zoomAbout(double hz, double factor)
{
    const double low = m_bins > 1 ? std::max(m_firstHz, 0.0) : 0;
    const double high = m_bins > 1 ? bandTop() : 4000;
    const double span = std::clamp((m_toHz - m_fromHz) * factor, kMinSpanHz, high - low);
    // The frequency under the pointer stays where it is.
    const double at = (hz - m_fromHz) / (m_toHz - m_fromHz);
    double from = hz - at * span;
    from = std::clamp(from, low, high - span);
    m_fromHz = from;
    m_toHz = from + span;
    update();
}

void WaterfallView::addFrame(const cardproto::WaterfallFrame& frame)
{
    if (int(frame.bins.size()) != m_bins || frame.firstHz != m_firstHz || frame.binHz != m_binHz) resetBand(frame);
    const double floor = lowerQuartileDb(frame);
    m_floorDb = m_haveFloor ? m_floorDb + kFloorFollow * (floor - m_floorDb) : floor;
    m_haveFloor = true;
    m_head = (m_head + kHistoryLines - 1) % kHistoryLines;
    auto* row = reinterpret_cast<QRgb*>(m_history.scanLine(m_head));
    const double bottom = m_floorDb - kBelowFloorDb;
    for (int i = 0; i < m_bins; ++i) {
        const double db = frame.levelDb(size_t(i));
        row[i] = colourScale()[size_t(std::clamp(int((db - bottom) / kRangeDb * 255), 0, 255))];
        m_latestDb[size_t(i)] += 0.4f * (float(db) - m_latestDb[size_t(i)]);
    }
    m_lines = std::min(m_lines + 1, kHistoryLines);
    update();
}

void WaterfallView::setTuning(const Tones& tones)
{
    m_tuning = tones;
    update();
}

void WaterfallView::setMeasurement(const std::optional<Tones>& tones)
{
    m_measured = tones;
    update();
}

void WaterfallView::setInactive(const QString& why)
{
    m_inactive = why;
    update();
}

void WaterfallView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 16));
    drawWaterfall(painter);
    drawSpectrum(painter);
    drawAxis(painter);
    drawMarkers(painter);
    if (!m_inactive.isEmpty()) {
        painter.fillRect(rect(), QColor(40, 40, 40, 170));
        painter.setPen(Qt::white);
        QFont font = painter.font();
        font.setPointSizeF(font.pointSizeF() * 1.2);
        painter.setFont(font);
        painter.drawText(rect().adjusted(20, 20, -20, -20), Qt::AlignCenter | Qt::TextWordWrap, m_inactive);
    }
}

void WaterfallView::drawAxis(QPainter& painter)
{
    painter.fillRect(0, 0, width(), kAxisHeight, QColor(32, 32, 40));
    painter.setPen(QColor(200, 200, 200));
    const double span = m_toHz - m_fromHz;
    double step = 1000;
    for (double candidate : {25.0, 50.0, 100.0, 250.0, 500.0, 1000.0})
        if (span / candidate <= std::max(3, width() / 70)) {
            step = candidate;
            break;
        }
    for (double hz = std::ceil(m_fromHz / step) * step; hz <= m_toHz; hz += step) {
        const double x = xOf(hz);
        painter.drawLine(QPointF(x, kAxisHeight - 5), QPointF(x, kAxisHeight));
        // Labels at the edges stay whole.
        QRectF box(x - 40, 0, 80, kAxisHeight - 4);
        int align = Qt::AlignHCenter;
        if (box.left() < 0) box.moveLeft(2), align = Qt::AlignLeft;
        if (box.right() > width()) box.moveRight(width() - 2), align = Qt::AlignRight;
        painter.drawText(box, align | Qt::AlignVCenter, QString::number(hz, 'f', 0));
    }
    if (m_hoverHz >= 0) {
        painter.setPen(QColor(255, 255, 160));
        painter.drawText(QRect(4, 0, 120, kAxisHeight - 4), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("%1 Hz").arg(m_hoverHz, 0, 'f', 0));
    }
}

void WaterfallView::drawSpectrum(QPainter& painter)
{
    const QRect area = spectrumRect();
    painter.fillRect(area, QColor(8, 8, 28));
    if (m_bins < 2) return;
    const double bottom = m_floorDb - 10;
    const double top = m_floorDb + 50;
    painter.setPen(QColor(60, 60, 90));
    for (double db = std::ceil(bottom / 10) * 10; db < top; db += 10) {
        const double y = area.bottom() - (db - bottom) / (top - bottom) * area.height();
        painter.drawLine(QPointF(0, y), QPointF(width(), y));
    }
    QPainterPath path;
    for (int x = 0; x < width(); ++x) {
        // The strongest bin under each pixel, so that a narrow tone shows when zoomed out.
        const double a = (frequencyAt(x) - m_firstHz) / m_binHz;
        const double b = (frequencyAt(x + 1) - m_firstHz) / m_binHz;
        const int from = std::clamp(int(std::floor(a)), 0, m_bins - 1);
        const int to = std::clamp(int(std::ceil(b)), from + 1, m_bins);
        const float db = *std::max_element(m_latestDb.begin() + from, m_latestDb.begin() + to);
        const double y = area.bottom() - std::clamp((db - bottom) / (top - bottom), 0.0, 1.0) * area.height();
        if (x == 0) path.moveTo(x, y);
        else path.lineTo(x, y);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(120, 255, 120), 1.2));
    painter.drawPath(path);
    painter.setRenderHint(QPainter::Antialiasing, false);
}

void WaterfallView::drawWaterfall(QPainter& painter)
{
    const QRect area = waterfallRect();
    if (m_bins < 2 || m_lines == 0 || area.height() <= 0) return;
    // Bins as image columns: bin i covers [i - 0.5, i + 0.5).
    const double left = (m_fromHz - m_firstHz) / m_binHz + 0.5;
    const double right = (m_toHz - m_firstHz) / m_binHz + 0.5;
    const int shown = std::min(m_lines, area.height());
    // Newest first: rows m_head.. to the end of the image, then from its start.
    const int first = std::min(shown, kHistoryLines - m_head);
    painter.drawImage(QRectF(0, area.top(), width(), first), m_history, QRectF(left, m_head, right - left, first));
    if (shown > first)
        painter.drawImage(QRectF(0, area.top() + first, width(), shown - first), m_history,
                          QRectF(left, 0, right - left, shown - first));
}

void WaterfallView::drawMarkers(QPainter& painter)
{
    const int bottom = height();
    auto tone = [&](double hz, const QColor& colour, Qt::PenStyle style, const QString& label, int labelRow) {
        const double x = xOf(hz);
        if (x < -1 || x > width() + 1) return;
        painter.setPen(QPen(colour, 1.5, style));
        painter.drawLine(QPointF(x, kAxisHeight), QPointF(x, bottom));
        painter.setPen(colour);
        painter.drawText(QRectF(x + 3, kAxisHeight + 2 + labelRow * 14, 60, 14), Qt::AlignLeft | Qt::AlignVCenter, label);
    };
    // Where the card listens: a band between its tones on the axis, and the tones.
    const QColor listening(255, 80, 80);
    const double a = xOf(m_tuning.space()), b = xOf(m_tuning.mark());
    painter.fillRect(QRectF(std::min(a, b), kAxisHeight - 4, std::abs(b - a), 4), listening);
    tone(m_tuning.mark(), listening, Qt::SolidLine, QStringLiteral("M"), 0);
    tone(m_tuning.space(), listening, Qt::SolidLine, QStringLiteral("S"), 0);
    if (m_measured) {
        const QColor measured(80, 255, 255);
        tone(m_measured->mark(), measured, Qt::DashLine, QStringLiteral("M found"), 1);
        tone(m_measured->space(), measured, Qt::DashLine, QStringLiteral("S found"), 1);
    }
}

void WaterfallView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && event->position().y() >= kAxisHeight)
        emit centreClicked(frequencyAt(event->position().x()));
}

void WaterfallView::mouseMoveEvent(QMouseEvent* event)
{
    m_hoverHz = frequencyAt(event->position().x());
    update(0, 0, width(), kAxisHeight);
}

void WaterfallView::leaveEvent(QEvent*)
{
    m_hoverHz = -1;
    update(0, 0, width(), kAxisHeight);
}

void WaterfallView::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0) return;
    zoomAbout(frequencyAt(event->position().x()), std::pow(0.8, steps));
}

}  // namespace monitor
