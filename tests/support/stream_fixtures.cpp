#include "stream_fixtures.h"

#include <regex>

#include "state/run_state.h"

std::string mask_clock(std::string text)
{
    return std::regex_replace(text, std::regex(R"(\[\d\d:\d\d:\d\d\])"), "[hh:mm:ss]");
}

InProcess in_process(const Bytes& input, const std::function<void()>& body)
{
    Scratch s;
    reset_run_state();
    io.input_file.open_memory(input, "in");
    io.output_file.open(s.path("out").string());
    InProcess r;
    testing::internal::CaptureStdout();
    try {
        body();
    } catch (const RunEnd& end) {
        r.status = end.status;
    }
    io.output_file.abandon();
    flush_stdout();
    r.out = testing::internal::GetCapturedStdout();
    r.written = s.exists("out") ? s.read("out") : Bytes{};
    reset_run_state();
    return r;
}
