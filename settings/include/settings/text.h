// The old name of settings/message_text.h, kept for one release.
#pragma once

#include "settings/message_text.h"
