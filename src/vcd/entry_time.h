// The times videocd.xml gives points in a sequence or segment item (entry
// points, auto-pause points). vcdxbuild puts an entry on the picture whose
// time lies nearest the one written, and an auto-pause on the first sector
// whose time reaches it; a time is a presentation time stamp less the
// lowest one of the whole item (any stream: the first audio frame is often
// earlier than the first picture). Writing exactly that time for the sector
// a point lies on brings the point back to the same sector.
#pragma once

#include <cstdint>
#include <string>

// Seconds as vcdxbuild reads them: (pts - lowest_pts) / 90000 with six
// decimals, cut rather than rounded so that the time read back never lies
// past pts; "0.000000" when pts lies before the lowest time.
std::string entry_time_text(std::uint64_t pts, std::uint64_t lowest_pts);
