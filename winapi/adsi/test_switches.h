// The connection layer's counters and the switches tests may turn (test_hooks.h is their public
// face). Production code only counts here and reads the switches' defaults.
#pragma once
#include <string>
#include <vector>

#include "adsi/transport.h"

namespace winapi::adsi {

void noteConnectionOpened();
void countRequestSent();
// Wait limits tests set in place of the configured ones (0: none set).
WaitLimits waitLimitOverrides();
// The values a test put in place of this attribute of this entry, when it did (test_hooks.h).
bool replacedValuesForTesting(LDAP* ld, LDAPMessage* entry, const char* attribute, std::vector<std::string>* values);
bool logonFailsWithoutErrorForTesting();

}  // namespace winapi::adsi
