#pragma once

#include <QPointF>
#include <QRectF>
#include <Qt>
#include <array>
#include <cstddef>
#include <functional>
#include <optional>

// One of the four corner handles of a resizable selection. Corners are named for the y-up
// convention: top is the larger y.
class MarkupHandle
{
public:
    enum Value : int
    {
        topLeft,
        topRight,
        bottomLeft,
        bottomRight
    };

    constexpr MarkupHandle(Value value) : m_value(value) {}

    // Every handle, in hit-test order.
    static constexpr std::array<MarkupHandle, 4> allCases()
    {
        return {topLeft, topRight, bottomLeft, bottomRight};
    }

    constexpr Value value() const { return m_value; }

    // The corner of `rect` this handle sits on.
    QPointF point(const QRectF& rect) const;

    // The first handle, in allCases() order, whose square of side 2 * hitRadius centred on its
    // corner contains `point` (half-open); absent when none does.
    static std::optional<MarkupHandle> handle(const QPointF& point, const QRectF& rect,
                                              double hitRadius);

    // The diagonal resize cursor along which this corner moves.
    Qt::CursorShape resizeCursor() const;
    static constexpr Qt::CursorShape diagonalNWSECursor() { return Qt::SizeFDiagCursor; }
    static constexpr Qt::CursorShape diagonalNESWCursor() { return Qt::SizeBDiagCursor; }

    friend constexpr bool operator==(MarkupHandle, MarkupHandle) = default;
    friend constexpr std::size_t qHash(MarkupHandle handle, std::size_t seed = 0)
    {
        return seed ^ static_cast<std::size_t>(handle.m_value);
    }

private:
    Value m_value;
};

template <> struct std::hash<MarkupHandle>
{
    std::size_t operator()(MarkupHandle handle) const noexcept { return qHash(handle); }
};
