#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "cli/driver.h"
#include "io/output_file.h"
#include "io/report.h"

int main(int argc, char** argv)
{
    // A standard descriptor left closed would go to the first file opened,
    // and the program's own lines would land in it.
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0)
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    // A reader that goes away early (| head) makes the lines fail, never the
    // conversion.
    std::signal(SIGPIPE, SIG_IGN);
    remove_unfinished_output_on_signals();
    choose_square_glyph();
    return run_program(argc, argv);
}
