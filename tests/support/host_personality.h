// The host personalities live in tools/host_personality; tests include
// them through this name.
#pragma once

#include "tools/host_personality/host_personality.h"
