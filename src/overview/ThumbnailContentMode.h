#pragma once

// How a thumbnail is drawn into its square preview.
enum class ThumbnailContentMode
{
    // The whole thumbnail is visible, letterboxed on the dark background.
    fit,
    // The thumbnail covers the square; what lies beyond it is cut off.
    fillAndCrop,
};
