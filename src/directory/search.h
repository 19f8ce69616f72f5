// The text of a search column, and the row walk that reads the first entry of a search; the
// context's openSearch and searchFirstEntry are built on them.
#pragma once
#include "directory/adsi_context.h"
#include "directory/string_list.h"

// The first value of a column: strings as they are, octet strings as hexadecimal, integers and
// large integers as decimal, booleans as TRUE or FALSE, any other type as empty text.
WideString searchColumnText(const ADS_SEARCH_COLUMN& column);

// The row walk of searchFirstEntry on an already bound search interface.
HRESULT readFirstEntry(IDirectorySearch* search, const WideString& filter, const StringList& attributeNames,
                       StringList* values);
