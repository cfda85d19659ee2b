// The queues granted by the latest accepted login: names for the combo box
// and the SIP user each name dials.
#include "service.h"

namespace {

// Index of the first queue named exactly selectedQueue (case, spaces and
// accents count), or -1. The login cuts names to fit QUEUE_NAME_CAP,
// so no name needs a length check here.
int matchSelectedQueue() {
  for (size_t i = 0; i < app.queueNames.size(); ++i)
    if (app.queueNames[i] == app.selectedQueue)
      return static_cast<int>(i);
  return -1;
}

} // namespace

TextList copyQueueNames() { return app.queueNames; }

TextList copyQueueUsers() { return app.queueUsers; }

int findQueueIndex() {
  int index = matchSelectedQueue();
  return index < 0 ? 0 : index;
}

const char *lookupQueueUser() {
  int index = matchSelectedQueue();
  if (index < 0 || static_cast<size_t>(index) >= app.queueUsers.size())
    return "erro";
  return app.queueUsers[index].c_str();
}
