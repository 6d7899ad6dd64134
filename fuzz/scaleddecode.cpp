// Scaled decoding, as thumbnails and previews use it: the first byte picks the side and the
// mode, the rest is the file.

#include "FuzzInput.h"
#include "ImageSource.h"

#include <QImage>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzInput::ensureApplication();
    ImageSource::initializeDecoders();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const int side = 1 + (data[0] & 0x7F) * 8;
    const auto mode =
        (data[0] & 0x80) != 0 ? ImageSource::ScaledSize::Exactly : ImageSource::ScaledSize::AtLeast;
    const QString path = FuzzInput::writeFile("input", data + 1, size - 1);
    const ImageSource source(path);
    if (!source.isValid()) {
        return 0;
    }
    const QSize stored = source.storedPixelSize();
    source.reducesWhileDecoding(side);
    // A reduced decode of a huge image allocates little; a full-size one (formats that cannot
    // reduce while decoding) is held to the same limit as the full decode's target.
    if (source.reducesWhileDecoding(side) ||
        qint64(stored.width()) * stored.height() <= FuzzInput::decodedPixelLimit) {
        source.decodeScaled(side, mode, DecodedColours::SRgb);
    }
    return 0;
}
