// .dat files built from a raw track image or an MPEG stream.
#include "run/option_summary.h"
#include "engine/mode2.h"
#include "modes/modes.h"
#include "modes/single_file.h"
#include "run/run_state.h"

void raw2dat()
{
    say("RAW track image source --> %s\n", io.input_name.c_str());
    say("VCD DAT destination --> %s\n", io.output_name.c_str());
    say("Extraction method --> raw2dat\n");
    print_option_summary();

    io.sector_size = settings.read_sector_override ? settings.read_sector_override : raw_sector_size;
    if (io.sector_size != raw_sector_size) {
        say("-r%u: a DAT file holds sectors of %u bytes.\n", io.sector_size, raw_sector_size);
        end_run(1);
    }
    // A write size applies to each sector, so the copy then reads one at a time.
    io.read_chunk = settings.write_sector_override ? io.sector_size : multi_sector_chunk(io.sector_size);
    io.write_chunk = settings.write_sector_override ? settings.write_sector_override : io.read_chunk;
    refuse_unread_writes(io.read_chunk, io.write_chunk);

    if (!open_single_input())
        return;
    io.input_size = file_size(io.input_file);
    // The pack header only proves that the image carries MPEG; the whole
    // image is copied.
    find_first_pack("\n\nCould not find MPEG stream in raw image file.\n");
    settings.input_pos = 0;
    if (create_single_output()) {
        io.output_file.write(dat_header);
        copy_whole_input(Framing::plain_bytes, true, false);
    }
    io.input_file.close();
}

void mpg2dat()
{
    say("MPEG file source --> %s\n", io.input_name.c_str());
    say("VCD DAT destination --> %s\n", io.output_name.c_str());
    say("Conversion method --> mpg2dat\n");
    print_option_summary();
    output_name_template = io.output_name;

    if (!open_single_input())
        return;
    io.input_size = file_size(io.input_file);
    // Each 2324-byte block becomes the user data of one sector.
    io.sector_size = form2_data_size;
    io.read_chunk = form2_data_size;
    io.write_chunk = form2_data_size;
    find_first_pack("\n\nCould not find MPEG stream in MPEG file.\n");
    if (create_single_output())
        copy_whole_input(Framing::mode2_sectors, false, true);
    io.input_file.close();
}
