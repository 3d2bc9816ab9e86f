#include "dispatch/dispatcher.h"

void RegisterFileWatchHandlers(Dispatcher& d)
{
}
