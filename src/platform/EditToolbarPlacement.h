#pragma once

// Where the editing toolbar sits while cropping or annotating. Stored as the text "top" or
// "bottom".
enum class EditToolbarPlacement
{
    top,
    bottom
};
