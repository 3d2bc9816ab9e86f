#include "dispatch/dispatcher.h"

void RegisterMediaHandlers(Dispatcher& d)
{
}
