#pragma once

#include <QString>
#include <array>
#include <optional>

// Which ends of an arrow carry a head, with stable raw values (persisted by the tool defaults
// store).
class MarkupArrowheadStyle
{
public:
    enum Value : int
    {
        none = 0,
        end = 1,
        both = 2
    };

    constexpr MarkupArrowheadStyle(Value value) : m_value(value) {}

    // Absent for any integer other than 0, 1 and 2.
    static std::optional<MarkupArrowheadStyle> fromRawValue(qint64 rawValue);
    static constexpr std::array<MarkupArrowheadStyle, 3> allCases() { return {none, end, both}; }

    constexpr Value value() const { return m_value; }
    constexpr int rawValue() const { return m_value; }

    QString title() const;
    // Name of the style's icon in the symbol image set.
    QString symbolName() const;

    friend constexpr bool operator==(MarkupArrowheadStyle, MarkupArrowheadStyle) = default;

private:
    Value m_value;
};
