// Rows of the score store's table (src/scores/score_file.h) on Windows' own
// calls, each in a fresh folder, saved as games save (save_high_score) by this
// program started again as each saver: "store_rows save SCORE NAME [die]"
// exits with its StoreFailure, or with 9 when it ends itself by
// TerminateProcess once its new table is written (die). The table must end as
// the row says, byte for byte with its CR LF line ends, and each saver must
// tell the truth about its entry.
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

const char* const ONE_ENTRY =
    "1\t50\t\t\tAnn\n2\t0\t\t\tEMPTY\n3\t0\t\t\tEMPTY\n4\t0\t\t\tEMPTY\n5\t0\t\t\tEMPTY\n";
const char* const G41_SAVED =
    "1\t50\t\t\tAnn\n2\t41\t\t\tG41\n3\t0\t\t\tEMPTY\n4\t0\t\t\tEMPTY\n5\t0\t\t\tEMPTY\n";
int failures = 0;

void check(bool holds, const char* row, const std::string& what) {
  if (!holds) failures += std::fprintf(stderr, "FAIL: %s: %s\n", row, what.c_str()) > 0;
}

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) (c == '\n' ? out.append("\r\n") : out.append(1, c));
  return out;
}

std::string read_table() {
  std::stringstream text;
  text << std::ifstream("highscores.txt", std::ios::binary).rdbuf();
  return text.str();
}

// Savers started together in the current folder; their exit statuses.
std::vector<DWORD> save_together(const std::vector<std::string>& arguments) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::vector<PROCESS_INFORMATION> savers(arguments.size());
  for (size_t k = 0; k < savers.size(); ++k) {
    std::string command = std::string("\"").append(self).append("\" save ").append(arguments[k]);
    STARTUPINFOA info{};
    info.cb = sizeof info;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        nullptr, &info, &savers[k]))
      savers[k].hProcess = nullptr;
  }
  std::vector<DWORD> statuses(savers.size(), 999);
  for (PROCESS_INFORMATION& saver : savers)
    if (saver.hProcess != nullptr) ResumeThread(saver.hThread);
  for (size_t k = 0; k < savers.size(); ++k) {
    if (savers[k].hProcess == nullptr) continue;
    if (WaitForSingleObject(savers[k].hProcess, 15000) == WAIT_OBJECT_0)
      GetExitCodeProcess(savers[k].hProcess, &statuses[k]);
    CloseHandle(savers[k].hProcess);
    CloseHandle(savers[k].hThread);
  }
  return statuses;
}

struct Row {
  const char* what;
  int savers;          // scoring 41, 42, ... as G41, G42, ...
  bool killed_first;   // a saver killed at STORE_WRITTEN before them
  DWORD reader_share;  // the table held open for reading through the saves, sharing this
  bool read_only;      // the table marked read-only
  StoreFailure why;    // told by each saver whose entry is in the table after
  const char* after;   // the table after, with LF for its CR LF
};

const Row ROWS[] = {
    {"K1: eight games save at once", 8, false, 0, false, vormi::STORE_SAVED,
     "1\t50\t\t\tAnn\n2\t48\t\t\tG48\n3\t47\t\t\tG47\n4\t46\t\t\tG46\n5\t45\t\t\tG45\n"},
    {"K1: a game killed once its new table is written, then a save", 1, true, 0, false,
     vormi::STORE_SAVED, G41_SAVED},
    {"K7: a reader holds the table open", 1, false,
     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false, vormi::STORE_SAVED, G41_SAVED},
    {"a table marked read-only", 1, false, 0, true, vormi::STORE_READ_ONLY, ONE_ENTRY},
};

void run(const Row& row) {
  std::ofstream("highscores.txt", std::ios::binary) << crlf(ONE_ENTRY);
  if (row.read_only) SetFileAttributesA("highscores.txt", FILE_ATTRIBUTE_READONLY);
  HANDLE reader = row.reader_share == 0
                      ? INVALID_HANDLE_VALUE
                      : CreateFileA("highscores.txt", GENERIC_READ, row.reader_share, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  check(row.reader_share == 0 || reader != INVALID_HANDLE_VALUE, row.what, "no reader");
  if (row.killed_first) {
    check(save_together({"99 Dead die"})[0] == 9, row.what, "the saver was not killed");
    check(read_table() == crlf(ONE_ENTRY), row.what, "the killed save changed the table");
  }
  std::vector<std::string> arguments;
  for (int score = 41; score < 41 + row.savers; ++score)
    arguments.push_back(std::to_string(score).append(" G").append(std::to_string(score)));
  const std::vector<DWORD> statuses = save_together(arguments);
  for (int k = 0; k < row.savers; ++k) {
    // An entry not in the table was not placed, or was pushed out by higher
    // scores after it was saved: never busy, never lost.
    const bool in_table =
        std::string(row.after).find(std::string(" G").append(std::to_string(41 + k))) !=
        std::string::npos;
    const bool told_true =
        in_table || row.why != vormi::STORE_SAVED
            ? statuses[k] == DWORD(row.why)
            : statuses[k] == vormi::STORE_SAVED || statuses[k] == vormi::STORE_NOT_PLACED;
    check(told_true, row.what, arguments[k] + ": status " + std::to_string(statuses[k]));
  }
  check(read_table() == crlf(row.after), row.what, "the table is:\n" + read_table());
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
  SetFileAttributesA("highscores.txt", FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "save") {
    if (argc > 4)
      vormi::store_step_hook = [](vormi::StoreStep step) {
        if (step == vormi::STORE_WRITTEN) TerminateProcess(GetCurrentProcess(), 9);
      };
    StoreFailure why = vormi::STORE_SAVED;
    vormi::save_high_score(std::atoi(argv[2]), argv[3], why);
    return why;
  }
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  for (const Row& row : ROWS) {
    // Wine reuses process ids: the time as well names a folder no earlier run left.
    const std::string dir = std::string(temp)
                                .append("vormi-store-rows-")
                                .append(std::to_string(GetCurrentProcessId()))
                                .append("-")
                                .append(std::to_string(GetTickCount64()));
    if (!CreateDirectoryA(dir.c_str(), nullptr) || !SetCurrentDirectoryA(dir.c_str()))
      return std::fprintf(stderr, "no folder %s\n", dir.c_str()), 2;
    const int before = failures;
    run(row);
    for (const char* name : {"highscores.txt", "highscores.txt.lock", "highscores.txt.new"})
      DeleteFileA(name);
    SetCurrentDirectoryA(temp);
    check(RemoveDirectoryA(dir.c_str()) != 0, row.what, "the save left other files behind");
    std::printf("%s: %s\n", failures == before ? "held" : "FAILED", row.what);
  }
  return failures == 0 ? 0 : 1;
}
