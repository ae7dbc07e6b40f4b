#pragma once
// The spectrum line and the waterfall of a card's input, newest line at the
// top, with the tones where the card listens (solid) and where the line
// search measured the signal (dashed). The colours follow the noise floor,
// so the picture stays readable as the band's level changes. A click asks
// for that frequency as the centre; the wheel zooms about the pointer.
#include "protocol/WaterfallFrame.h"

#include <QImage>
#include <QWidget>
#include <optional>
#include <vector>

namespace monitor {

struct Tones {
    double centre = 1500;
    double shift = 425;
    bool inverted = false;
    double mark() const { return inverted ? centre - shift / 2 : centre + shift / 2; }
    double space() const { return inverted ? centre + shift / 2 : centre - shift / 2; }
};

class WaterfallView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHistoryLines = 1200;
    static constexpr int kAxisHeight = 22;
    static constexpr int kSpectrumHeight = 110;
    static constexpr double kMinSpanHz = 200;

    explicit WaterfallView(QWidget* parent = nullptr);

    void addFrame(const cardproto::WaterfallFrame& frame);
    int linesShown() const { return m_lines; }
    void setTuning(const Tones& tones);
    void setMeasurement(const std::optional<Tones>& tones);
    // Greyed out with the reason across it, or live again (empty reason).
    void setInactive(const QString& why);

    double fromHz() const { return m_fromHz; }
    double toHz() const { return m_toHz; }
    void zoomAbout(double hz, double factor);
    void zoomIn() { zoomAbout((m_fromHz + m_toHz) / 2, 0.5); }
    void zoomOut() { zoomAbout((m_fromHz + m_toHz) / 2, 2); }
    void showWholeBand();

    // Where a frequency is drawn and which one is under x, in this widget.
    double frequencyAt(double x) const;
    double xOf(double hz) const;
    QRect waterfallRect() const;
    QRect spectrumRect() const;
    // The colour scale: its bottom follows the noise floor.
    double floorDb() const { return m_floorDb; }

    QSize sizeHint() const override { return {900, 480}; }

signals:
    void centreClicked(double hz);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;
    void wheelEvent(QWheelEvent*) override;

private:
    void resetBand(const cardproto::WaterfallFrame& frame);
    double bandTop() const { return m_firstHz + m_binHz * double(m_bins - 1); }
    void drawAxis(QPainter& painter);
    void drawSpectrum(QPainter& painter);
    void drawWaterfall(QPainter& painter);
    void drawMarkers(QPainter& painter);

    double m_firstHz = 0, m_binHz = 0;
    int m_bins = 0;
    double m_fromHz = 0, m_toHz = 4000;
    QImage m_history;        // one row per frame, newest at m_head
    int m_head = 0;
    int m_lines = 0;
    std::vector<float> m_latestDb;  // smoothed, for the spectrum line
    double m_floorDb = -100;
    bool m_haveFloor = false;
    Tones m_tuning;
    std::optional<Tones> m_measured;
    QString m_inactive;
    double m_hoverHz = -1;
};

}  // namespace monitor
