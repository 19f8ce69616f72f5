// The connection layer's counters and the switches tests may turn (test_hooks.h is their public
// face). Production code only counts here and reads the switches' defaults.
#pragma once
#include "adsi/transport.h"

namespace winapi::adsi {

void noteConnectionOpened();
void countRequestSent();
// Wait limits tests set in place of the configured ones (0: none set).
WaitLimits waitLimitOverrides();

}  // namespace winapi::adsi
