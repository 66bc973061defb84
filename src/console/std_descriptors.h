// The process's standard descriptors and signals, set up before any file is
// opened: a closed descriptor 0, 1 or 2 would otherwise be taken by a file.
#pragma once

namespace quelbro {

// Opens the null device on each of descriptors 0, 1 and 2 that is closed, so
// that the first file the program opens never becomes its screen or input.
void ensureStandardDescriptors();

// A file-size limit makes a write fail (EFBIG) instead of ending the program.
void ignoreFileSizeSignal();

// Standard output that is not a terminal (a file, a pipe, the null device)
// gets a buffer of a megabyte: a run can write hundreds of megabytes of
// screen lines, and the system's few kilobytes cost a write call each. The
// dialogue still flushes before every question is read. Call before anything
// is written to standard output.
void bufferStandardOutput();

}  // namespace quelbro
