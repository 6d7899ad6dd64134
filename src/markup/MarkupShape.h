#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <optional>
#include <utility>
#include <variant>

// The geometry of one annotation, in normalized image coordinates (y up). A plain value;
// shapes are never compared.
class MarkupShape
{
public:
    // The cases, in declaration order (kind() is the index of the payload alternative).
    enum class Kind
    {
        rectangle,
        ellipse,
        blur,
        arrow,
        curvedArrow,
        pen,
        text
    };

    // A stroked (and optionally filled) rectangle.
    struct Rectangle
    {
        QRectF rect;
    };
    // The ellipse inscribed in rect.
    struct Ellipse
    {
        QRectF rect;
    };
    // A region of the image shown blurred.
    struct Blur
    {
        QRectF rect;
    };
    struct Arrow
    {
        QPointF start;
        QPointF end;
    };
    // An arrow whose shaft passes through the anchors in list order.
    struct CurvedArrow
    {
        QPointF start;
        QPointF end;
        QList<QPointF> anchors;
    };
    // A free-hand polyline.
    struct Pen
    {
        QList<QPointF> points;
    };
    // A text block: origin is the bottom-left corner of its bounding box; line breaks in the
    // string start new lines; the font size is normalized to the image's shorter side.
    struct Text
    {
        QPointF origin;
        QString text;
        double normalizedFontSize = 0;
    };

    using Payload = std::variant<Rectangle, Ellipse, Blur, Arrow, CurvedArrow, Pen, Text>;

    explicit MarkupShape(Payload payload) : m_payload(std::move(payload)) {}

    static MarkupShape rectangle(const QRectF& rect) { return MarkupShape(Rectangle{rect}); }
    static MarkupShape ellipse(const QRectF& rect) { return MarkupShape(Ellipse{rect}); }
    static MarkupShape blur(const QRectF& rect) { return MarkupShape(Blur{rect}); }
    static MarkupShape arrow(const QPointF& start, const QPointF& end)
    {
        return MarkupShape(Arrow{start, end});
    }
    static MarkupShape curvedArrow(const QPointF& start, const QPointF& end,
                                   const QList<QPointF>& anchors)
    {
        return MarkupShape(CurvedArrow{start, end, anchors});
    }
    static MarkupShape pen(const QList<QPointF>& points) { return MarkupShape(Pen{points}); }
    static MarkupShape text(const QPointF& origin, const QString& text, double normalizedFontSize)
    {
        return MarkupShape(Text{origin, text, normalizedFontSize});
    }

    Kind kind() const { return static_cast<Kind>(m_payload.index()); }
    const Payload& payload() const { return m_payload; }
    // The payload of one case, or null when the shape is another case.
    template <typename Case> const Case* as() const { return std::get_if<Case>(&m_payload); }

    // The rectangle of a rectangle, ellipse or blur; absent for every other case.
    std::optional<QRectF> boxRect() const;
    // The same case with another rectangle; other cases unchanged.
    MarkupShape withBoxRect(const QRectF& rect) const;

    // True for arrow and curvedArrow.
    bool isArrow() const;
    // [start, end] for an arrow, [start, anchors..., end] for a curved arrow; absent otherwise.
    std::optional<QList<QPointF>> arrowPathPoints() const;
    // (start, end) of an arrow or curved arrow; absent otherwise.
    std::optional<std::pair<QPointF, QPointF>> lineEndpoints() const;
    // The anchors of a curved arrow; empty for every other case (an arrow too).
    QList<QPointF> arrowAnchors() const;
    // For arrows: a curved arrow with these anchors, or a straight arrow when the list is
    // empty. Other cases unchanged.
    MarkupShape withArrowAnchors(const QList<QPointF>& anchors) const;
    // For arrows: the same anchors (if any) with new ends. Other cases unchanged.
    MarkupShape withEndpoints(const QPointF& start, const QPointF& end) const;
    // For a curved arrow with 0 <= index < anchor count: the anchor at index replaced.
    // Otherwise unchanged (so a straight arrow, which has no anchors, never changes).
    MarkupShape withArrowAnchor(const QPointF& point, qsizetype index) const;

private:
    Payload m_payload;
};
