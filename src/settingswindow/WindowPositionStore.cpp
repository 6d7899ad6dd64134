#include "WindowPositionStore.h"

#include "UserDefaults.h"

#include <algorithm>

WindowPositionStore::WindowPositionStore(UserDefaults& defaults, QString xKey, QString topYKey)
    : m_defaults(&defaults), m_xKey(std::move(xKey)), m_topYKey(std::move(topYKey))
{}

std::optional<std::pair<double, double>> WindowPositionStore::savedValues() const
{
    const auto x = m_defaults->numberValue(m_xKey);
    const auto topY = m_defaults->numberValue(m_topYKey);
    if (!x || !topY) {
        return std::nullopt;
    }
    return std::make_pair(*x, *topY);
}

std::optional<QPointF> WindowPositionStore::load(const QSizeF& windowSize,
                                                 const QRectF& visible) const
{
    const auto saved = savedValues();
    if (!saved) {
        return std::nullopt;
    }
    return clamped({saved->first, saved->second - windowSize.height()}, windowSize, visible);
}

QPointF WindowPositionStore::clamped(const QPointF& origin, const QSizeF& windowSize,
                                     const QRectF& visible)
{
    // In y-up coordinates the rectangle's minimum y (QRectF::top()) is its bottom edge.
    const double minX = visible.left();
    const double maxX = visible.left() + visible.width();
    const double minY = visible.top();
    const double maxY = visible.top() + visible.height();
    const double x =
        std::min(std::max(minX, maxX - windowSize.width()), std::max(minX, origin.x()));
    const double y =
        std::min(std::max(minY, maxY - windowSize.height()), std::max(minY, origin.y()));
    return {x, y};
}

void WindowPositionStore::save(const QRectF& frame) const
{
    m_defaults->setDouble(m_xKey, frame.left());
    m_defaults->setDouble(m_topYKey, frame.top() + frame.height());
}
