#include "dispatch/dispatcher.h"

void RegisterBookmarkHandlers(Dispatcher& d)
{
}
