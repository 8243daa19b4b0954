// The reference for the table-driven validators: the nine rules written out by
// hand as a chain of comparisons. It lives in a file of its own so that the
// benchmark calls it as it calls validate, rather than folding it into its loop
// with the record's values known.
#pragma once

#include <optional>

#include "settings/config.h"
#include "settings/validation.h"

std::optional<settings::ValidationError> handWrittenChain(const settings::Config& c);
