// A first-in, first-out ring of decoded key events, of fixed size. It never
// drops what it holds: a push to a full queue is refused, so a reader keeps
// bytes in the terminal while the queue has no room for what they may make.
#pragma once

#include "console/keys/key_press.h"

namespace vormi {

constexpr int KEY_QUEUE_SIZE = 256;

struct KeyQueue {
  KeyEvent events[KEY_QUEUE_SIZE];
  int first;
  int count;
};

void queue_reset(KeyQueue& queue);
// Room left for events.
int queue_room(const KeyQueue& queue);
// Adds an event after the others; false, and nothing added, when it is full.
bool queue_push(KeyQueue& queue, const KeyEvent& event);
// The event index places from the front (0 is the oldest); index < count.
const KeyEvent& queue_peek(const KeyQueue& queue, int index);
// Takes the oldest event; the queue must not be empty.
KeyEvent queue_pop(KeyQueue& queue);

}  // namespace vormi
