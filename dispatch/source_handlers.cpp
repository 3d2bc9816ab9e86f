#include "dispatch/dispatcher.h"

void RegisterSourceHandlers(Dispatcher& d)
{
}
