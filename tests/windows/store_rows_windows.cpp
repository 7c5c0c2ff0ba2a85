// Rows of the score store's table (src/scores/score_file.h) on Windows' own
// calls, each in a fresh folder, the saves made as games make them
// (save_high_score) by this program started again as a saver: many games
// saving at once (K1), a game killed after writing its new table (K1: the
// lock goes with the process), a reader holding the table open (K7), a table
// marked read-only. The table must end as the row says, byte for byte with
// its CR LF line ends, and each saver must say what became of its entry.
//
//   store_rows                               every row; status 0 when all hold
//   store_rows save SCORE NAME [EVENT]       one save; status: its StoreFailure.
//                                            With EVENT: stops for good once
//                                            the new table is written, and
//                                            sets the named event
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "scores/high_scores.h"

namespace {

using vormi::StoreFailure;

constexpr DWORD WAIT_MS = 15000;
const char* const TABLE = "highscores.txt";
const char* const ONE_ENTRY =
    "1\t50\t\t\tAnn\n2\t0\t\t\tEMPTY\n3\t0\t\t\tEMPTY\n4\t0\t\t\tEMPTY\n5\t0\t\t\tEMPTY\n";

int failures = 0;

void check(bool holds, const std::string& row, const std::string& what) {
  if (holds) return;
  ++failures;
  std::fprintf(stderr, "FAIL: %s: %s\n", row.c_str(), what.c_str());
}

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

std::string read_table() {
  std::ifstream in(TABLE, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The k-th saver's name: G41, G42, ... (Strings here are built by append:
// GCC 12 warns falsely of an overlap in "G" + string.)
std::string saver_name(int k) { return std::string(1, 'G').append(std::to_string(41 + k)); }

// A saver: this program, started suspended in the current folder.
PROCESS_INFORMATION start_saver(int score, const std::string& name, const std::string& event) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string command = "\"";
  command.append(self).append("\" save ").append(std::to_string(score)).append(" ").append(name);
  if (!event.empty()) command.append(" ").append(event);
  STARTUPINFOA info{};
  info.cb = sizeof info;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      nullptr, &info, &process))
    process.hProcess = nullptr;
  return process;
}

DWORD end_of(PROCESS_INFORMATION& process) {
  DWORD status = 999;
  if (process.hProcess == nullptr) return status;
  if (WaitForSingleObject(process.hProcess, WAIT_MS) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return status;
}

// A saver that reaches STORE_WRITTEN, ended there as by the Task Manager.
bool kill_saver_when_written(const std::string& row) {
  const std::string event = "vormi-store-rows-" + std::to_string(GetCurrentProcessId());
  HANDLE written = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
  PROCESS_INFORMATION saver = start_saver(99, "Dead", event);
  bool reached = saver.hProcess != nullptr && ResumeThread(saver.hThread) != DWORD(-1) &&
                 WaitForSingleObject(written, WAIT_MS) == WAIT_OBJECT_0;
  check(reached, row, "the saver to be killed never wrote its table");
  if (saver.hProcess != nullptr) TerminateProcess(saver.hProcess, 9);
  end_of(saver);
  CloseHandle(written);
  return reached;
}

struct Row {
  const char* what;
  int savers;         // started together, scoring 41, 42, ... as G41, G42, ...
  bool killed_first;  // a saver killed at STORE_WRITTEN before them
  bool reader;        // the table open for reading, sharing all, through the saves
  bool read_only;     // the table marked read-only
  StoreFailure why;   // told by a saver whose entry is in the table after
  const char* after;  // the table after, with LF for its CR LF
};

const Row ROWS[] = {
    {"K1: eight games save at once", 8, false, false, false, vormi::STORE_SAVED,
     "1\t50\t\t\tAnn\n2\t48\t\t\tG48\n3\t47\t\t\tG47\n4\t46\t\t\tG46\n5\t45\t\t\tG45\n"},
    {"K1: a game killed once its new table is written; the next saves", 1, true, false, false,
     vormi::STORE_SAVED,
     "1\t50\t\t\tAnn\n2\t41\t\t\tG41\n3\t0\t\t\tEMPTY\n4\t0\t\t\tEMPTY\n5\t0\t\t\tEMPTY\n"},
    {"K7: a reader holds the table open, sharing all", 1, false, true, false, vormi::STORE_SAVED,
     "1\t50\t\t\tAnn\n2\t41\t\t\tG41\n3\t0\t\t\tEMPTY\n4\t0\t\t\tEMPTY\n5\t0\t\t\tEMPTY\n"},
    {"a table marked read-only: refused before anything is written", 1, false, false, true,
     vormi::STORE_READ_ONLY, ONE_ENTRY},
};

void run(const Row& row) {
  std::ofstream(TABLE, std::ios::binary) << crlf(ONE_ENTRY);
  if (row.read_only) SetFileAttributesA(TABLE, FILE_ATTRIBUTE_READONLY);
  HANDLE reader = row.reader ? CreateFileA(TABLE, GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr)
                             : INVALID_HANDLE_VALUE;
  check(!row.reader || reader != INVALID_HANDLE_VALUE, row.what, "the reader could not open it");
  if (row.killed_first && kill_saver_when_written(row.what))
    check(read_table() == crlf(ONE_ENTRY), row.what, "the killed save changed the table");
  std::vector<PROCESS_INFORMATION> savers;
  for (int k = 0; k < row.savers; ++k) savers.push_back(start_saver(41 + k, saver_name(k), ""));
  for (PROCESS_INFORMATION& saver : savers)
    if (saver.hProcess != nullptr) ResumeThread(saver.hThread);
  for (int k = 0; k < row.savers; ++k) {
    const DWORD why = end_of(savers[k]);
    const std::string name = saver_name(k);
    // An entry that is not in the table was not placed, or was placed and
    // then pushed out by higher scores: never busy, never lost.
    const bool placed = std::string(row.after).find("\t" + name + "\n") != std::string::npos;
    const bool told_true = placed || row.why != vormi::STORE_SAVED
                               ? why == DWORD(row.why)
                               : why == vormi::STORE_SAVED || why == vormi::STORE_NOT_PLACED;
    check(told_true, row.what, name + " ended with status " + std::to_string(why));
  }
  check(read_table() == crlf(row.after), row.what, "the table is:\n" + read_table());
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
  SetFileAttributesA(TABLE, FILE_ATTRIBUTE_NORMAL);
}

int save(int score, const char* name, const char* event) {
  static HANDLE written = nullptr;
  if (event != nullptr) {
    written = OpenEventA(EVENT_MODIFY_STATE, FALSE, event);
    vormi::store_step_hook = [](vormi::StoreStep step) {
      if (step != vormi::STORE_WRITTEN) return;
      SetEvent(written);
      Sleep(INFINITE);
    };
  }
  StoreFailure why = vormi::STORE_SAVED;
  vormi::save_high_score(score, name, why);
  return why;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "save")
    return save(std::atoi(argv[2]), argv[3], argc > 4 ? argv[4] : nullptr);
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  for (const Row& row : ROWS) {
    // Wine reuses process ids: the time as well names a folder no earlier run left.
    const std::string dir = temp + std::string("vormi-store-rows-") +
                            std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(GetTickCount64());
    if (!CreateDirectoryA(dir.c_str(), nullptr) || !SetCurrentDirectoryA(dir.c_str()))
      return std::fprintf(stderr, "no folder %s\n", dir.c_str()), 2;
    const int before = failures;
    run(row);
    for (const char* name : {"highscores.txt", "highscores.txt.lock", "highscores.txt.new"})
      DeleteFileA(name);
    SetCurrentDirectoryA(temp);
    check(RemoveDirectoryA(dir.c_str()) != 0, row.what,
          "the folder holds more than the store's files");
    std::printf("%s: %s\n", failures == before ? "held" : "FAILED", row.what);
  }
  return failures == 0 ? 0 : 1;
}
