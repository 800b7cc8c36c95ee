// The scanner and the copy engine on the input's bytes after the first, which
// chooses the copy: modulo 6 the sizes and framing of raw2mpg, cif2mpg,
// mpg2mpg, dat2mpg, raw2dat or mpg2dat, then a bit each for -fix, -nobumper.
// The same bytes as raw sectors through the checks of -verify, and the fast
// EDC ways against the portable one.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "engine/copy_engine.h"
#include "sector/edc.h"
#include "sector/sector_check.h"
#include "engine/scanner.h"
#include "run/run_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The scanner's search against the plain one.
    auto len = static_cast<std::int32_t>(std::min<std::size_t>(size - 1, 5000));
    for (const std::uint8_t* pattern : {static_cast<const std::uint8_t*>(settings.pack_start_code.data()), end_code}) {
        const std::uint8_t* hit = std::search(data + 1, data + 1 + len, pattern, pattern + 4);
        if (find_pattern(data + 1, pattern, len, 4) != (hit == data + 1 + len ? -1 : hit - data - 1))
            std::abort();
    }
    const std::uint32_t edc = edc_portable(data[0], {data + 1, size - 1});
    for (EdcWay way : {EdcWay::clmul128, EdcWay::clmul512})
        if (edc_update_by(way, data[0], {data + 1, size - 1}) != edc)
            std::abort();
    SectorTally tally;
    std::optional<std::uint32_t> anchor = anchor_lba({data + 1, size - 1});
    check_sectors({data + 1, size - 1}, anchor.value_or(0), anchor.has_value(), data[0] % 3, tally);
    if (tally.read != (size - 1) / 2352 || tally.whole > tally.read)
        std::abort();
    for (const DamageRange& r : tally.damage)
        if (describe_range(r).empty())
            std::abort();
    reset_run_state();
    const int shape = data[0] % 6;
    const std::uint32_t sector = shape == 1 ? 2332 : shape == 2 || shape == 5 ? 2324 : 2352;
    CopyPlan plan{io.input_file, io.output_file, sector, sector, 2324,
                  shape == 5 ? Framing::mode2_sectors : Framing::plain_bytes, shape == 4, shape == 2 || shape == 5};
    if (plan.exact_copy)
        plan.read_chunk = plan.write_chunk = 30576;
    settings.fix_blocks = (data[0] / 6) & 1;
    settings.remove_bumper = (data[0] / 12) & 1;
    io.input_file.open_memory({data + 1, size - 1}, "in");
    std::freopen("/dev/null", "w", stdout);
    try {
        if (scan_for_pattern(io.input_file, settings.pack_start_code.data(), size - 1, true) &&
            io.output_file.open("/dev/null"))
            copy_stream(plan, size - 1);
    } catch (const RunEnd&) {
    }
    io.output_file.abandon();
    return 0;
}
