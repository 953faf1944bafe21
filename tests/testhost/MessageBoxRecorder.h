// The message box recorder is declared with the loaded library whose imports it patches.
#pragma once

#include "Library.h"
