#include "MarkupTool.h"

std::optional<MarkupTool> MarkupTool::fromRawValue(qint64 rawValue)
{
    for (const MarkupTool tool : allCases()) {
        if (tool.rawValue() == rawValue) {
            return tool;
        }
    }
    return std::nullopt;
}

QString MarkupTool::title() const
{
    switch (m_value) {
    case rectangle:
        return QStringLiteral("Rectangle");
    case ellipse:
        return QStringLiteral("Ellipse");
    case blur:
        return QStringLiteral("Blur / Redact");
    case arrow:
        return QStringLiteral("Arrow");
    case pen:
        return QStringLiteral("Pen");
    case text:
        return QStringLiteral("Text");
    }
    Q_UNREACHABLE();
    return {};
}

QString MarkupTool::symbolName() const
{
    switch (m_value) {
    case rectangle:
        return QStringLiteral("square");
    case ellipse:
        return QStringLiteral("circle");
    case blur:
        return QStringLiteral("eye.slash");
    case arrow:
        return QStringLiteral("line.diagonal.arrow");
    case pen:
        return QStringLiteral("pencil.tip");
    case text:
        return QStringLiteral("character.textbox");
    }
    Q_UNREACHABLE();
    return {};
}

bool MarkupTool::supportsFill() const
{
    return m_value == rectangle || m_value == ellipse;
}

bool MarkupTool::usesColors() const
{
    return m_value != blur;
}
