// The Windows console device's keys: the console's input records read in
// chunks, key records made key events (key_records.h), Ctrl+C ending the game
// as an interrupt does, buffer size records noted, every other record
// dropped. A record is a whole key press: nothing is ever half told.
#include "console/device/console_windows.h"
#include "console/device/device.h"
#include "console/keys/key_records.h"

namespace vormi {

namespace {

// Records read at once; each makes at most one event.
constexpr DWORD RECORD_CHUNK = 64;

KeyRecordReader reader;

// One record: its key event into queue (dropped when queue is null).
void take_record(const INPUT_RECORD& record, KeyQueue* queue) {
  if (record.EventType == WINDOW_BUFFER_SIZE_EVENT) {
    note_size_event();
    return;
  }
  if (record.EventType != KEY_EVENT) return;
  const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
  const KeyRecord fields = {key.bKeyDown != FALSE, key.wVirtualKeyCode, key.uChar.UnicodeChar,
                            static_cast<unsigned>(key.dwControlKeyState)};
  KeyEvent event;
  if (!key_record_event(reader, fields, event)) return;
  if (is_interrupt_key(event)) end_by_interrupt();
  if (queue != nullptr) queue_push(*queue, event);
}

// Reads what the console has, a chunk at a time, while more_fits says the
// queue has room; returns how many records went, and whether none is left.
int read_records(KeyQueue* queue, bool& drained) {
  drained = false;
  const HANDLE input = windows_console.input;
  int total = 0;
  while (queue == nullptr || device_keys_fit(*queue)) {
    DWORD waiting = 0;
    if (input == INVALID_HANDLE_VALUE || !GetNumberOfConsoleInputEvents(input, &waiting) ||
        waiting == 0) {
      drained = true;
      break;
    }
    INPUT_RECORD records[RECORD_CHUNK];
    DWORD got = 0;
    // No more than are waiting, so the read never blocks.
    const DWORD wanted = waiting < RECORD_CHUNK ? waiting : RECORD_CHUNK;
    if (!ReadConsoleInputW(input, records, wanted, &got) || got == 0) {
      drained = true;
      break;
    }
    for (DWORD i = 0; i < got; ++i) take_record(records[i], queue);
    total += static_cast<int>(got);
  }
  return total;
}

}  // namespace

int device_pump_keys(KeyQueue& queue, bool& drained) { return read_records(&queue, drained); }

bool device_keys_fit(const KeyQueue& queue) {
  return queue_room(queue) >= static_cast<int>(RECORD_CHUNK);
}

int device_drop_keys() {
  bool drained = false;
  return read_records(nullptr, drained);
}

void device_settle_keys(KeyQueue*) {}

int device_keys_settle_in() { return -1; }

bool device_key_unresolved() { return false; }

}  // namespace vormi
