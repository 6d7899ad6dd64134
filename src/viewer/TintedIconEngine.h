#pragma once

#include <QColor>
#include <QIconEngine>
#include <QString>

// An icon painted as a silhouette in one colour: the source's shape (its alpha) filled with the
// colour, so a dark theme icon shows light on a dark panel. The source is the current theme's
// icon named `themeName` when the theme has one, else the SVG at `svgPath`; it is looked up on
// every render (through a pixmap cache keyed by the theme), so a theme change shows at once.
//
// Every pixmap is rendered at its device size, never scaled from another bitmap; the Disabled
// mode uses the colour at 40 % of its alpha.
class TintedIconEngine : public QIconEngine
{
public:
    static constexpr double disabledOpacity = 0.4;
    // Larger requests give a null pixmap: no toolbar needs them, and the image would be 64 MiB.
    static constexpr int maximumSide = 4096;

    TintedIconEngine(const QString& themeName, const QString& svgPath, const QColor& color);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    // `size` is in device pixels (QIcon passes the logical size times `scale`).
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override;
    QIconEngine* clone() const override;
    QString key() const override;
    QString iconName() override;
    bool isNull() override;

private:
    // The source drawn into a transparent image of `size` device pixels, centred in the largest
    // square that fits, then filled with `color` wherever it is not transparent.
    QImage renderTinted(const QSize& size, const QColor& color) const;

    QString m_themeName;
    QString m_svgPath;
    QColor m_color;
};
