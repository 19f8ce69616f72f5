// The text of a search column, the row walk that reads the first entry of a search, and the
// search below a base that is not read first; the context's openSearch and searchFirstEntry are
// built on them.
#pragma once
#include <functional>

#include "directory/adsi_context.h"
#include "directory/string_list.h"

// The first value of a column: strings as they are, octet strings as hexadecimal, integers and
// large integers as decimal, booleans as TRUE or FALSE, any other type as empty text.
WideString searchColumnText(const ADS_SEARCH_COLUMN& column);

// What a first-entry search is for: the first of any matches (a caller's query), or the one
// object a name picks out, which the call goes on to translate and bind. A look-up asks for one
// row, so the directory stops there, and the directory interface may keep what it read of that
// object for the rest of the call.
enum class FirstEntry { anyMatch, lookup };

// The row walk of searchFirstEntry on an already bound search interface. rowCame, when given, is
// set once the search delivers its row.
HRESULT readFirstEntry(IDirectorySearch* search, const WideString& filter, const StringList& attributeNames,
                       StringList* values, FirstEntry kind = FirstEntry::anyMatch, bool* rowCame = nullptr);

// One search below a base named by a distinguished name, run by run on the base's search
// interface, which it sets up (preferences), executes and walks; rowCame is set once a row comes.
using BaseSearch = std::function<HRESULT(IDirectorySearch* search, bool* rowCame)>;

// Runs a search below a base in one request where a bind and a search take two: the base is
// bound without a read of it (a fast bind), so that the search itself finds a base that is not
// there, before its first row, where an ordinary bind would have. The name is then completed with
// the domain's naming context and searched once more, just as openSearch completes a name whose
// bind failed; so is it when the bind fails. The status is that of the last step tried.
HRESULT searchBelowBase(const AdsiContext& context, const WideString& dn, const BaseSearch& run);

// searchFirstEntry, for the kind of search given.
HRESULT searchFirstEntry(const AdsiContext& context, const WideString& base, const WideString& filter,
                         const StringList& attributeNames, FirstEntry kind, StringList* values);
