// An image file as the viewer opens it: format sniffing, the header walks, the JPEG
// completeness check, the HEIF and TIFF paths, the properties and the metadata line, and the
// full decode with the orientation applied.

#include "ImageSource.h"

#include "FuzzInput.h"
#include "ImageLoadingPipeline.h"

#include <QImage>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzInput::ensureApplication();
    ImageSource::initializeDecoders();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = FuzzInput::writeFile("input", data, size);
    const ImageSource source(path);
    if (!source.isValid()) {
        return 0;
    }
    const QSize shown = source.displayedPixelSize();
    ImageLoadingPipeline::imageMetadataSummary(source.properties(), shown);
    if (qint64(shown.width()) * shown.height() <= FuzzInput::decodedPixelLimit) {
        source.decode(DecodedColours::SRgb);
        source.decodesWithoutQtPlugins();
    }
    return 0;
}
