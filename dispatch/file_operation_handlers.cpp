#include "dispatch/dispatcher.h"

void RegisterFileOperationHandlers(Dispatcher& d)
{
}
