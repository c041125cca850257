// The main window's floor stands above all the others.
#include "app/kit/Questions.h"
#include "propertypanel/PropertyDevicePanel.h"
#include "panels/Drives.h"
#include <vector>
