// vistrel-iconrender SVG SIZE OUT.png
//
// Renders the scalable application icon to one square PNG of SIZE pixels (the fixed sizes of
// the hicolor icon theme), so that no bitmap needs to live in the repository. The exit status
// is 1 when the drawing cannot be read or the PNG cannot be written.

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: vistrel-iconrender SVG SIZE OUT.png\n");
        return 1;
    }
    const QString svgPath = QString::fromLocal8Bit(argv[1]);
    bool isNumber = false;
    const int size = QString::fromLocal8Bit(argv[2]).toInt(&isNumber);
    const QString outPath = QString::fromLocal8Bit(argv[3]);
    // 1024 px is twice the largest hicolor size; anything above is a typo, not a request.
    if (!isNumber || size < 1 || size > 1024) {
        std::fprintf(stderr, "vistrel-iconrender: SIZE must be 1 to 1024 pixels\n");
        return 1;
    }

    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "vistrel-iconrender: cannot read %s\n", argv[1]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }

    if (!QDir().mkpath(QFileInfo(outPath).absolutePath()) || !image.save(outPath, "PNG")) {
        std::fprintf(stderr, "vistrel-iconrender: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
