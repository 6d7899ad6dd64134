#pragma once

#include <QString>
#include <array>
#include <optional>

// The drawing tools offered to the user, with stable raw values (persisted by the tool
// defaults store). There is no curved-arrow tool: curved arrows come from the arrow tool by
// adding anchors.
class MarkupTool
{
public:
    enum Value : int
    {
        rectangle = 0,
        ellipse = 1,
        blur = 2,
        arrow = 3,
        pen = 4,
        text = 5
    };

    constexpr MarkupTool(Value value) : m_value(value) {}

    // Absent for any integer outside 0 to 5.
    static std::optional<MarkupTool> fromRawValue(qint64 rawValue);
    // Every tool in toolbar order.
    static constexpr std::array<MarkupTool, 6> allCases()
    {
        return {rectangle, ellipse, blur, arrow, pen, text};
    }

    constexpr Value value() const { return m_value; }
    constexpr int rawValue() const { return m_value; }

    QString title() const;
    // Name of the tool's icon in the symbol image set.
    QString symbolName() const;
    // The tool draws shapes with an interior colour (rectangle, ellipse).
    bool supportsFill() const;
    // The tool's shapes take the stroke colour (everything but blur).
    bool usesColors() const;

    friend constexpr bool operator==(MarkupTool, MarkupTool) = default;

private:
    Value m_value;
};
