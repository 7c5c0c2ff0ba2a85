/* A stand-in for macOS's <util.h>, which Zig's set of macOS headers lacks:
 * the pseudo-terminal calls as macOS declares them (their code is in
 * libSystem, whose stubs Zig has). For scripts/check-foreign.sh only. */
#ifndef VORMI_FOREIGN_MACOS_UTIL_H
#define VORMI_FOREIGN_MACOS_UTIL_H

#include <sys/cdefs.h>
#include <sys/ioctl.h>
#include <sys/types.h>
#include <termios.h>

__BEGIN_DECLS
int openpty(int*, int*, char*, struct termios*, struct winsize*);
int forkpty(int*, char*, struct termios*, struct winsize*);
int login_tty(int);
__END_DECLS

#endif
