// The console layer on a real pseudo-terminal: glyphs, keys, the modes it sets
// and how it leaves the terminal on every way out.
#include <fcntl.h>
#include <poll.h>
// openpty: <pty.h> on Linux, <libutil.h> on FreeBSD, <util.h> on macOS and the other BSDs.
#if __has_include(<pty.h>)
#include <pty.h>
#elif __has_include(<libutil.h>)
#include <libutil.h>
#else
#include <util.h>
#endif
#include <signal.h>
#include <sys/ioctl.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "support/pty_session.h"
#include "support/work_dir.h"

namespace vormi::test {
namespace {

const std::string PROBE = CONSOLE_PROBE_BINARY;
const std::string GAME = VORMI_BINARY;

// The probe is told what to do; the game takes no argument.
std::vector<std::string> command_of(const std::string& program) {
  if (program == PROBE) return {PROBE, "keys"};
  return {program};
}

// Pumps the session until condition holds; false after timeout_ms.
bool eventually(PtySession& session, const std::function<bool()>& condition,
                int timeout_ms = 3000) {
  for (int waited = 0; waited < timeout_ms; waited += 20) {
    if (condition()) return true;
    session.pump(20);
  }
  return condition();
}

void expect_game_mode(const termios& modes) {
  EXPECT_EQ(modes.c_lflag & ICANON, 0u) << "canonical mode still on";
  EXPECT_EQ(modes.c_lflag & ECHO, 0u) << "echo still on";
  EXPECT_NE(modes.c_lflag & ISIG, 0u) << "signals were turned off";
  EXPECT_EQ(modes.c_iflag & ICRNL, 0u) << "CR still becomes NL";
  EXPECT_EQ(modes.c_iflag & IXON, 0u) << "XON/XOFF still on";
  EXPECT_EQ(modes.c_cc[VMIN], 0);
  EXPECT_EQ(modes.c_cc[VTIME], 0);
}

class ConsoleEndToEnd : public ::testing::Test {
 protected:
  // SIGQUIT's default action would leave core files behind.
  void SetUp() override {
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
  }
};

TEST_F(ConsoleEndToEnd, GlyphsShowWhereDrawnAndArrowGivesTwoCodes) {
  PtySession session({PROBE, "keys"});
  ASSERT_TRUE(session.wait_for("ready")) << session.screen().text();
  EXPECT_EQ(session.screen().cell(5, 3), "\u2592");
  EXPECT_EQ(session.screen().cell(6, 3), "\u2593");
  EXPECT_EQ(session.screen().cell(7, 3), "\u2588");
  EXPECT_EQ(session.screen().cell(8, 3), "\u25A0");
  EXPECT_EQ(session.screen().cell(4, 3), " ");
  EXPECT_EQ(session.screen().cell(9, 3), " ");

  session.send("\x1b[A");
  ASSERT_TRUE(session.wait_for("code=72")) << session.screen().text();
  EXPECT_EQ(session.screen().row(10), "code=0");
  EXPECT_EQ(session.screen().row(11), "code=72");
  // Enter arrives as CR (13), not turned into NL by the terminal.
  session.send("\r");
  ASSERT_TRUE(session.wait_for("code=13")) << session.screen().text();
  EXPECT_EQ(session.screen().row(12), "code=13");
}

// The locale decides the character set: outside UTF-8 the glyphs are drawn as
// ASCII look-alikes and no byte of 0x80 or more reaches the terminal.
TEST_F(ConsoleEndToEnd, NonUtf8LocaleDrawsAsciiGlyphs) {
  PtySession session({"/usr/bin/env", "LANG=C", "LC_ALL=C", PROBE, "keys"});
  ASSERT_TRUE(session.wait_for("ready")) << session.screen().text();
  for (int x = 5; x <= 8; ++x) {
    std::string cell = session.screen().cell(x, 3);
    ASSERT_EQ(cell.size(), 1u) << "column " << x << ": " << cell;
    EXPECT_NE(cell, " ") << "column " << x;
  }
  for (char byte : session.output())
    ASSERT_LT(static_cast<unsigned char>(byte), 0x80) << "a byte of 0x80 or more was written";
}

struct Ending {
  const char* name;
  int sig;  // 0: the program's own exit(0), by the key q
};

void PrintTo(const Ending& ending, std::ostream* out) { *out << ending.name; }

const char SHELL_SCREEN[] = "$ ls\r\nhighscores.txt\r\n$ vormi";
const std::string QUERY = "\x1b[?1049h\x1b[?u\x1b[?2026$p\x1b[c";

size_t count_of(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Every mode the program turned on it turned off again, as often, and no
// synchronized frame is left open.
void expect_modes_balanced(const std::string& output) {
  EXPECT_EQ(count_of(output, "\x1b[?1049h"), count_of(output, "\x1b[?1049l")) << "alternate screen";
  EXPECT_EQ(count_of(output, "\x1b[>1u"), count_of(output, "\x1b[<u")) << "keyboard mode";
  const size_t last_frame = output.rfind("\x1b[?2026h");
  EXPECT_TRUE(last_frame == std::string::npos ||
              output.find("\x1b[?2026l", last_frame) != std::string::npos);
}

class EndingRestoresModes
    : public ConsoleEndToEnd,
      public ::testing::WithParamInterface<std::tuple<Ending, TerminalAnswers>> {};

// On each kind of terminal and every way out: the query at start-up, the
// keyboard protocol pushed and the modes' frame end sent on the way out only
// where the terminal answered for them, no reply taken for a key, and at the
// end the screen modes off last,
// the terminal's modes exactly as found, and the shell's screen and
// scrollback as they were before the program.
TEST_P(EndingRestoresModes, ModesAreExactlyAsFound) {
  const auto& [ending, answers] = GetParam();
  PtySession session({PROBE, "keys"}, 80, 25, "", answers);
  session.screen().feed(SHELL_SCREEN);
  const std::string shell_screen = session.screen().text();
  ASSERT_TRUE(session.wait_for("ready")) << session.screen().text();
  termios during = session.modes();
  expect_game_mode(during);
  EXPECT_FALSE(same_modes(session.initial_modes(), during));
  const std::string& output = session.output();
  EXPECT_EQ(output.substr(0, QUERY.size()), QUERY);
  // The replies came before x: once its code shows, they have been read.
  session.send("x");
  ASSERT_TRUE(session.wait_for("code=120")) << session.screen().text();
  EXPECT_EQ(session.screen().row(10), "code=120") << "a reply was taken for a key";
  EXPECT_EQ(output.find("\x1b[>1u") != std::string::npos, has_keyboard_protocol(answers));

  if (ending.sig == 0)
    session.send("q");
  else
    session.signal(ending.sig);
  int status = 0;
  ASSERT_TRUE(session.wait_exit(status)) << "the program did not end";
  if (ending.sig == 0) {
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  } else {
    ASSERT_TRUE(WIFSIGNALED(status)) << "ended by exit " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), ending.sig);
  }
  EXPECT_TRUE(same_modes(session.initial_modes(), session.modes()));
  const std::string off = screen_modes_off(answers);
  ASSERT_GE(output.size(), off.size());
  EXPECT_EQ(output.substr(output.size() - off.size()), off);
  expect_modes_balanced(output);
  EXPECT_EQ(session.screen().text(), shell_screen);
  EXPECT_EQ(session.screen().scrolled_off(), 0);
  EXPECT_EQ(session.shell_line(), "\n");
}

const auto ALL_TERMINALS =
    ::testing::Values(TerminalAnswers::KEYBOARD_AND_SYNC, TerminalAnswers::SYNC_ONLY,
                      TerminalAnswers::ATTRIBUTES_ONLY, TerminalAnswers::NOTHING);

// A fault and a timer stand for the signals that had no handler once.
const auto ENDINGS = ::testing::Values(Ending{"exit", 0}, Ending{"SIGINT", SIGINT},
                                       Ending{"SIGTERM", SIGTERM}, Ending{"SIGHUP", SIGHUP},
                                       Ending{"SIGQUIT", SIGQUIT}, Ending{"SIGSEGV", SIGSEGV},
#ifdef __linux__
                                       // Ignored by default on some systems.
                                       Ending{"SIGPOLL", SIGPOLL}, Ending{"SIGRTMIN", SIGRTMIN},
#endif
                                       Ending{"SIGALRM", SIGALRM});

INSTANTIATE_TEST_SUITE_P(
    Endings, EndingRestoresModes, ::testing::Combine(ENDINGS, ALL_TERMINALS),
    [](const ::testing::TestParamInfo<std::tuple<Ending, TerminalAnswers>>& param_info) {
      return std::string(std::get<0>(param_info.param).name) + "_" +
             name_of(std::get<1>(param_info.param));
    });

// Ctrl+C as its byte, and as the keyboard protocol sends it (which the
// terminal no longer turns into a signal).
TEST_F(ConsoleEndToEnd, CtrlCFromTheKeyboardEndsByTheSignalAndRestores) {
  const struct {
    TerminalAnswers answers;
    const char* ctrl_c;
    bool under_notice;  // the terminal too small, its notice shown
  } cases[] = {{TerminalAnswers::ATTRIBUTES_ONLY, "\x03", false},
               {TerminalAnswers::KEYBOARD_AND_SYNC, "\x1b[99;5u", false},
               {TerminalAnswers::KEYBOARD_AND_SYNC, "\x1b[99;5u", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(name_of(c.answers)) + (c.under_notice ? " under the notice" : ""));
    PtySession session({PROBE, "keys"}, 80, 25, "", c.answers);
    ASSERT_TRUE(session.wait_for("ready"));
    if (c.under_notice) {
      session.resize(60, 20);
      ASSERT_TRUE(session.wait_for("needs at least 80x24")) << session.screen().text();
    }
    session.send(c.ctrl_c);
    int status = 0;
    ASSERT_TRUE(session.wait_exit(status));
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    EXPECT_TRUE(same_modes(session.initial_modes(), session.modes()));
    expect_modes_balanced(session.output());
  }
}

class StopOn : public ConsoleEndToEnd, public ::testing::WithParamInterface<TerminalAnswers> {};

// Before the stop the screen modes go off, so the shell's screen is there;
// on fg they come back before the screen is drawn again, whole.
TEST_P(StopOn, CtrlZRestoresModesAndFgBringsGameModeAndScreenBack) {
  const TerminalAnswers answers = GetParam();
  const bool full = has_keyboard_protocol(answers);
  PtySession session({PROBE, "job"}, 80, 25, "", answers);
  session.screen().feed(SHELL_SCREEN);
  ASSERT_TRUE(session.wait_for("ready")) << session.screen().text();
  // Ctrl+Z as the keyboard protocol sends it, where the terminal has it.
  session.send(full ? "\x1b[122;5u" : "\x1a");
  ASSERT_TRUE(session.wait_for("stopped")) << session.screen().text();
  EXPECT_TRUE(same_modes(session.initial_modes(), session.modes()));
  const std::string off = screen_modes_off(answers);
  const size_t stopped_at = session.output().find("stopped");
  ASSERT_GE(stopped_at, off.size());
  const size_t off_at = session.output().rfind(off, stopped_at);
  ASSERT_NE(off_at, std::string::npos) << "the screen modes were not turned off";
  EXPECT_EQ(session.output().find('\x1b', off_at + off.size()), std::string::npos)
      << "something came after the screen modes went off";
  EXPECT_EQ(session.screen().row(2), "highscores.txt") << "the shell's screen is not back";

  session.send("fg\n");
  // In order: game mode, the screen modes, then the whole repaint, and
  // nothing drawn before them.
  const std::string on = full ? "\x1b[?1049h\x1b[>1u" : "\x1b[?1049h";
  const size_t fg_at = session.output().size();
  ASSERT_TRUE(eventually(session, [&] {
    return session.output().find(on, fg_at) != std::string::npos;
  })) << "the screen modes did not come back";
  expect_game_mode(session.modes());
  // The console repaints what it showed, over the shell's lines.
  EXPECT_TRUE(eventually(session, [&] {
    return session.screen().text().find("stopped") == std::string::npos;
  })) << session.screen().text();
  EXPECT_EQ(session.screen().cell(7, 3), "\u2588");
  const std::string resumed = session.output().substr(session.output().find('\x1b', stopped_at));
  EXPECT_EQ(resumed.substr(0, on.size()), on) << "the screen modes did not come back first";
  const std::string repaint = has_sync_output(answers) ? "\x1b[?2026h\x1b[2J" : "\x1b[2J";
  EXPECT_EQ(resumed.substr(on.size(), repaint.size()), repaint) << "the repaint is no whole frame";

  session.send("x");
  ASSERT_TRUE(session.wait_for("code=120")) << session.screen().text();
  session.send("q");
  int status = 0;
  ASSERT_TRUE(session.wait_exit(status));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(same_modes(session.initial_modes(), session.modes()));
  expect_modes_balanced(session.output());
}

INSTANTIATE_TEST_SUITE_P(Terminals, StopOn, ALL_TERMINALS,
                         [](const ::testing::TestParamInfo<TerminalAnswers>& param_info) {
                           return std::string(name_of(param_info.param));
                         });

// The stop lands while the program draws, between two waits: the continue
// must still end the next wait at once and the screen come back without a key.
TEST_F(ConsoleEndToEnd, StopsWhileDrawingAreRepaintedBeforeTheNextWait) {
  PtySession session({PROBE, "stops"});
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // The shell's screen comes back with the lines of the rounds before.
    ASSERT_TRUE(eventually(session, [&] {
      return count_of(session.output(), "stopped") == static_cast<size_t>(round);
    })) << session.screen().text();
    EXPECT_TRUE(same_modes(session.initial_modes(), session.modes()));
    session.send("fg\n");
    const std::string frame = "ready " + std::to_string(round) + "\nafter\nround " +
                              std::to_string(round) + ": before" + std::string(22, '\n');
    ASSERT_TRUE(eventually(session, [&] { return session.screen().text() == frame; }))
        << session.screen().text();
    expect_game_mode(session.modes());
    session.send("x");  // ends the frame; the next one starts at once
  }
  int status = 0;
  ASSERT_TRUE(session.wait_exit(status));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // The last key's code was drawn before the alternate screen was left.
  const size_t code_at = session.output().rfind("code=120");
  ASSERT_NE(code_at, std::string::npos);
  EXPECT_NE(session.output().find("\x1b[?1049l", code_at), std::string::npos);
}

// A change of size that lands while the program draws ends the next wait at
// once: the screen is drawn again (a second "ready") with no key pressed.
TEST_F(ConsoleEndToEnd, ResizeWhileDrawingIsRepaintedBeforeAnyKey) {
  PtySession session({PROBE, "resized"});
  EXPECT_TRUE(eventually(session, [&] { return count_of(session.output(), "ready") == 2; }))
      << session.output();
  session.send("q");
  int status = 0;
  EXPECT_TRUE(session.wait_exit(status));
}

// A program that is its session's leader (as under a terminal emulator's -e)
// cannot be stopped: the kernel discards the stop, and the game must carry on
// in game mode instead of running on in line mode.
TEST_F(ConsoleEndToEnd, DiscardedStopKeepsGameMode) {
  PtySession session({PROBE, "keys"});
  ASSERT_TRUE(session.wait_for("ready"));
  session.send("\x1a");
  // Keys typed while the handler puts the modes back and forth may be dropped.
  session.pump(200);
  session.send("x");
  ASSERT_TRUE(session.wait_for("code=120")) << session.screen().text();
  expect_game_mode(session.modes());
  // The x typed right after Ctrl+Z was not echoed by the terminal.
  EXPECT_EQ(session.output().find("x"), std::string::npos);
}

// The shell's kill of a stopped job sends SIGTERM, then SIGCONT, and leaves
// the job in the background: the game ends at once and writes nothing, as the
// terminal was given back at the stop.
TEST_F(ConsoleEndToEnd, AStoppedGameKilledEndsAtOnceWritingNothing) {
  PtySession session({PROBE, "job"}, 80, 25, "", TerminalAnswers::KEYBOARD_AND_SYNC);
  ASSERT_TRUE(session.wait_for("ready"));
  session.send("\x1a");
  ASSERT_TRUE(session.wait_for("stopped"));
  const size_t stopped_at = session.output().size();
  session.send("kill\n");
  int status = 0;
  ASSERT_TRUE(session.wait_exit(status)) << "the stopped game did not end";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << status;
  EXPECT_EQ(session.output().find('\x1b', stopped_at), std::string::npos) << "bytes after the stop";
  EXPECT_TRUE(same_modes(session.initial_modes(), session.modes()));
  expect_modes_balanced(session.output());
  EXPECT_EQ(session.shell_line(), "\n");
}

// An interactive bash with job control on the terminal, as a player's is.
std::vector<std::string> interactive_bash() {
  return {"/usr/bin/env", "PS1=shell> ", "HISTFILE=", "/bin/bash", "--norc", "--noprofile", "-i"};
}

const std::string RUN_PROBE = "'" + PROBE + "' keys";

struct ShellStep {
  std::string send;   // typed; SIGSTOP: that signal sent to the job in the foreground
  std::string shows;  // text on the screen after it; GAME: the game's screen whole again
};

// Whether the game's screen shows whole again, the shell's lines gone.
bool game_shows(PtySession& session) {
  return eventually(session, [&] {
    return session.screen().row(1) == "ready" &&
           session.screen().text().find("shell>") == std::string::npos;
  });
}

// The game takes the terminal back, whatever path through the shell's job
// control led there; in the background it is never stopped by its terminal
// (jobs says Running) and ends on its signal (kill, and timeout, which runs it
// in a group of its own); and the shell gets the terminal back as it was.
TEST_F(ConsoleEndToEnd, UnderBashTheGameTakesTheTerminalBackOnEveryPath) {
  const ShellStep start = {RUN_PROBE + "\n", "ready"};
  const ShellStep running = {"jobs\n", "Running"};
  const ShellStep fg = {"fg\n", "GAME"};
  const std::vector<ShellStep> rows[] = {
      {start, {"\x1a", "Stopped"}, {"bg\n", "keys &"}, running, fg},
      {{RUN_PROBE + " &\n", "[1] "}, running, fg},
      {start, {"SIGSTOP", "Stopped"}, {"bg\n", "keys &"}, running, fg},
      {{RUN_PROBE + " &\n", "[1] "}, {"kill %1; wait %1; echo rc=$?\n", "rc=143"}},
      {{"timeout 1 " + RUN_PROBE + "; echo rc=$?\n", "rc=124"}},
  };
  for (const auto& steps : rows) {
    SCOPED_TRACE(::testing::PrintToString(steps[steps.size() > 1].send));
    PtySession session(interactive_bash(), 80, 25, "", TerminalAnswers::KEYBOARD_AND_SYNC);
    ASSERT_TRUE(session.wait_for("shell>")) << session.screen().text();
    for (const ShellStep& step : steps) {
      if (step.send == "SIGSTOP")
        kill(-session.foreground_group(), SIGSTOP);
      else
        session.send(step.send);
      // Long enough for a game in the background to be stopped by its terminal.
      session.pump(300);
      ASSERT_TRUE(step.shows == "GAME" ? game_shows(session) : session.wait_for(step.shows))
          << step.shows << " after " << step.send << ":\n"
          << session.screen().text();
    }
    if (steps.back().shows != "GAME") continue;
    expect_game_mode(session.modes());
    session.send("x");
    ASSERT_TRUE(session.wait_for("code=120")) << session.screen().text();
    // The shell's next prompt comes once the game has ended.
    const size_t prompts = count_of(session.output(), "shell>");
    session.send("q");
    ASSERT_TRUE(
        eventually(session, [&] { return count_of(session.output(), "shell>") > prompts; }));
    expect_modes_balanced(session.output());
  }
}

// What the player sets while the game is stopped (stty) is what the game
// leaves at its end: the modes it found when it last took the terminal.
TEST_F(ConsoleEndToEnd, ModesSetWhileStoppedStayAtTheEnd) {
  PtySession session({PROBE, "job"});
  ASSERT_TRUE(session.wait_for("ready"));
  session.send("\x1a");
  ASSERT_TRUE(session.wait_for("stopped"));
  termios player = session.modes();
  player.c_lflag |= TOSTOP;
  session.set_modes(player);
  session.send("fg\n");
  ASSERT_TRUE(game_shows(session)) << session.screen().text();
  session.send("q");
  int status = 0;
  ASSERT_TRUE(session.wait_exit(status));
  EXPECT_TRUE(same_modes(player, session.modes()));
}

// A game in the background whose terminal hangs up ends as one in the
// foreground does, though no shell is left to send it SIGHUP.
TEST_F(ConsoleEndToEnd, UnderBashADisownedGameEndsWhenTheTerminalHangsUp) {
#ifndef __linux__
  GTEST_SKIP() << "waiting for the disowned game needs a child subreaper";
#else
  // Once bash is gone, the game is this process's child, reaped here.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  PtySession session(interactive_bash());
  ASSERT_TRUE(session.wait_for("shell>"));
  session.send(RUN_PROBE + "\n");
  ASSERT_TRUE(session.wait_for("ready"));
  const pid_t game = session.foreground_group();  // the job's leader
  for (const char* step : {"\x1a", "bg\n", "disown\n"}) {
    session.send(step);
    session.pump(300);
  }
  session.hang_up();
  bool ended = false;
  for (int waited = 0; waited < 5000 && !ended; waited += 10) {
    ended = waitpid(game, nullptr, WNOHANG) == game || (kill(game, 0) == -1 && errno == ESRCH);
    if (!ended) usleep(10000);
  }
  if (!ended) kill(game, SIGKILL);
  prctl(PR_SET_CHILD_SUBREAPER, 0);
  EXPECT_TRUE(ended) << "the game ran on after its terminal hung up";
#endif
}

// Replies that come late, after 300 ms as over a slow link, are read and
// dropped before the terminal is given back, whether the game ends or stops;
// a reply split after its ESC is never taken for keys, and an Esc typed
// before the replies is the Esc key.
TEST_F(ConsoleEndToEnd, LateRepliesNeverReachTheShellNorBecomeKeys) {
  const std::string replies = replies_of(TerminalAnswers::KEYBOARD_AND_SYNC);
  const struct {
    size_t split;     // bytes of the replies sent 80 ms before the rest
    const char* key;  // typed before the replies come: Ctrl+C, Ctrl+Z, Esc or none
  } rows[] = {{0, "\x03"}, {1, "\x03"}, {0, "\x1a"}, {1, "\x1a"}, {1, ""}, {0, "\x1b"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.split) + " " + std::to_string(row.key[0]));
    const bool stop = row.key[0] == '\x1a';
    PtySession session({PROBE, "job"}, 80, 25, "", TerminalAnswers::NOTHING);
    ASSERT_TRUE(eventually(
        session, [&] { return session.output().find(ATTRIBUTES_QUERY) != std::string::npos; }));
    session.pump(stop ? 50 : 100);
    session.send(row.key);
    session.pump(stop ? 250 : 200);
    session.send(replies.substr(0, row.split));
    session.pump(row.split > 0 ? 80 : 0);
    session.send(replies.substr(row.split));
    int status = 0;
    if (row.key[0] == '\x03') {
      ASSERT_TRUE(session.wait_exit(status));
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGINT) << status;
    } else {
      if (stop) {
        ASSERT_TRUE(session.wait_for("stopped"));
        session.send("fg\n");  // a reply left in the line makes it no command
      }
      ASSERT_TRUE(eventually(session, [&] { return session.screen().row(1) == "ready"; }))
          << session.screen().text();
      session.send("x");
      ASSERT_TRUE(session.wait_for("code=120")) << session.screen().text();
      EXPECT_EQ(session.screen().row(10), row.key[0] == '\x1b' ? "code=27" : "code=120")
          << "a key came before x, or the Esc was lost";
      // Read late, the replies turn the protocol on; dropped at a stop, they do not.
      EXPECT_EQ(session.output().find("\x1b[>1u") != std::string::npos, !stop);
      session.send("q");
      ASSERT_TRUE(session.wait_exit(status));
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_TRUE(same_modes(session.initial_modes(), session.modes()));
    expect_modes_balanced(session.output());
    EXPECT_EQ(session.shell_line(), "\n");
  }
}

// A terminal that stops taking output (a frozen emulator, a stalled link)
// blocks the program's writes; an ending signal, or the program's own exit,
// still ends it, giving up the bytes the terminal does not take.
TEST_F(ConsoleEndToEnd, TheGameEndsWhileTheTerminalTakesNoOutput) {
  for (int sig : {SIGTERM, 0}) {
    SCOPED_TRACE(sig);
    PtySession session({PROBE, "keys"}, 80, 25, "", TerminalAnswers::KEYBOARD_AND_SYNC);
    ASSERT_TRUE(session.wait_for("ready"));
    session.hold_output(true);
    if (sig == 0) {
      session.send("q");
    } else {
      // Once the key is read, drawing it blocks the program: what is typed
      // then stays unread, and the ending drops it.
      session.send("x");
      ASSERT_TRUE(eventually(session, [&] { return session.unread_input() == 0; }));
      session.send("typed ahead");
      session.signal(sig);
    }
    int status = 0;
    ASSERT_TRUE(session.wait_exit(status)) << "the program did not end";
    session.hold_output(false);
    EXPECT_EQ(status, sig) << "the raw wait status: exit 0, or killed by the signal";
    EXPECT_TRUE(same_modes(session.initial_modes(), session.modes()));
    EXPECT_EQ(session.shell_line(), "\n");
  }
}

// A signal the game brings on itself: the score file meets a file size limit
// of 0 when High Scores makes it.
TEST_F(ConsoleEndToEnd, FileSizeLimitEndsByItsSignalWithTheTerminalBack) {
  WorkDir dir("vormi-e2e-fsize", false);
  ASSERT_FALSE(dir.path().empty());
  PtySession session({"/bin/sh", "-c", "ulimit -f 0 && exec \"$0\"", GAME}, 80, 25,
                     dir.path().string(), TerminalAnswers::KEYBOARD_AND_SYNC);
  ASSERT_TRUE(session.wait_for("Press Any Key To Continue..."));
  session.send("x");
  ASSERT_TRUE(session.wait_for("Exit"));
  session.send("\x1b[B\r");
  int status = 0;
  ASSERT_TRUE(session.wait_exit(status));
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
  EXPECT_TRUE(same_modes(session.initial_modes(), session.modes()));
  expect_modes_balanced(session.output());
  EXPECT_EQ(session.shell_line(), "\n");
}

// The terminal goes away under a program that ignores SIGHUP (as under nohup):
// it must end rather than spin on a terminal that reports input it never gives.
TEST_F(ConsoleEndToEnd, HangUpWithSighupIgnoredEndsTheProgram) {
  int master = -1;
  int slave = -1;
  winsize size{};
  size.ws_col = 80;
  size.ws_row = 25;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &size), 0);
  pid_t pid = fork();
  if (pid == 0) {
    close(master);  // held here, it would keep the terminal from hanging up
    setsid();
    ioctl(slave, TIOCSCTTY, 0);
    dup2(slave, 0);
    dup2(slave, 1);
    dup2(slave, 2);
    close(slave);
    signal(SIGHUP, SIG_IGN);
    execl(PROBE.c_str(), PROBE.c_str(), "keys", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(slave);
  std::string output;
  char buffer[4096];
  while (output.find("ready") == std::string::npos) {
    pollfd watched{master, POLLIN, 0};
    ASSERT_GT(poll(&watched, 1, 5000), 0) << "the probe did not start";
    ssize_t got = read(master, buffer, sizeof buffer);
    ASSERT_GT(got, 0);
    output.append(buffer, static_cast<size_t>(got));
  }
  close(master);
  int status = 0;
  pid_t ended = 0;
  for (int waited = 0; waited < 5000 && ended == 0; waited += 10) {
    ended = waitpid(pid, &status, WNOHANG);
    if (ended == 0) usleep(10000);
  }
  if (ended == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "the program ran on after its terminal hung up";
  }
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGHUP);
}

// Runs a program with no controlling terminal: a new session, standard input
// from /dev/null, standard error into a pipe. Returns the wait status.
int run_without_terminal(const std::string& program, std::string* error_text) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(pipe_ends[1], 2);
    close(pipe_ends[0]);
    const std::vector<std::string> command = command_of(program);
    execl(program.c_str(), program.c_str(), command.size() > 1 ? command[1].c_str() : nullptr,
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_ends[1]);
  char buffer[512];
  ssize_t got;
  while ((got = read(pipe_ends[0], buffer, sizeof buffer)) > 0)
    error_text->append(buffer, static_cast<size_t>(got));
  close(pipe_ends[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

TEST_F(ConsoleEndToEnd, NoControllingTerminalExitsWithStatus2AndOneLine) {
  for (const std::string& program : {PROBE, GAME}) {
    SCOPED_TRACE(program);
    std::string error_text;
    int status = run_without_terminal(program, &error_text);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    ASSERT_FALSE(error_text.empty());
    EXPECT_EQ(error_text.back(), '\n');
    EXPECT_EQ(error_text.find('\n'), error_text.size() - 1) << error_text;
  }
}

struct Size {
  int columns;
  int rows;
};

void PrintTo(const Size& size, std::ostream* out) { *out << size.columns << "x" << size.rows; }

class TooSmallTerminal : public ConsoleEndToEnd, public ::testing::WithParamInterface<Size> {};

TEST_P(TooSmallTerminal, ExitsWithStatus2AndDrawsNothing) {
  for (const std::string& program : {PROBE, GAME}) {
    SCOPED_TRACE(program);
    PtySession session(command_of(program), GetParam().columns, GetParam().rows);
    int status = 0;
    ASSERT_TRUE(session.wait_exit(status));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    // Only the reason, on one line: no clear, no cursor move, no glyph.
    EXPECT_EQ(session.output().find('\x1b'), std::string::npos) << session.output();
    EXPECT_NE(session.screen().row(1), "");
    EXPECT_EQ(session.screen().row(2), "");
    EXPECT_EQ(session.screen().row(3), "");
    EXPECT_TRUE(same_modes(session.initial_modes(), session.modes()));
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, TooSmallTerminal, ::testing::Values(Size{79, 24}, Size{80, 23}));

TEST_F(ConsoleEndToEnd, EightyByTwentyFourIsEnough) {
  PtySession session({PROBE, "keys"}, 80, 24);
  EXPECT_TRUE(session.wait_for("ready")) << session.output();
}

}  // namespace
}  // namespace vormi::test
