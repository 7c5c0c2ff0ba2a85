#include "text/char_width.h"

#include <langinfo.h>
#include <locale.h>
#include <string.h>
#include <wchar.h>

namespace vormi {

namespace {

bool is_utf8(locale_t locale) {
  const char* codeset = nl_langinfo_l(CODESET, locale);
  return codeset != nullptr && strcmp(codeset, "UTF-8") == 0;
}

// A locale object with a UTF-8 character set, made once: C.UTF-8, or else
// the user's own locale when it is UTF-8. The widths then come from the C
// library's Unicode tables whatever the program's locale, and the process's
// locale is never changed. Null when the system has no UTF-8 locale at all.
locale_t utf8_locale() {
  static const locale_t locale = [] {
    const char* const names[] = {"C.UTF-8", ""};
    for (const char* name : names) {
      const locale_t made = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
      if (made == static_cast<locale_t>(nullptr)) continue;
      if (is_utf8(made)) return made;
      freelocale(made);
    }
    return static_cast<locale_t>(nullptr);
  }();
  return locale;
}

}  // namespace

bool user_locale_utf8() {
  const locale_t user = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (user == static_cast<locale_t>(nullptr)) return false;
  const bool utf8 = is_utf8(user);
  freelocale(user);
  return utf8;
}

int char_columns(int code) {
  if (code >= 0x20 && code < 0x7F) return 1;
  const locale_t utf8 = utf8_locale();
  if (utf8 == static_cast<locale_t>(nullptr)) return code < 0x20 || code == 0x7F ? -1 : 1;
  // wcwidth reads the calling thread's locale: this one, for this call only.
  const locale_t previous = uselocale(utf8);
  const int width = wcwidth(static_cast<wchar_t>(code));
  uselocale(previous);
  return width;
}

}  // namespace vormi
