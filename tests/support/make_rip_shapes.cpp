// make_rip_shapes SHEET FOLDER: the disc of a CUE sheet with one BIN of raw
// sectors, written into FOLDER the ways other programs rip it: disc.ccd
// (+ .img, .sub), disc.mds (+ .mdf, 2352 bytes a sector), d48.mds (+ .mdf,
// 2448), bare48.bin, bare36.bin and data.iso.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "image/cue_image.h"
#include "rip_shapes.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: make_rip_shapes SHEET FOLDER\n";
        return 2;
    }
    namespace fs = std::filesystem;
    std::ifstream in(argv[1]);
    std::stringstream text;
    text << in.rdbuf();
    ParsedSheet sheet = parse_cue_sheet(text.str());
    if (sheet.bins.size() != 1) {
        std::cerr << argv[1] << ": one BIN is needed\n";
        return 2;
    }
    fs::path bin = fs::path(argv[1]).parent_path() / sheet.bins[0];
    DiscImage image = image_of_sheet(sheet, std::vector<BinImage>{{bin.string(), fs::file_size(bin)}});
    // A track starts at its INDEX 01 (after the pregap's 00, before any 02).
    std::vector<TrackStart> tracks;
    for (const DiscTrack& t : image.tracks)
        tracks.push_back({t.number, t.first_lsn + t.pregap, t.mode});
    fs::path out = argv[2];
    fs::create_directories(out);
    try {
        write_clonecd_rip(bin, tracks, out / "disc");
        write_alcohol_rip(bin, tracks, out / "disc", 2352);
        write_alcohol_rip(bin, tracks, out / "d48", 2448);
        write_bare_rip(bin, tracks, out / "bare48.bin", 2448);
        write_bare_rip(bin, tracks, out / "bare36.bin", 2336);
        write_bare_rip(bin, tracks, out / "data.iso", 2048);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}
