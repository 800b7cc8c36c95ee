// The active options, printed by every conversion after its header lines.
#pragma once

void print_option_summary();
