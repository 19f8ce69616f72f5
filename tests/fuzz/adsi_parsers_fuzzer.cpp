// libFuzzer target over the LDAP provider's parsers of directory bytes: ADsPaths, DNs,
// range-attribute names, value text of every syntax (to VARIANT and to ADSVALUE and back),
// subschema descriptions, server diagnostics, a DC's netlogon ping answer and a KDC error's e-data.
// Checks invariants besides not crashing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "adshlp.h"
#include "adsi/errors.h"
#include "adsi/kdc_refusal.h"
#include "adsi/netlogon_ping.h"
#include "adsi/path.h"
#include "adsi/schema.h"
#include "adsi/text.h"
#include "adsi/values.h"
#include "directory/dn_text.h"
#include "groups/primary_group.h"
#include "netapi/kpasswd_status.h"
#include "nodes/node_paths.h"

namespace adsi = winapi::adsi;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void pathInvariants(const std::string& text) {
  adsi::AdsPath parsed;
  if (adsi::parseAdsPath(text, &parsed) != S_OK) return;
  if (parsed.kind != adsi::PathKind::Object || parsed.dn.front() == '<') return;
  // A parsed name built back into a path parses to the same name.
  adsi::AdsPath again;
  check(adsi::parseAdsPath(adsi::buildAdsPath(parsed.hostPart, parsed.dn), &again) == S_OK);
  check(again.dn == parsed.dn && again.host == parsed.host && again.port == parsed.port);
  // The library's parent name of such a path: the host cut, the name whole, its escapes kept.
  std::u16string path = adsi::toUtf16(adsi::buildAdsPath(parsed.hostPart, parsed.dn));
  check(distinguishedNameOfPath(path) == adsi::toUtf16(adsi::buildAdsPath("", parsed.dn).substr(7)));
  std::string rdn, parent, type, value;
  check(adsi::splitFirstRdn(parsed.dn, &rdn, &parent));
  adsi::splitRdn(rdn, &type, &value);
  // An escaped value is always a valid RDN value.
  check(adsi::isValidDn("CN=" + adsi::escapeDnValue(value)));
}

void valueInvariants(const std::string& bytes) {
  for (int type = ADSTYPE_INVALID; type <= ADSTYPE_DN_WITH_STRING; ++type) {
    ADSVALUE measured;
    adsi::BlockCursor measure(nullptr);
    if (adsi::ldapToAdsValue(static_cast<ADSTYPE>(type), bytes, &measured, &measure) == S_OK) {
      char* memory = static_cast<char*>(AllocADsMem(static_cast<DWORD>(measure.used() + 1)));
      adsi::BlockCursor block(memory);
      ADSVALUE value;
      check(adsi::ldapToAdsValue(static_cast<ADSTYPE>(type), bytes, &value, &block) == S_OK);
      check(block.used() == measure.used());
      std::string back;
      check(adsi::adsValueToLdap(value, false, &back) == S_OK);
      FreeADsMem(memory);
    }
    VARIANT variant;
    if (adsi::ldapToVariant(static_cast<ADSTYPE>(type), bytes, &variant) == S_OK) {
      std::string back;
      (void)adsi::variantToLdap(static_cast<ADSTYPE>(type), variant, false, &back);  // may refuse, never crash
      VariantClear(&variant);
    }
  }
}

// Classes whose superclass chains may loop or name classes that do not exist: finding the
// most derived structural class must end, and name one of the entry's own classes.
void lineageInvariants(const std::string& bytes) {
  adsi::Schema schema;
  std::vector<std::string> entryClasses;
  size_t start = 0;
  while (start <= bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    adsi::ClassInfo info;
    if (adsi::parseObjectClass(std::string_view(bytes).substr(start, end - start), &info)) {
      entryClasses.push_back(info.name);
      schema.addClass(info, info.name);
    }
    start = end + 1;
  }
  std::string chosen = adsi::mostDerivedStructuralClass(schema, entryClasses);
  bool known = entryClasses.empty() && chosen.empty();
  for (const std::string& name : entryClasses) known |= adsi::equalsIgnoreCase(name, chosen);
  check(known);
  for (const std::string& name : entryClasses) (void)schema.isSubclassOf(name, chosen);  // must end on loops
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  pathInvariants(bytes);
  pathInvariants("LDAP://" + bytes);
  valueInvariants(bytes);

  adsi::RangedName range;
  if (adsi::parseRangedName(bytes, &range)) check(range.toEnd || range.high >= range.low);
  SYSTEMTIME time;
  DATE date;
  if (adsi::parseDirectoryTime(bytes, &time)) check(adsi::systemTimeToDate(time, &date));

  adsi::AttributeInfo attribute;
  adsi::parseAttributeType(bytes, &attribute);
  adsi::ClassInfo objectClass;
  adsi::parseObjectClass(bytes, &objectClass);
  std::string oid, name;
  std::vector<std::string> auxiliaries;
  adsi::parseContentRule(bytes, &oid, &name, &auxiliaries);
  lineageInvariants(bytes);
  adsi::bindDataCode(bytes);
  // A DC's netlogon answer, as a datagram and as the bare structure: names stay within DNS's bound.
  adsi::NetlogonAnswer netlogon;
  if (adsi::parseSamLogonResponseEx(data, size, &netlogon)) check(netlogon.clientSiteName.size() <= 255);
  int messageId = size > 4 ? data[4] : 1;
  if (adsi::parseNetlogonPingAnswer(data, size, messageId, &netlogon)) check(netlogon.dcSiteName.size() <= 255);
  adsi::leadingServerCode(bytes);
  // A KDC error's e-data: a status is read only from a whole DER element, so bytes after it
  // leave none; whatever it holds, a refusal never reads as anything but a refusal.
  uint32_t status = adsi::ntstatusOfKdcErrorData(bytes);
  if (status != 0) check(adsi::ntstatusOfKdcErrorData(bytes + '\0') == 0);
  check(adsi::reasonOfKdcRefusal(24, status) != ERROR_SUCCESS);
  // A password service's answer other than success never reads as success, whatever its text.
  for (int code = 0; code <= 8; ++code)
    check((winapi::netapi::statusOfKpasswdResult(code, bytes) == NERR_Success) == (code == 0));

  std::u16string wide = adsi::toUtf16(bytes);
  // Whatever the text, the name is what is left after a cut at its start.
  std::u16string dn = distinguishedNameOfPath(wide);
  check(dn.size() <= wide.size() && wide.compare(wide.size() - dn.size(), dn.size(), dn) == 0);
  // Once decoded, text survives the round trip unchanged.
  check(adsi::toUtf16(adsi::toUtf8(wide)) == wide);

  // A member's SID as the directory gives it: the primary group's SID keeps its shape, and is
  // the member's own domain's group and no other.
  SidBytes memberSid(bytes.begin(), bytes.end()), groupSid;
  LONG rid = size >= 4 ? static_cast<LONG>(data[0] | data[1] << 8 | data[2] << 16 | static_cast<ULONG>(data[3]) << 24) : 0;
  if (primaryGroupSid(memberSid, rid, &groupSid)) {
    check(groupSid.size() == memberSid.size());
    check(isPrimaryGroupOf(memberSid, rid, groupSid));
    check(!isPrimaryGroupOf(memberSid, static_cast<LONG>(static_cast<ULONG>(rid) + 1), groupSid));
    check(primaryGroupFilter(groupSid).size() == 56 + 3 * groupSid.size());
  } else {
    check(!isPrimaryGroupOf(memberSid, rid, memberSid));
  }
  // A caller's name written into a path never names a host, with or without a server before it.
  if (isWrittenAsDirectoryName(wide)) {
    adsi::AdsPath path;
    std::string name = adsi::toUtf8(pathEscapedName(wide));
    if (SUCCEEDED(adsi::parseAdsPath("LDAP://" + name, &path))) check(path.host.empty());
    if (SUCCEEDED(adsi::parseAdsPath("LDAP://dc1/" + name, &path))) check(path.host == "dc1");
  }
  WideString trailing;
  (void)trailingDnsDomainOfDn(wide, &trailing);
  WideString domain;
  if (domainPart(wide, &domain)) check(domain.rfind(u"DC=", 0) == 0 || domain.rfind(u"dc=", 0) == 0);
  return 0;
}
