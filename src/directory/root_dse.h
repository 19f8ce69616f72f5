// Names the directory's root object publishes (defaultNamingContext, configurationNamingContext).
#pragma once
#include "directory/adsi_context.h"

// The root object's attribute as text; a value that holds no string gives empty text.
HRESULT readRootDseName(const AdsiContext& context, const WCHAR* attribute, WideString* name);
