// Import patches are declared with the loaded library they patch.
#pragma once

#include "Library.h"
