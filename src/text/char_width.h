// What the C library's locales tell of characters: how many columns a terminal
// gives one, and whether the user's character set is UTF-8. Both ask through
// locale objects, so the process's own locale never changes.
#pragma once

namespace vormi {

// The columns code takes on a UTF-8 terminal: 2 for wide characters (East
// Asian wide, most emoji), 0 for combining marks and other characters that
// join the one before, 1 for the rest; -1 for what the tables do not know as
// printable (unassigned code points among them), which terminals show with
// differing widths.
int char_columns(int code);

// Whether the user's locale (LC_ALL, LC_CTYPE, LANG) has UTF-8 characters.
bool user_locale_utf8();

}  // namespace vormi
