// The filter that finds a domain's cross-reference by its DNS name.
#pragma once
#include "platform.h"

// "(&(objectcategory=crossRef)(dnsRoot=<name>)(netbiosName=*))" with the name in lower case
// (letters A to Z only) and escaped as a filter value, so that it can only match itself.
WideString crossRefFilter(const WideString& dnsDomainName);
