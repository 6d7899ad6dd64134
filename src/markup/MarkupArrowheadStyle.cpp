#include "MarkupArrowheadStyle.h"

std::optional<MarkupArrowheadStyle> MarkupArrowheadStyle::fromRawValue(qint64 rawValue)
{
    for (const MarkupArrowheadStyle style : allCases()) {
        if (style.rawValue() == rawValue) {
            return style;
        }
    }
    return std::nullopt;
}

QString MarkupArrowheadStyle::title() const
{
    switch (m_value) {
    case none:
        return QStringLiteral("No arrowheads");
    case end:
        return QStringLiteral("One arrowhead");
    case both:
        return QStringLiteral("Two arrowheads");
    }
    Q_UNREACHABLE();
    return {};
}

QString MarkupArrowheadStyle::symbolName() const
{
    switch (m_value) {
    case none:
        return QStringLiteral("line.diagonal");
    case end:
        return QStringLiteral("arrow.up.right");
    case both:
        return QStringLiteral("arrow.left.and.right");
    }
    Q_UNREACHABLE();
    return {};
}
