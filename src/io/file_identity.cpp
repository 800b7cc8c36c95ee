#include "io/file_identity.h"

#include <array>
#include <cstddef>

namespace {

struct Identity {
    bool device;  // a block or character device, known by its device number
    dev_t dev;
    ino_t ino;
};

// A run reads a sheet and at most one BIN per track; a run that opens more
// distinct files forgets the oldest.
std::array<Identity, 128> inputs;
std::size_t count = 0;

Identity identity_of(const struct stat& st)
{
    if (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode))
        return {true, st.st_rdev, 0};
    return {false, st.st_dev, st.st_ino};
}

}  // namespace

bool is_run_input(const struct stat& st)
{
    Identity id = identity_of(st);
    std::size_t known = count < inputs.size() ? count : inputs.size();
    for (std::size_t i = 0; i < known; ++i)
        if (inputs[i].device == id.device && inputs[i].dev == id.dev && inputs[i].ino == id.ino)
            return true;
    return false;
}

void remember_run_input(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || is_run_input(st))
        return;
    inputs[count % inputs.size()] = identity_of(st);
    ++count;
}

void forget_run_inputs()
{
    count = 0;
}
