#include "modes/single_file.h"

#include "engine/copy_engine.h"
#include "engine/scanner.h"
#include "run/run_state.h"

namespace {

constexpr const char* unread_write_text =
    "Write size of %u bytes is larger than the read size of %u bytes: bytes never read would be written.\n";
constexpr const char* searching_text = "\xfe                 -> searching \r";
constexpr const char* writing_text = "\xfe                 -> writing...\r";
constexpr const char* completed_text = "\n\xfe completed. %s written.\n";

}  // namespace

void refuse_unread_writes(unsigned read_size, unsigned write_size)
{
    if (write_size > read_size) {
        say(unread_write_text, write_size, read_size);
        end_run(1);
    }
}

bool open_single_input()
{
    if (io.input_file.open(io.input_name))
        return true;
    say_unopenable(io.input_name);
    settings.exit_status = 1;
    return false;
}

bool create_single_output()
{
    if (io.output_file.open(io.output_name))
        return true;
    say_unwritable(io.output_name);
    settings.exit_status = 1;
    return false;
}

void find_first_pack(const char* not_found_text)
{
    settings.input_pos = 0;
    say(searching_text);
    if (!scan_for_pattern(io.input_file, settings.pack_start_code.data(), io.input_size, true)) {
        say("%s", not_found_text);
        end_run(1);
    }
}

void copy_whole_input(Framing framing, bool exact_copy, bool keep_last_block)
{
    say(writing_text);
    copy_stream(io.input_size, framing, exact_copy, keep_last_block);
    say(completed_text, io.output_name.c_str());
}
