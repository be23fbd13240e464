#pragma once
// The three standard streams as the program relies on them.

// Opens /dev/null, read-only, on each of standard input, output and error that
// the program was started without (`glintworks >&-`), before anything else
// opens a file: otherwise the next file or socket opened (the window system's
// connection) would get that number and standard output's lines would go into
// it. Read-only, so that a write to such a stream still fails (EBADF) and is
// reported as it would have been. Nothing to do where there are no file
// descriptors to inherit (Windows, the browser).
void holdStandardStreams();
