#pragma once

#include <string>

#include "swf/SwfMovie.h"

namespace vantrel {

// Where browsers without the player fetch it: the ActiveX installer cabinet
// (with the lowest player version the movies need) and the plug-in page.
inline constexpr const char* kPlayerCodebase =
    "https://download.macromedia.com/pub/shockwave/cabs/flash/swflash.cab#version=4,0,0,0";
inline constexpr const char* kPluginsPage = "https://www.macromedia.com/go/getflashplayer";

// The page beside a movie: the movie path up to and including the last "."
// of its file name, then "html" (walk.swf -> walk.html). A file name without
// a "." gets ".html" appended.
std::string htmlPagePath(const std::string& moviePath);

// Writes the page that embeds the movie (an object element for ActiveX with
// an embed element for plug-ins), at width x height pixels, transparent when
// includeAlpha is set. The page refers to the movie by its file name alone,
// so it works beside the movie; characters a browser would read otherwise
// in a URL are percent-encoded. Written atomically; an existing page is
// replaced. A non-empty playerScript is the URL of a script that plays the
// movie where no plug-in does (a Flash emulator's polyfill); the page then
// loads it from a head element before the movie's elements. Without `loop`
// both elements tell the player to stop on the last frame.
WriteResult writeHtmlPage(const std::string& moviePath, int width, int height, bool includeAlpha,
                          const std::string& playerScript = {}, bool loop = true);

}  // namespace vantrel
