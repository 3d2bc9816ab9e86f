#include "dispatch/dispatcher.h"

void RegisterFileTransferHandlers(Dispatcher& d)
{
}
