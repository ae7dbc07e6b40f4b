#include "SpriteCache.h"

#include <QPaintDevice>
#include <QPainter>
#include <cmath>

namespace synop::map {

namespace {

QString keyFor(const QPainter& painter, const QString& key)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    return ratio == 1.0 ? key : key + QLatin1Char('@') + QString::number(ratio);
}

// Whole pixels: the sprite was drawn for them, and a copy that needs no
// resampling is the fast one.
void blit(QPainter& painter, QPointF anchor, const QImage& image, QPointF offset)
{
    painter.drawImage(QPointF(std::round(anchor.x()) + offset.x(), std::round(anchor.y()) + offset.y()), image);
}

}  // namespace

bool SpriteCache::drawKnown(QPainter& painter, QPointF anchor, const QString& key) const
{
    const auto it = sprites_.constFind(keyFor(painter, key));
    if (it == sprites_.constEnd()) return false;
    blit(painter, anchor, it->image, it->offset);
    return true;
}

void SpriteCache::draw(QPainter& painter, QPointF anchor, const QString& key, QRectF bounds,
                       const std::function<void(QPainter&)>& paint)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QString fullKey = keyFor(painter, key);
    auto it = sprites_.find(fullKey);
    if (it == sprites_.end()) {
        if (sprites_.size() >= kMaxSprites) sprites_.clear();
        const QRectF box = bounds.toAlignedRect();
        Sprite sprite;
        sprite.image = QImage((box.size() * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        sprite.image.fill(Qt::transparent);
        QPainter p(&sprite.image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.scale(ratio, ratio);
        p.translate(-box.topLeft());
        paint(p);
        p.end();
        sprite.image.setDevicePixelRatio(ratio);
        sprite.offset = box.topLeft();
        it = sprites_.insert(fullKey, std::move(sprite));
    }
    blit(painter, anchor, it->image, it->offset);
}

}  // namespace synop::map
