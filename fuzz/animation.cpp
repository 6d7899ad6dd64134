// Animated images: the probe, the timelines of GIF, WebP, animated PNG and AVIF sequences, and
// the frames decoded in order, twice over (a loop).

#include "AnimatedImage.h"
#include "AnimationProbe.h"
#include "FuzzInput.h"

#include <QImage>

namespace {

// Frames decoded per pass: enough to reach composition across frames and the end of short
// inputs; a long animation only repeats the same code.
constexpr int frameLimit = 64;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzInput::ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = FuzzInput::writeFile("input", data, size);
    AnimationProbe::isAnimated(path);
    AnimatedImage animation(path);
    if (!animation.isAnimated()) {
        return 0;
    }
    animation.frameDurations();
    for (int pass = 0; pass < 2; ++pass) {
        for (int frame = 0; frame < frameLimit && animation.nextFrame(); ++frame) {
        }
        animation.rewind();
    }
    return 0;
}
