// The routing tests' name for support/another_user.h.
#pragma once
#include "support/another_user.h"
