// A source in a subfolder belongs to its folder's floor.
#include "audio/Player.h"
  #  include "layouts/MainFrame.h"
