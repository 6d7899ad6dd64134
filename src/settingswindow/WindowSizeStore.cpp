#include "WindowSizeStore.h"

#include "UserDefaults.h"

#include <algorithm>

WindowSizeStore::WindowSizeStore(UserDefaults& defaults, QString widthKey, QString heightKey,
                                 double minWidth, double maxWidth, double minHeight,
                                 double maxHeight)
    : m_defaults(&defaults), m_widthKey(std::move(widthKey)), m_heightKey(std::move(heightKey)),
      m_minWidth(minWidth), m_maxWidth(maxWidth), m_minHeight(minHeight), m_maxHeight(maxHeight)
{}

QSizeF WindowSizeStore::load(const QSizeF& defaultSize) const
{
    const double width = m_defaults->numberValue(m_widthKey).value_or(defaultSize.width());
    const double height = m_defaults->numberValue(m_heightKey).value_or(defaultSize.height());
    return clamped({width, height});
}

QSizeF WindowSizeStore::clamped(const QSizeF& size) const
{
    // min(max, max(min, value)): the maximum wins when the limits are inverted.
    return {std::min(m_maxWidth, std::max(m_minWidth, size.width())),
            std::min(m_maxHeight, std::max(m_minHeight, size.height()))};
}

void WindowSizeStore::save(const QSizeF& size) const
{
    const QSizeF limited = clamped(size);
    m_defaults->setDouble(m_widthKey, limited.width());
    m_defaults->setDouble(m_heightKey, limited.height());
}
