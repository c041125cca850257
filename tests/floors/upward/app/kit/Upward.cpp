// The kit may include its own floor and those below, not the main window above it nor the tests.
#include "app/kit/Questions.h"
#include "foundation/Log.h"
#include "app/MainFrame.h"
#include <tests/support/TempFolder.h>
