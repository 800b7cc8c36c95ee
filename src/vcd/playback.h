// The playback control of a Video CD or SVCD: the lists of the descriptor
// file (PSD) read into a plain value, and the words the report prints for
// them. Reading is a pure function of the bytes: any offset, count or length
// that does not fit gives an error text, never a read past the bytes or a
// walk without end.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vcd/disc_layout.h"

enum class ListKind : std::uint8_t { selection, play, end };

// A list a key or a timer leads to: an index into PlaybackControl::lists.
inline constexpr int no_list = -1;

// What "default" does on a selection list.
enum class DefaultAction : std::uint8_t {
    none,
    list,                // goes to PlaybackList::default_list
    multi,               // the selection that matches the entry being played
    multi_no_numbers,    // the same, with the number keys off
};

// A rectangle of the picture a pointing device selects (x1,y1 upper left).
struct SelectionArea {
    std::uint8_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

struct PlaybackList {
    ListKind kind = ListKind::end;
    std::uint32_t offset = 0;  // bytes into the descriptor file
    std::uint16_t lid = 0;     // 0 for an end list, which has none
    bool rejected = false;     // the LID's top bit, or an end list outside the LOT: not reachable from the LOT

    // Play and selection lists.
    int prev = no_list;
    int next = no_list;
    int return_to = no_list;

    // Selection lists.
    std::uint8_t bsn = 1;  // the number of the first selection
    DefaultAction default_action = DefaultAction::none;
    int default_list = no_list;
    int timeout_list = no_list;
    std::uint8_t timeout_code = 0;  // wait before the timeout, coded as a play list's wait
    std::uint8_t loop = 0;          // bit 7: jump at the end of the item; 0-127 plays, 0 forever
    std::uint16_t play_item = 0;
    std::vector<int> selections;    // the lists numbers bsn, bsn+1, ... lead to
    bool has_areas = false;
    SelectionArea prev_area, next_area, return_area, default_area;
    std::vector<SelectionArea> selection_areas;

    // Play lists.
    std::uint16_t play_time = 0;  // 1/15 s, 0 for the whole items
    std::uint8_t wait_code = 0;
    std::uint8_t autowait_code = 0;
    std::vector<std::uint16_t> items;

    // End lists.
    std::uint8_t next_volume = 0;  // 0 stops, n changes to volume n
    std::uint16_t change_picture = 0;
};

struct PlaybackControl {
    // In the order they lie in the descriptor file.
    std::vector<PlaybackList> lists;
};

struct PlaybackParse {
    PlaybackControl control;
    std::string error;  // empty when the bytes made sense
};

// Reads the descriptor file `psd`; `lot` is its list offset table (may be
// short or empty), `multiplier` the info file's offset multiplier.
// Lists are found from offset 0 on, through the LOT and through every
// offset a list holds.
PlaybackParse parse_playback_control(std::span<const std::uint8_t> psd,
                                     std::span<const std::uint8_t> lot, unsigned multiplier);
// The layout's extended descriptor file where it has one (it alone holds
// the selection areas), else the plain one; no lists when it has neither.
PlaybackParse read_playback_control(const DiscLayout& layout);

// The list's number as the disc counts them: its LID, or for an end list
// the LOT leaves out, its place among the lists (vcdxbuild numbers the
// lists in the order it writes them).
unsigned list_number(const PlaybackControl& control, std::size_t index);

// A wait or timeout code in seconds: 0-60 as they stand, 61-254 in steps
// of ten seconds above one minute, 255 (returned as -1) forever.
int wait_seconds(std::uint8_t code);

// What a play item number names.
enum class PlayItemKind : std::uint8_t { nothing, sequence, entry, segment, invalid };
struct PlayItemRef {
    PlayItemKind kind = PlayItemKind::nothing;
    int index = -1;  // into layout.sequences, layout.entries or layout.segments
};
// 0-1 nothing, 2-99 track n, 100-599 entry n-99, 1000-2979 segment n-999;
// a number the layout has no item for is invalid.
PlayItemRef resolve_play_item(const DiscLayout& layout, std::uint16_t number);
// "avseq01.mpg", "item0002.mpg", "entry 2 of avseq01.mpg", "nothing",
// "item number 700 (none on the disc)".
std::string play_item_words(const DiscLayout& layout, std::uint16_t number);
// The sequence an entry lies in (index into layout.sequences), or -1.
int sequence_of_entry(const DiscLayout& layout, std::size_t entry);

// The playback control in words, for the report.
void print_playback_control(const DiscLayout& layout, const PlaybackControl& control);
