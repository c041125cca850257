// The program's entry point: the window toolkit runs the application object.

#include "app/aApp.h"

wxIMPLEMENT_APP(aApp);
