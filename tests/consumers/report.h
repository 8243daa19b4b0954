// What every consumer of the package does with it, as the detector would.
#pragma once

// Prints the package version, the errors of a record and the problems of a
// settings file; 0 when all went as expected.
int reportSettings();
