#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <optional>
#include <utility>

class UserDefaults;

// Persists a window's position as its left edge and its top edge. Coordinates are y-up screen
// points (origin bottom-left, the top edge is the frame's maximum y), like the rest of our
// geometry; a caller working in Qt's y-down screen coordinates converts at its boundary.
class WindowPositionStore
{
public:
    WindowPositionStore(UserDefaults& defaults, QString xKey, QString topYKey);

    // (x, top y) when both keys hold numbers, else none.
    std::optional<std::pair<double, double>> savedValues() const;

    // The saved origin (bottom-left corner) for a window of this size, kept inside `visible`.
    std::optional<QPointF> load(const QSizeF& windowSize, const QRectF& visible) const;

    // Keeps the window inside `visible` when it fits; when it is larger, keeps its left and
    // bottom edges inside.
    static QPointF clamped(const QPointF& origin, const QSizeF& windowSize, const QRectF& visible);

    // Stores the frame's left edge and top edge (the frame's maximum y).
    void save(const QRectF& frame) const;

private:
    UserDefaults* m_defaults;
    QString m_xKey;
    QString m_topYKey;
};
