#include "console/keys/key_queue.h"

namespace vormi {

void queue_reset(KeyQueue& queue) {
  queue.first = 0;
  queue.count = 0;
}

int queue_room(const KeyQueue& queue) { return KEY_QUEUE_SIZE - queue.count; }

bool queue_push(KeyQueue& queue, const KeyEvent& event) {
  if (queue.count == KEY_QUEUE_SIZE) return false;
  queue.events[(queue.first + queue.count) % KEY_QUEUE_SIZE] = event;
  ++queue.count;
  return true;
}

const KeyEvent& queue_peek(const KeyQueue& queue, int index) {
  return queue.events[(queue.first + index) % KEY_QUEUE_SIZE];
}

KeyEvent queue_pop(KeyQueue& queue) {
  KeyEvent event = queue_peek(queue, 0);
  queue.first = (queue.first + 1) % KEY_QUEUE_SIZE;
  --queue.count;
  return event;
}

}  // namespace vormi
