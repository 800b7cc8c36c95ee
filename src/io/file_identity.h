// The files this run reads. An output must never replace one of them: the
// input would be gone before it was read.
#pragma once

#include <sys/stat.h>

// Remembers the file behind an open descriptor as an input of the run.
void remember_run_input(int fd);
// Whether the file `st` describes is one the run has opened as an input:
// the same inode for files, the same device number for devices.
bool is_run_input(const struct stat& st);
// A new run (the driver starts each one with this) has read nothing yet.
void forget_run_inputs();
