// MPEG extraction from one raw, CIF, MPEG or .dat file.
#include <cstring>

#include "engine/mode2.h"
#include "run/option_summary.h"
#include "modes/modes.h"
#include "modes/single_file.h"
#include "run/run_state.h"

namespace {

// raw2mpg, and the two conversions that are raw2mpg with fixed sizes. Only a
// stream cut into whole blocks keeps a last piece shorter than a block.
void single_file_to_mpeg(bool keep_last_block)
{
    say("RAW track image source --> %s\n", io.input_name.c_str());
    say("MPEG destination --> %s\n", io.output_name.c_str());
    say("Extraction method --> raw2mpg\n");
    print_option_summary();
    output_name_template = io.output_name;

    // Reading one whole sector from the first pack header and writing its
    // first 2324 bytes yields exactly the Form 2 user data of each sector.
    io.sector_size = settings.read_sector_override ? settings.read_sector_override : raw_sector_size;
    io.read_chunk = io.sector_size;
    io.write_chunk = settings.write_sector_override ? settings.write_sector_override : form2_data_size;
    refuse_unread_writes(io.read_chunk, io.write_chunk);

    if (!open_single_input())
        return;
    io.input_size = file_size(io.input_file);
    find_first_pack("\n\nCould not find MPEG stream in raw image file.\n");
    if (create_single_output())
        copy_whole_input(Framing::plain_bytes, false, keep_last_block);
    io.input_file.close();
}

}  // namespace

void raw2mpg()
{
    single_file_to_mpeg(false);
}

// CIF sectors are subheader and user data: the pack header sits 8 bytes in.
void cif2mpg()
{
    settings.read_sector_override = cif_sector_size;
    settings.write_sector_override = form2_data_size;
    single_file_to_mpeg(false);
}

// Re-cuts a stream into 2324-byte blocks so that it can be repaired.
void mpg2mpg()
{
    settings.read_sector_override = form2_data_size;
    settings.write_sector_override = form2_data_size;
    single_file_to_mpeg(true);
}

void dat2mpg()
{
    say("VCD DAT source --> %s\n", io.input_name.c_str());
    say("MPEG destination --> %s\n", io.output_name.c_str());
    say("Extraction method --> dat2mpg\n");
    print_option_summary();

    if (!open_single_input())
        return;
    if (!create_single_output()) {
        io.input_file.close();
        return;
    }
    io.input_size = file_size(io.input_file);
    io.sector_size = raw_sector_size;
    io.read_chunk = raw_sector_size;
    io.write_chunk = form2_data_size;

    // Only the signature is checked, and only bytes that were really read.
    std::span<const std::uint8_t> header = io.input_file.view(0, dat_header.size());
    if (header.size() < 4 || std::memcmp(header.data(), "RIFF", 4) != 0) {
        say("\nThis file is not a DAT file or does not have the correct DAT signature.\n");
        end_run(1);
    }
    // The scan passes over the header on its way to the first pack header,
    // 24 bytes into the first sector that carries MPEG data.
    find_first_pack("\n\nCould not find MPEG stream in DAT file.\n");
    copy_whole_input(Framing::plain_bytes, false, false);
    io.input_file.close();
}
