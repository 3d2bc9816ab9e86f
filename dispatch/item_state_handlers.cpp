#include "dispatch/dispatcher.h"

void RegisterItemStateHandlers(Dispatcher& d)
{
}
