#include "platform/Platform.h"

namespace torvinel::platform {

// Inserting a disc starts nothing the program would have to hold off here.
unsigned registerQueryCancelAutoPlay() { return 0; }

} // namespace torvinel::platform
