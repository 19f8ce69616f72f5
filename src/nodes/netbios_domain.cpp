// The NetBIOS name of a domain, read from the domain's cross-reference object in the forest's
// configuration partition.
#include "nodes/netbios_domain.h"

#include "directory/dn_text.h"
#include "directory/ldap_filter.h"
#include "directory/root_dse.h"
#include "directory/row_walk.h"

namespace {

// The longest DNS name there can be.
constexpr size_t longestDnsName = 255;

}  // namespace

WideString crossRefFilter(const WideString& dnsDomainName) {
  WideString filter = WIDE("(&(objectcategory=crossRef)(dnsRoot=");
  filter += escapeFilterValue(lowerCaseAscii(dnsDomainName));
  filter += WIDE(")(netbiosName=*))");
  return filter;
}

HRESULT AdsiContext::getNetbiosDomain(const WideString& dnsDomainName, WideString* netbiosName) const {
  if (dnsDomainName.size() > longestDnsName) return E_INVALIDARG;
  WideString configuration;
  RETURN_IF_FAILED(readRootDseName(*this, WIDE("configurationNamingContext"), &configuration));
  WideString base = WIDE("CN=Partitions,") + configuration;

  ComPtr<IDirectorySearch> search;
  RETURN_IF_FAILED(openSearch(base, search.put()));
  WideString filter = crossRefFilter(dnsDomainName);
  WideString columnName = WIDE("nETBIOSName");
  LPWSTR names[] = {&columnName[0]};
  SearchHandle handle(search.get());
  RETURN_IF_FAILED(search->ExecuteSearch(&filter[0], names, 1, handle.put()));
  // Only the first cross-reference counts; anything but a row (S_ADS_NOMORE_ROWS when none
  // matches) is the answer as it is.
  HRESULT status = search->GetNextRow(handle.get());
  if (status != S_OK) return status;
  FetchedColumn column(search.get());
  RETURN_IF_FAILED(column.fetch(handle.get(), columnName));
  WideString name;
  if (!firstStringValue(column.get(), &name)) return VALUE_TYPE_MISMATCH;
  status = column.free();
  if (SUCCEEDED(status)) *netbiosName = name;
  return status;
}
