// Which DNS domains the bound server's forest holds, read from the partitions container (once per
// server, and again when a name names a domain the list lacks): the cross-references of the
// forest's own naming contexts (systemFlags bit 1), not those an administrator may add for
// directories outside it. A name that ends in domain
// components is bound only when they name one of these: a server asked for a name outside its
// forest answers with a referral to the host its components spell, and the directory interface
// would follow it with the bind account's credentials. Both builds need the check: on Windows ADSI
// itself chases such referrals, with the process's or the bind account's credentials.
#include <chrono>
#include <map>
#include <mutex>
#include <vector>

#include "directory/adsi_context.h"
#include "directory/dn_text.h"
#include "directory/root_dse.h"
#include "directory/row_walk.h"

namespace {

const WCHAR forestCrossRefs[] = WIDE("(&(objectClass=crossRef)(systemFlags:1.2.840.113556.1.4.803:=1))");

// A domain added to the forest later is learned when a name first names it: the forest's list is
// read again then, at most once a minute per forest, so names outside the forest cannot make every
// call read the partitions.
constexpr auto forestRereadInterval = std::chrono::seconds(60);

// Known forests by the settings' server text.
class ForestDomainsByServer {
 public:
  enum class Answer { Holds, Outside, Unknown };
  // Whether the server's forest holds the domain, as far as its list is known and fresh enough:
  // Unknown when the list was never read, or lacks the domain and may be read again. That caller
  // reads it again; the others meanwhile, and everyone after a read that failed, keep the list
  // as it is for another interval.
  Answer lookUp(const WideString& server, const WideString& domain) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto entry = forests_.find(server);
    if (entry == forests_.end()) return Answer::Unknown;
    for (const WideString& name : entry->second.domains)
      if (name == domain) return Answer::Holds;
    Clock::time_point now = Clock::now();
    if (now - entry->second.readAt < forestRereadInterval) return Answer::Outside;
    entry->second.readAt = now;
    return Answer::Unknown;
  }
  void put(const WideString& server, std::vector<WideString> domains) {
    std::lock_guard<std::mutex> lock(mutex_);
    forests_[server] = Forest{std::move(domains), Clock::now()};
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Forest {
    std::vector<WideString> domains;
    Clock::time_point readAt;
  };
  mutable std::mutex mutex_;
  std::map<WideString, Forest> forests_;
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
  ForestDomainsByServer::Answer answer = knownForests().lookUp(serverName_, domain);
  if (answer == ForestDomainsByServer::Answer::Unknown) {
    std::vector<WideString> domains;
    RETURN_IF_FAILED(readForestDomains(*this, &domains));
    knownForests().put(serverName_, std::move(domains));
    answer = knownForests().lookUp(serverName_, domain);
  }
  return answer == ForestDomainsByServer::Answer::Holds ? S_OK : DS_NO_SUCH_OBJECT;
}
