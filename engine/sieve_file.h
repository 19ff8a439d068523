// The sieve file: writing the header and one line per survivor from whichever store is in
// use (tidying the store as it goes), and reading a file back into the job and a new store.
#pragma once
#include <cstdint>
#include <string>

// Saves the set with p - 1 as the sieved-to value. A full save replaces `name` only once the
// new file is complete on disk; `append` adds the value lines to an intermediate file.
void outputandtidyvals(int64_t p, const std::string& name, bool append);

// Makes name~ a second link to the file `name` (which stays where it is); false when there is
// no file to keep. Without hard links the file is moved aside instead.
bool KeepBackup(const std::string& name);

// Removes NAME.saving.PID files left beside `name` by saves of processes that no longer run.
void RemoveStaleSaveFiles(const std::string& name);

// Up to this many values, the reader keeps what its first pass reads (8 bytes a value) and
// fills the store from it; a larger file is read a second time instead.
constexpr uint32_t SIEVE_FILE_KEPT_VALUES = 1 << 20;

// Rebuilds the job and a fresh candidate set from `name` (or its "~" backup); false after
// a message when the file cannot be used.
bool readinfile(const std::string& name);
