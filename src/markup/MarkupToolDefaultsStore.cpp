#include "MarkupToolDefaultsStore.h"

#include "MarkupGeometry.h"
#include "UserDefaults.h"

#include <QLocale>
#include <QStringList>
#include <cmath>

namespace {

struct Range
{
    double lo;
    double hi;
};

// The ranges of the toolbar's controls; stored values outside them are clamped.
constexpr Range textFontSizeRange{10, 80};
constexpr Range arrowLineWidthRange{1, 8};
constexpr Range arrowHeadScaleRange{0, 10};
constexpr Range arrowHeadWidthScaleRange{0.45, 1.8};

constexpr const char* keyNames[] = {
    "tool",           "strokeColor",    "fillColor",           "textFontSize",
    "arrowLineWidth", "arrowHeadScale", "arrowHeadWidthScale", "arrowheadStyle"};

double clamped(double value, Range range)
{
    return MarkupGeometry::clamp(value, range.lo, range.hi);
}

QString colorString(const QColor& color)
{
    const QColor rgb = MarkupToolDefaults::deviceRgbColor(color);
    QStringList components;
    for (const double component : {rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()}) {
        // QString::number formats in the C locale: always a point, never a decimal comma.
        components.append(QString::number(MarkupGeometry::clamp(component, 0, 1), 'f', 6));
    }
    return components.join(u',');
}

// A decimal number with nothing around it; infinities and not-a-number are no colour
// components.
std::optional<double> strictNumber(const QString& text)
{
    if (text.isEmpty() || text.front().isSpace() || text.back().isSpace()) {
        return std::nullopt;
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace

MarkupToolDefaultsStore::MarkupToolDefaultsStore(UserDefaults& defaults, const QString& keyPrefix)
    : m_defaults(&defaults), m_keyPrefix(keyPrefix)
{}

MarkupToolDefaultsStore& MarkupToolDefaultsStore::standard()
{
    static MarkupToolDefaultsStore store(UserDefaults::standard(),
                                         QStringLiteral("markup.defaults"));
    return store;
}

QString MarkupToolDefaultsStore::key(const char* name) const
{
    return m_keyPrefix + u'.' + QLatin1String(name);
}

MarkupToolDefaults MarkupToolDefaultsStore::load() const
{
    const MarkupToolDefaults initial = MarkupToolDefaults::initial();
    MarkupToolDefaults loaded = initial;

    const QString toolKey = key("tool");
    if (m_defaults->hasObject(toolKey)) {
        loaded.tool =
            MarkupTool::fromRawValue(m_defaults->integerValue(toolKey)).value_or(initial.tool);
    }
    loaded.strokeColor = color(key("strokeColor")).value_or(initial.strokeColor);
    loaded.fillColor = color(key("fillColor")).value_or(initial.fillColor);
    loaded.textFontSize = number(key("textFontSize"), textFontSizeRange.lo, textFontSizeRange.hi,
                                 initial.textFontSize);
    loaded.arrowLineWidth = number(key("arrowLineWidth"), arrowLineWidthRange.lo,
                                   arrowLineWidthRange.hi, initial.arrowLineWidth);
    loaded.arrowHeadScale = number(key("arrowHeadScale"), arrowHeadScaleRange.lo,
                                   arrowHeadScaleRange.hi, initial.arrowHeadScale);
    loaded.arrowHeadWidthScale = number(key("arrowHeadWidthScale"), arrowHeadWidthScaleRange.lo,
                                        arrowHeadWidthScaleRange.hi, initial.arrowHeadWidthScale);
    const QString styleKey = key("arrowheadStyle");
    if (m_defaults->hasObject(styleKey)) {
        loaded.arrowheadStyle =
            MarkupArrowheadStyle::fromRawValue(m_defaults->integerValue(styleKey))
                .value_or(initial.arrowheadStyle);
    }
    return loaded;
}

void MarkupToolDefaultsStore::save(const MarkupToolDefaults& toolDefaults)
{
    const MarkupToolDefaults initial = MarkupToolDefaults::initial();
    m_defaults->setInteger(key("tool"), toolDefaults.tool.rawValue());
    m_defaults->setString(key("strokeColor"),
                          colorString(toolDefaults.strokeColor.isValid() ? toolDefaults.strokeColor
                                                                         : initial.strokeColor));
    m_defaults->setString(
        key("fillColor"),
        colorString(toolDefaults.fillColor.isValid() ? toolDefaults.fillColor : initial.fillColor));
    m_defaults->setDouble(key("textFontSize"),
                          clamped(toolDefaults.textFontSize, textFontSizeRange));
    m_defaults->setDouble(key("arrowLineWidth"),
                          clamped(toolDefaults.arrowLineWidth, arrowLineWidthRange));
    m_defaults->setDouble(key("arrowHeadScale"),
                          clamped(toolDefaults.arrowHeadScale, arrowHeadScaleRange));
    m_defaults->setDouble(key("arrowHeadWidthScale"),
                          clamped(toolDefaults.arrowHeadWidthScale, arrowHeadWidthScaleRange));
    m_defaults->setInteger(key("arrowheadStyle"), toolDefaults.arrowheadStyle.rawValue());
}

void MarkupToolDefaultsStore::reset()
{
    for (const char* name : keyNames) {
        m_defaults->remove(key(name));
    }
}

std::optional<QColor> MarkupToolDefaultsStore::color(const QString& key) const
{
    const QVariant stored = m_defaults->object(key);
    QString text;
    if (stored.typeId() == QMetaType::QString) {
        text = stored.toString();
    } else if (stored.typeId() == QMetaType::QStringList) {
        // An INI file edited by hand, r,g,b,a without quotes, reads back as a list.
        text = stored.toStringList().join(u',');
    } else {
        return std::nullopt;
    }
    QList<double> components;
    for (const QString& piece : text.split(u',', Qt::SkipEmptyParts)) {
        if (const auto value = strictNumber(piece)) {
            components.append(*value);
        }
    }
    if (components.size() != 4) {
        return std::nullopt;
    }
    return QColor::fromRgbF(static_cast<float>(MarkupGeometry::clamp(components[0], 0, 1)),
                            static_cast<float>(MarkupGeometry::clamp(components[1], 0, 1)),
                            static_cast<float>(MarkupGeometry::clamp(components[2], 0, 1)),
                            static_cast<float>(MarkupGeometry::clamp(components[3], 0, 1)));
}

double MarkupToolDefaultsStore::number(const QString& key, double lo, double hi,
                                       double absentValue) const
{
    if (!m_defaults->hasObject(key)) {
        return absentValue;
    }
    return MarkupGeometry::clamp(m_defaults->doubleValue(key), lo, hi);
}
