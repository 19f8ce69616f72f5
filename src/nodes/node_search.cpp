// Searches by LDAP filter that walk every row: the distinguished names of matching objects,
// of matching deleted objects, and one attribute's text per match under the caller's limits.
#include "directory/root_dse.h"
#include "directory/row_walk.h"
#include "directory/search.h"

namespace {

// The well-known GUID of a domain's Deleted Objects container.
const WCHAR deletedObjectsGuid[] = WIDE("18e2ea80684f11d2b9aa00c04f79f805");

// How the directory interface reports a preference it refused (S_ADS_ERRORSOCCURRED as a failure).
const HRESULT preferenceRefused = asFailure(S_ADS_ERRORSOCCURRED);

}  // namespace

HRESULT AdsiContext::searchNodes(const WideString& baseDn, const WideString& filter, StringList* results) const {
  return searchBelowBase(*this, baseDn, [&](IDirectorySearch* search, bool* rowCame) {
    ADS_SEARCHPREF_INFO preferences[] = {integerPreference(ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_SUBTREE),
                                         integerPreference(ADS_SEARCHPREF_PAGESIZE, 100)};
    RETURN_IF_FAILED(setSearchPreferences(search, preferences, 2));
    return searchColumnTexts(search, filter, WIDE("distinguishedName"), results, rowCame);
  });
}

HRESULT AdsiContext::openDeletedObjects(IADsContainer** container) const {
  WideString namingContext;
  RETURN_IF_FAILED(readRootDseName(*this, WIDE("defaultNamingContext"), &namingContext));
  WideString name = WIDE("<WKGUID=");
  name += deletedObjectsGuid;
  name += WIDE(',');
  name += namingContext;
  name += WIDE('>');
  // A tombstone container is bound without reading it first: its class is known.
  return openObject(ldapPath(name), IID_IADsContainer, ADS_SECURE_AUTHENTICATION | ADS_FAST_BIND,
                    reinterpret_cast<void**>(container));
}

HRESULT AdsiContext::searchDeletedNodes(const WideString& filter, StringList* results) const {
  ComPtr<IADsContainer> container;
  RETURN_IF_FAILED(openDeletedObjects(container.put()));
  ComPtr<IDirectorySearch> search;
  RETURN_IF_FAILED(container.queryTo(IID_IDirectorySearch, &search));
  ADS_SEARCHPREF_INFO preferences[] = {integerPreference(ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_SUBTREE),
                                       integerPreference(ADS_SEARCHPREF_PAGESIZE, 100),
                                       booleanPreference(ADS_SEARCHPREF_TOMBSTONE, true)};
  RETURN_IF_FAILED(setSearchPreferences(search.get(), preferences, 3));
  RETURN_IF_FAILED(setSearchBounds(search.get(), 0));
  return searchColumnTexts(search.get(), filter, WIDE("distinguishedName"), results);
}

HRESULT AdsiContext::findNodeValues(const WideString& baseDn, const WideString& attributeName,
                                    const WideString& filter, LONG sizeLimit, LONG timeLimit,
                                    StringList* results) const {
  // The directory interface takes the limits unsigned: a negative one would be almost no limit.
  if (sizeLimit < 0 || timeLimit < 0) return preferenceRefused;
  return searchBelowBase(*this, baseDn, [&](IDirectorySearch* search, bool* rowCame) {
    ADS_SEARCHPREF_INFO preferences[] = {integerPreference(ADS_SEARCHPREF_SIZE_LIMIT, sizeLimit),
                                         integerPreference(ADS_SEARCHPREF_TIME_LIMIT, timeLimit)};
    RETURN_IF_FAILED(setSearchPreferences(search, preferences, 2));
    RETURN_IF_FAILED(setSearchBounds(search, timeLimit));
    return searchColumnTexts(search, filter, attributeName, results, rowCame, static_cast<ULONG>(sizeLimit));
  });
}
