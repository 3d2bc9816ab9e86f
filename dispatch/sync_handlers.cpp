#include "dispatch/dispatcher.h"

void RegisterSyncHandlers(Dispatcher& d)
{
}
