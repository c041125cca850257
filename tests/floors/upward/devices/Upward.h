#pragma once
// A device header that reaches two floors up, to a panel.
#include "devicelink/DeviceBase.h"
#include "panels/Drives.h"
