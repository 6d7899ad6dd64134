#pragma once

#include <QSizeF>
#include <QString>

class UserDefaults;

// Persists a window's size (points) under two keys and keeps it within fixed limits on load
// and on save. The store does not own the defaults, which must outlive it.
class WindowSizeStore
{
public:
    WindowSizeStore(UserDefaults& defaults, QString widthKey, QString heightKey, double minWidth,
                    double maxWidth, double minHeight, double maxHeight);

    // Each side is the stored number when there is one, else the default's; then clamped.
    QSizeF load(const QSizeF& defaultSize) const;
    QSizeF clamped(const QSizeF& size) const;
    void save(const QSizeF& size) const;

private:
    UserDefaults* m_defaults;
    QString m_widthKey;
    QString m_heightKey;
    double m_minWidth;
    double m_maxWidth;
    double m_minHeight;
    double m_maxHeight;
};
