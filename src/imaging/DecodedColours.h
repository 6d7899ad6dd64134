#pragma once

// What a decoder does with the colours of an image that carries a colour profile.
enum class DecodedColours
{
    AsStored, // left as the file has them, the profile attached (derived copies keep it)
    SRgb,     // converted to sRGB for display, where the decoder can do it as it decodes
};
