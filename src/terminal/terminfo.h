// This system's terminal database (terminfo): where the compiled entry of a terminal kind is
// kept, and the number of colours that an entry declares.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The colours a compiled terminfo entry declares (its colors number), read from either form
// of the file: 16-bit numbers (magic 0432) or 32-bit numbers (magic 01036). 0 when the entry
// declares none, or the bytes are no entry.
int terminfoColours(const uint8_t* entry, size_t size);

// The path of the compiled entry for a terminal kind, or "" when no database has one.
// anyDatabase tells whether any database folder exists at all. Searches TERMINFO,
// TERMINFO_DIRS, ~/.terminfo and the usual system folders; entries sit under their first
// letter, or its hexadecimal code on some systems. (POSIX only: terminfo_posix.cpp.)
std::string findTerminfoEntry(const std::string& name, bool& anyDatabase);

// The colours that this system's entry for a terminal kind declares; 0 when unknown.
// (POSIX only.)
int terminalColourCount(const char* name);

// Why the terminal kind named by TERM cannot take a full-screen program's cursor, colour and
// screen sequences, or "" when it can. Refused: no TERM; "dumb" and "unknown", which have no
// cursor addressing; and a name this system's database does not know (where there is one),
// unless it is of the xterm family, whose sequences every terminal of that name speaks.
// (POSIX only.)
std::string terminalProblem(const char* term);
