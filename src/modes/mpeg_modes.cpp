// MPEG extraction from one raw, CIF, MPEG or .dat file.
#include <cstring>

#include "cli/driver.h"
#include "engine/copy_engine.h"
#include "engine/scanner.h"
#include "modes/modes.h"
#include "modes/single_file.h"
#include "state/run_state.h"

namespace {

constexpr const char* searching_text = "\xfe                 -> searching \r";
constexpr const char* writing_text = "\xfe                 -> writing...\r";
constexpr const char* completed_text = "\n\xfe completed. %s written.\n";
constexpr const char* open_failed_text = "%s could not be opened.\nFile could be missing.\n\n";
constexpr const char* create_failed_text = "%s could not be written.\n";

}  // namespace

void refuse_unread_writes(unsigned read_size, unsigned write_size)
{
    if (write_size > read_size) {
        say("Write size of %u bytes is larger than the read size of %u bytes: bytes never read would be written.\n",
            write_size, read_size);
        end_run(1);
    }
}

bool open_single_input()
{
    if (io.input_file.open(io.input_name))
        return true;
    say(open_failed_text, io.input_name.c_str());
    settings.exit_status = 1;
    return false;
}

// Scans from offset 0 for the first pack header; a stream that is not there
// ends the run with the mode's message.
void find_first_pack(const char* not_found_text)
{
    settings.input_pos = 0;
    io.input_file.seek(0);
    say(searching_text);
    if (!scan_for_pattern(settings.pack_start_code.data(), io.input_size, true)) {
        say("%s", not_found_text);
        end_run(1);
    }
}

// Creates the output and copies the whole input into it; `before_copy`
// writes anything that must precede the sectors.
void write_single_output(void (*before_copy)())
{
    if (!io.output_file.open(io.output_name)) {
        say(create_failed_text, io.output_name.c_str());
        settings.exit_status = 1;
        return;
    }
    if (before_copy)
        before_copy();
    say(writing_text);
    copy_stream(io.input_size);
    say(completed_text, io.output_name.c_str());
}

void raw2mpg()
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
    io.input_file.seek(settings.input_pos);
    write_single_output(nullptr);
    io.input_file.close();
}

// CIF sectors are subheader and user data: the pack header sits 8 bytes in.
void cif2mpg()
{
    settings.read_sector_override = cif_sector_size;
    settings.write_sector_override = form2_data_size;
    raw2mpg();
}

// Re-cuts a stream into 2324-byte blocks so that it can be repaired.
void mpg2mpg()
{
    settings.read_sector_override = form2_data_size;
    settings.write_sector_override = form2_data_size;
    raw2mpg();
}

void dat2mpg()
{
    say("VCD DAT source --> %s\n", io.input_name.c_str());
    say("MPEG destination --> %s\n", io.output_name.c_str());
    say("Extraction method --> dat2mpg\n");
    print_option_summary();

    if (!open_single_input())
        return;
    if (!io.output_file.open(io.output_name)) {
        say(create_failed_text, io.output_name.c_str());
        io.input_file.close();
        settings.exit_status = 1;
        return;
    }
    io.input_size = file_size(io.input_file);
    io.sector_size = raw_sector_size;
    io.read_chunk = raw_sector_size;
    io.write_chunk = form2_data_size;

    // Only the signature is checked, and only bytes that were really read.
    std::size_t got = io.input_file.read(sector_buffer.data(), 44);
    if (got < 4 || std::memcmp(sector_buffer.data(), "RIFF", 4) != 0) {
        say("\nThis file is not a DAT file or does not have the correct DAT signature.\n");
        end_run(1);
    }
    find_first_pack("\n\nCould not find MPEG stream in DAT file.\n");
    io.input_file.seek(settings.input_pos);
    say(writing_text);
    copy_stream(io.input_size);
    say(completed_text, io.output_name.c_str());
    io.input_file.close();
}
