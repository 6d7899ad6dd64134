#include "GifWriter.h"

#include <QFile>
#include <gif_lib.h>
#include <memory>
#include <vector>

namespace {

QString gifError(int code)
{
    const char* text = GifErrorString(code);
    return text ? QString::fromLatin1(text) : QStringLiteral("giflib error %1").arg(code);
}

int writeToFile(GifFileType* gif, const GifByteType* bytes, int count)
{
    auto* file = static_cast<QFile*>(gif->UserData);
    return static_cast<int>(file->write(reinterpret_cast<const char*>(bytes), count));
}

} // namespace

namespace GifWriter {

QString write(const QImage& image, const QString& path)
{
    const QImage indexed = image.convertToFormat(QImage::Format_Indexed8);
    const QList<QRgb> colours = indexed.colorTable();
    if (indexed.isNull() || colours.isEmpty()) {
        return QStringLiteral("cannot reduce the image to a palette");
    }

    // giflib wants a power-of-two palette; the unused entries stay black.
    constexpr int paletteSize = 256;
    std::vector<GifColorType> palette(paletteSize, GifColorType{0, 0, 0});
    for (qsizetype i = 0; i < colours.size() && i < paletteSize; ++i) {
        const QRgb colour = colours[i];
        palette[static_cast<std::size_t>(i)] = {static_cast<GifByteType>(qRed(colour)),
                                                static_cast<GifByteType>(qGreen(colour)),
                                                static_cast<GifByteType>(qBlue(colour))};
    }
    const std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)> colourMap(
        GifMakeMapObject(paletteSize, palette.data()), GifFreeMapObject);
    if (!colourMap) {
        return QStringLiteral("out of memory");
    }

    // Writing through a QFile gives the file the usual permissions (giflib's own open makes
    // it readable by the owner only).
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return file.errorString();
    }
    int error = 0;
    GifFileType* gif = EGifOpen(&file, writeToFile, &error);
    if (!gif) {
        return gifError(error);
    }
    const int width = indexed.width();
    const int height = indexed.height();
    bool written = EGifPutScreenDesc(gif, width, height, 8, 0, colourMap.get()) == GIF_OK &&
                   EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    std::vector<GifPixelType> line(static_cast<std::size_t>(width));
    for (int y = 0; written && y < height; ++y) {
        const uchar* row = indexed.constScanLine(y);
        line.assign(row, row + width);
        written = EGifPutLine(gif, line.data(), width) == GIF_OK;
    }
    const int writeError = gif->Error;
    if (EGifCloseFile(gif, &error) != GIF_OK) {
        return gifError(error);
    }
    if (!written) {
        return gifError(writeError);
    }
    return file.flush() ? QString() : file.errorString();
}

} // namespace GifWriter
