#pragma once
// Small pictures drawn once and then copied: a station model's circle, its
// figures and its symbols repeat across a map (a few hundred distinct ones
// for thousands of stations), and copying a finished picture is many times
// cheaper than antialiasing the same curves and glyphs again.
#include <QHash>
#include <QImage>
#include <QRectF>
#include <QString>
#include <functional>

class QPainter;

namespace synop::map {

class SpriteCache {
public:
    // Draws the picture known by key with its anchor at the point; draw
    // paints it once around (0, 0) within bounds, in logical pixels.
    void draw(QPainter& painter, QPointF anchor, const QString& key, QRectF bounds,
              const std::function<void(QPainter&)>& paint);
    // Draws the picture if it is known already; measuring text for its bounds
    // costs as much as drawing it, so callers ask this first.
    bool drawKnown(QPainter& painter, QPointF anchor, const QString& key) const;
    size_t size() const { return size_t(sprites_.size()); }

    // A ceiling well above what one map needs, so that a long session
    // cannot grow it without end.
    static constexpr qsizetype kMaxSprites = 8192;

private:
    struct Sprite {
        QImage image;
        QPointF offset;
    };
    QHash<QString, Sprite> sprites_;
};

}  // namespace synop::map
