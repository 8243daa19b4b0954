// Settings files, read and written: every header of both, and the escapes
// they use. Include the one a program needs: settings/read.h,
// settings/write.h, settings/escaping.h.
#pragma once

#include "settings/escaping.h"
#include "settings/read.h"
#include "settings/write.h"
