#include "stream_fixtures.h"

#include <cctype>

#include "run/run_state.h"

std::string mask_clock(std::string text)
{
    auto digits = [&](std::size_t i) { return std::isdigit(static_cast<unsigned char>(text[i])) && std::isdigit(static_cast<unsigned char>(text[i + 1])); };
    for (std::size_t i = 0; i + 10 <= text.size(); ++i)
        if (text[i] == '[' && text[i + 3] == ':' && text[i + 6] == ':' && text[i + 9] == ']' && digits(i + 1) &&
            digits(i + 4) && digits(i + 7))
            text.replace(i, 10, "[hh:mm:ss]");
    return text;
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
