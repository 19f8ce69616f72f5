// Which DNS domains the bound server's forest holds, read once per server from the partitions
// container: the cross-references of the forest's own naming contexts (systemFlags bit 1), not
// those an administrator may add for directories outside it. A name that ends in domain
// components is bound only when they name one of these: a server asked for a name outside its
// forest answers with a referral to the host its components spell, and the directory interface
// would follow it with the bind account's credentials.
#include <map>
#include <mutex>
#include <vector>

#include "directory/adsi_context.h"
#include "directory/dn_text.h"
#include "directory/root_dse.h"
#include "directory/row_walk.h"

namespace {

const WCHAR forestCrossRefs[] = WIDE("(&(objectClass=crossRef)(systemFlags:1.2.840.113556.1.4.803:=1))");

// Known forests by the settings' server text; entries are only ever added.
class ForestDomainsByServer {
 public:
  // Whether the server's forest is known, and then whether it holds the domain.
  bool known(const WideString& server, const WideString& domain, bool* holds) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto entry = domains_.find(server);
    if (entry == domains_.end()) return false;
    *holds = false;
    for (const WideString& name : entry->second) *holds = *holds || name == domain;
    return true;
  }
  void add(const WideString& server, const std::vector<WideString>& domains) {
    std::lock_guard<std::mutex> lock(mutex_);
    domains_.emplace(server, domains);
  }

 private:
  mutable std::mutex mutex_;
  std::map<WideString, std::vector<WideString>> domains_;
};

ForestDomainsByServer& knownForests() {
  static ForestDomainsByServer forests;
  return forests;
}

HRESULT readForestDomains(const AdsiContext& context, std::vector<WideString>* domains) {
  WideString configuration;
  RETURN_IF_FAILED(readRootDseName(context, WIDE("configurationNamingContext"), &configuration));
  ComPtr<IDirectorySearch> search;
  RETURN_IF_FAILED(context.openObject(context.ldapPath(WIDE("CN=Partitions,") + configuration), IID_IDirectorySearch,
                                      ADS_SECURE_AUTHENTICATION, search.putVoid()));
  ADS_SEARCHPREF_INFO scope[] = {integerPreference(ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_ONELEVEL)};
  RETURN_IF_FAILED(setSearchPreferences(search.get(), scope, 1));
  RETURN_IF_FAILED(setSearchBounds(search.get(), 0));
  StringList namingContexts;
  RETURN_IF_FAILED(searchColumnTexts(search.get(), forestCrossRefs, WIDE("nCName"), &namingContexts));
  for (const WideString& namingContext : namingContexts) {
    WideString domain;
    if (trailingDnsDomainOfDn(namingContext, &domain) && !domain.empty()) domains->push_back(domain);
  }
  // A forest always holds its own domain: an answer without one was not the whole answer.
  return domains->empty() ? DS_NO_SUCH_OBJECT : S_OK;
}

}  // namespace

HRESULT AdsiContext::checkInForest(const WideString& dn) const {
  WideString domain;
  // A name without domain components is one the server places in its own naming contexts.
  if (!trailingDnsDomainOfDn(dn, &domain)) return S_OK;
  bool holds = false;
  if (!knownForests().known(serverName_, domain, &holds)) {
    std::vector<WideString> domains;
    RETURN_IF_FAILED(readForestDomains(*this, &domains));
    knownForests().add(serverName_, domains);
    (void)knownForests().known(serverName_, domain, &holds);
  }
  return holds ? S_OK : DS_NO_SUCH_OBJECT;
}
