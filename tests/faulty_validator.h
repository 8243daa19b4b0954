// Validators that are wrong in one way each, for testing how the self-check
// program reports a failed check. Each test program links the real program with
// one of them in place of the real validator.
#pragma once

enum class Fault {
    rejectsEverything,
    acceptsEverything,
    noSensitivityRule,
    sensitivityUnderOtherKey,
    noCooldownRule,
    cooldownUnderOtherKey,
    fftSizeRangeOnly,
    fftSizeUnderOtherKey,
    bufferSizeFromZero,
    bufferSizeUnderOtherKey,
};

// The fault of this test program; a one-line generated source defines it.
extern const Fault injectedFault;
