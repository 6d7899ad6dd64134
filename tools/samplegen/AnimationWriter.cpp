#include "AnimationWriter.h"

#include <QBuffer>
#include <QFile>
#include <QtEndian>
#include <array>
#include <gif_lib.h>
#include <memory>
#include <vector>
#include <webp/encode.h>
#include <webp/mux.h>
#include <zlib.h>

namespace {

QString checkFrames(const QList<QImage>& frames)
{
    if (frames.isEmpty() || frames.first().isNull()) {
        return QStringLiteral("no frames");
    }
    for (const QImage& frame : frames) {
        if (frame.size() != frames.first().size()) {
            return QStringLiteral("frames of different sizes");
        }
    }
    return {};
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        return file.errorString();
    }
    return {};
}

QString gifError(int code)
{
    const char* text = GifErrorString(code);
    return text ? QString::fromLatin1(text) : QStringLiteral("giflib error %1").arg(code);
}

int appendToBuffer(GifFileType* gif, const GifByteType* bytes, int count)
{
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), count);
    return count;
}

using ColourMap = std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)>;

// The 256-entry palette giflib wants for `indexed` (the unused entries stay black).
ColourMap colourMapOf(const QImage& indexed)
{
    std::array<GifColorType, 256> palette{};
    const QList<QRgb> colours = indexed.colorTable();
    for (qsizetype i = 0; i < colours.size() && i < qsizetype(palette.size()); ++i) {
        palette[std::size_t(i)] = {GifByteType(qRed(colours[i])), GifByteType(qGreen(colours[i])),
                                   GifByteType(qBlue(colours[i]))};
    }
    return {GifMakeMapObject(int(palette.size()), palette.data()), GifFreeMapObject};
}

// The application extension that makes viewers loop: repeat count 0 is forever.
bool putLoopForever(GifFileType* gif)
{
    static const GifByteType identifier[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType repeatForever[] = {1, 0, 0};
    return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof identifier, identifier) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof repeatForever, repeatForever) == GIF_OK &&
           EGifPutExtensionTrailer(gif) == GIF_OK;
}

bool putGifFrame(GifFileType* gif, const QImage& frame, int delayCentiseconds)
{
    const QImage indexed = frame.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    const ColourMap colourMap = colourMapOf(indexed);
    if (indexed.isNull() || !colourMap) {
        return false;
    }
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.DelayTime = delayCentiseconds;
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType controlBytes[4];
    const std::size_t controlLength = EGifGCBToExtension(&control, controlBytes);
    const int width = indexed.width();
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(controlLength), controlBytes) != GIF_OK ||
        EGifPutImageDesc(gif, 0, 0, width, indexed.height(), false, colourMap.get()) != GIF_OK) {
        return false;
    }
    std::vector<GifPixelType> line(static_cast<std::size_t>(width));
    for (int y = 0; y < indexed.height(); ++y) {
        const uchar* row = indexed.constScanLine(y);
        line.assign(row, row + width);
        if (EGifPutLine(gif, line.data(), width) != GIF_OK) {
            return false;
        }
    }
    return true;
}

quint32 crc32Of(const QByteArray& bytes)
{
    return quint32(crc32(0, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size())));
}

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray bigEndian16(quint16 value)
{
    QByteArray bytes(2, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

void appendChunk(QByteArray& png, const QByteArray& type, const QByteArray& data)
{
    const QByteArray typed = type + data;
    png += bigEndian32(quint32(data.size())) + typed + bigEndian32(crc32Of(typed));
}

struct PngParts
{
    QByteArray header;    // IHDR's data
    QByteArray imageData; // every IDAT's data, in order
};

// The header and image data of `frame` compressed as a PNG by Qt; empty on failure.
PngParts pngPartsOf(const QImage& frame)
{
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !frame.save(&buffer, "png")) {
        return {};
    }
    PngParts parts;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const qsizetype length = qFromBigEndian<quint32>(png.constData() + at);
        const QByteArray type = png.mid(at + 4, 4);
        if (length > png.size() - at - 12) {
            return {};
        }
        if (type == "IHDR") {
            parts.header = png.mid(at + 8, length);
        } else if (type == "IDAT") {
            parts.imageData += png.mid(at + 8, length);
        }
        at += 12 + length;
    }
    return parts;
}

} // namespace

namespace AnimationWriter {

QString writeGif(const QList<QImage>& frames, int frameMs, const QString& path)
{
    if (const QString error = checkFrames(frames); !error.isEmpty()) {
        return error;
    }
    QByteArray bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, appendToBuffer, &error);
    if (!gif) {
        return gifError(error);
    }
    EGifSetGifVersion(gif, true);
    const QSize size = frames.first().size();
    bool written = EGifPutScreenDesc(gif, size.width(), size.height(), 8, 0, nullptr) == GIF_OK &&
                   putLoopForever(gif);
    for (qsizetype i = 0; written && i < frames.size(); ++i) {
        written = putGifFrame(gif, frames[i], (frameMs + 5) / 10);
    }
    const int writeError = gif->Error;
    if (EGifCloseFile(gif, &error) != GIF_OK) {
        return gifError(error);
    }
    if (!written) {
        return writeError != 0 ? gifError(writeError) : QStringLiteral("cannot encode a frame");
    }
    return writeFile(path, bytes);
}

QString writeWebp(const QList<QImage>& frames, int frameMs, const QString& path)
{
    if (const QString error = checkFrames(frames); !error.isEmpty()) {
        return error;
    }
    const QSize size = frames.first().size();
    WebPAnimEncoderOptions options;
    WebPConfig config;
    if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config)) {
        return QStringLiteral("libwebp version mismatch");
    }
    options.anim_params.loop_count = 0;
    config.quality = 80;
    // Fast settings: the sample folder is made at every build.
    config.method = 2;
    const std::unique_ptr<WebPAnimEncoder, void (*)(WebPAnimEncoder*)> encoder(
        WebPAnimEncoderNew(size.width(), size.height(), &options), WebPAnimEncoderDelete);
    if (!encoder) {
        return QStringLiteral("cannot create the WebP encoder");
    }
    int timestamp = 0;
    for (const QImage& frame : frames) {
        // ARGB32 is B, G, R, A in memory on the little-endian machines this runs on.
        const QImage argb = frame.convertToFormat(QImage::Format_ARGB32);
        WebPPicture picture;
        if (!WebPPictureInit(&picture)) {
            return QStringLiteral("libwebp version mismatch");
        }
        picture.use_argb = 1;
        picture.width = argb.width();
        picture.height = argb.height();
        const bool added =
            WebPPictureImportBGRA(&picture, argb.constBits(), int(argb.bytesPerLine())) &&
            WebPAnimEncoderAdd(encoder.get(), &picture, timestamp, &config);
        WebPPictureFree(&picture);
        if (!added) {
            return QString::fromUtf8(WebPAnimEncoderGetError(encoder.get()));
        }
        timestamp += frameMs;
    }
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAdd(encoder.get(), nullptr, timestamp, nullptr) ||
        !WebPAnimEncoderAssemble(encoder.get(), &data)) {
        return QString::fromUtf8(WebPAnimEncoderGetError(encoder.get()));
    }
    const QByteArray bytes(reinterpret_cast<const char*>(data.bytes), qsizetype(data.size));
    WebPDataClear(&data);
    return writeFile(path, bytes);
}

QString writeApng(const QList<QImage>& frames, int frameMs, const QString& path)
{
    if (const QString error = checkFrames(frames); !error.isEmpty()) {
        return error;
    }
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    quint32 sequence = 0;
    for (qsizetype i = 0; i < frames.size(); ++i) {
        // One pixel format for all, so every frame matches the first one's header.
        const PngParts parts = pngPartsOf(frames[i].convertToFormat(QImage::Format_RGB32));
        if (parts.header.size() != 13 || parts.imageData.isEmpty()) {
            return QStringLiteral("cannot compress frame %1").arg(i);
        }
        if (i == 0) {
            appendChunk(png, "IHDR", parts.header);
            appendChunk(png, "acTL", bigEndian32(quint32(frames.size())) + bigEndian32(0));
        }
        // Whole-canvas frames: no disposal, drawn over what is there (source blending).
        const QSize size = frames[i].size();
        const QByteArray control = bigEndian32(sequence++) + bigEndian32(quint32(size.width())) +
                                   bigEndian32(quint32(size.height())) + bigEndian32(0) +
                                   bigEndian32(0) + bigEndian16(quint16(frameMs)) +
                                   bigEndian16(1000) + QByteArray(2, '\0');
        appendChunk(png, "fcTL", control);
        if (i == 0) {
            appendChunk(png, "IDAT", parts.imageData);
        } else {
            appendChunk(png, "fdAT", bigEndian32(sequence++) + parts.imageData);
        }
    }
    appendChunk(png, "IEND", {});
    return writeFile(path, png);
}

} // namespace AnimationWriter
