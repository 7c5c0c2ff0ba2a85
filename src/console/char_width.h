// How many columns a terminal gives a character, from the C library's tables.
#pragma once

namespace vormi {

// The columns code takes on a UTF-8 terminal: 2 for wide characters (East
// Asian wide, most emoji), 0 for combining marks and other characters that
// join the one before, 1 for the rest; -1 for what the tables do not know as
// printable (unassigned code points among them), which terminals show with
// differing widths.
int char_columns(int code);

}  // namespace vormi
