// Sheets and the files they name, on disk.
#pragma once

#include <string>

#include "image/cue_sheet.h"

// The whole text of a sheet (a CUE sheet, a TOC file, a CloneCD sheet); one
// that cannot be read or is over 1 MiB ends the run.
std::string read_sheet_text(const std::string& path);

// Reads the sheet at sheet_path and finds and measures every BIN it names.
// Every error ends the run; with one_track_disc a sheet of one track that is
// not Mode 1 is read, not refused (the CUE modes refuse it themselves).
LoadedSheet load_cue_sheet(const std::string& sheet_path, bool one_track_disc = false);
