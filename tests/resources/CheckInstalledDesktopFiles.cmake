# Checks the desktop files installed under DATA_DIR (PREFIX/share): each file in its freedesktop
# place, the icon at every fixed hicolor size and really of that size, the metainfo's newest
# release being the project's VERSION and its screenshots being ones of SOURCE_DIR/docs.

set(id com.dorn.vistrel)
set(failures)

foreach(file applications/${id}.desktop icons/hicolor/scalable/apps/${id}.svg
             metainfo/${id}.metainfo.xml)
    if(NOT EXISTS "${DATA_DIR}/${file}")
        list(APPEND failures "missing ${file}")
    endif()
endforeach()

# A PNG's width and height are the big-endian 32-bit numbers at bytes 16 to 23 (its IHDR).
foreach(size 16 22 24 32 48 64 128 256 512)
    set(png "${DATA_DIR}/icons/hicolor/${size}x${size}/apps/${id}.png")
    if(NOT EXISTS "${png}")
        list(APPEND failures "missing the ${size}x${size} icon")
        continue()
    endif()
    file(READ "${png}" header LIMIT 24 HEX)
    string(SUBSTRING "${header}" 32 8 width)
    string(SUBSTRING "${header}" 40 8 height)
    math(EXPR width "0x${width}")
    math(EXPR height "0x${height}")
    if(NOT width EQUAL size OR NOT height EQUAL size)
        list(APPEND failures "the ${size}x${size} icon is ${width}x${height} pixels")
    endif()
endforeach()

if(EXISTS "${DATA_DIR}/metainfo/${id}.metainfo.xml")
    file(READ "${DATA_DIR}/metainfo/${id}.metainfo.xml" metainfo)
    string(REGEX MATCH "<release version=\"([^\"]*)\"" release "${metainfo}")
    if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
        list(APPEND failures "the newest release is '${CMAKE_MATCH_1}', the project is ${VERSION}")
    endif()
    string(REGEX MATCHALL "<image>[^<]*</image>" images "${metainfo}")
    if(NOT images)
        list(APPEND failures "the metainfo has no screenshot")
    endif()
    foreach(image IN LISTS images)
        string(REGEX REPLACE "^<image>.*/([^/]*)</image>$" "\\1" name "${image}")
        if(NOT EXISTS "${SOURCE_DIR}/docs/screenshots/${name}")
            list(APPEND failures "the screenshot ${name} is not in docs/screenshots")
        endif()
    endforeach()
endif()

if(failures)
    list(JOIN failures "\n  " report)
    message(FATAL_ERROR "installed desktop files:\n  ${report}")
endif()
