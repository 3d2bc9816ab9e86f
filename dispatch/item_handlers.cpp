#include "dispatch/dispatcher.h"

void RegisterItemHandlers(Dispatcher& d)
{
}
