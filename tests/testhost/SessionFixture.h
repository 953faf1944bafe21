// The session fixture is declared with the session.
#pragma once

#include "Session.h"
