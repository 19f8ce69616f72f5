// The netlogon ping's datagrams: the request as a DC reads it, and the answer's structure with
// its DNS-compressed names, whole and broken.
#include <gtest/gtest.h>
#include <lber.h>

#include <string>
#include <vector>

#include "adsi/netlogon_ping.h"

namespace adsi = winapi::adsi;

namespace {

void appendLabel(std::vector<unsigned char>* bytes, const std::string& label) {
  bytes->push_back(static_cast<unsigned char>(label.size()));
  bytes->insert(bytes->end(), label.begin(), label.end());
}

// A NETLOGON_SAM_LOGON_RESPONSE_EX as a DC of orvistal.test in Default-First-Site-Name writes it
// for a client of Branch: later names point back at the forest's name.
std::vector<unsigned char> responseEx() {
  std::vector<unsigned char> bytes = {0x17, 0, 0, 0, 0xfd, 0x13, 0, 0};
  bytes.resize(24, 0);  // the domain's GUID
  appendLabel(&bytes, "orvistal");  // DnsForestName at 24
  appendLabel(&bytes, "test");
  bytes.push_back(0);
  bytes.insert(bytes.end(), {0xc0, 24});  // DnsDomainName: the same
  appendLabel(&bytes, "dc1");  // DnsHostName: dc1 + the forest's name
  bytes.insert(bytes.end(), {0xc0, 24});
  appendLabel(&bytes, "ORVISTAL");
  bytes.push_back(0);
  appendLabel(&bytes, "DC1");
  bytes.push_back(0);
  bytes.push_back(0);  // no user name
  appendLabel(&bytes, "Default-First-Site-Name");
  bytes.push_back(0);
  appendLabel(&bytes, "Branch");
  bytes.push_back(0);
  bytes.insert(bytes.end(), {5, 0, 0, 0, 0xff, 0xff, 0xff, 0xff});  // NtVersion, tokens
  return bytes;
}

std::vector<unsigned char> answerDatagram(int messageId, const std::vector<unsigned char>& value, bool withEnd) {
  BerElement* ber = ber_alloc_t(LBER_USE_DER);
  ber_printf(ber, "{it{s{{s[o]}}}}", messageId, static_cast<ber_tag_t>(0x64), "", "netlogon",
             reinterpret_cast<const char*>(value.data()), static_cast<ber_len_t>(value.size()));
  // The search's end follows in the same datagram.
  if (withEnd)
    ber_printf(ber, "{it{eoo}}", messageId, static_cast<ber_tag_t>(0x65), 0, "", static_cast<ber_len_t>(0), "",
             static_cast<ber_len_t>(0));
  berval* flat = nullptr;
  ber_flatten(ber, &flat);
  std::vector<unsigned char> bytes(flat->bv_val, flat->bv_val + flat->bv_len);
  ber_bvfree(flat);
  ber_free(ber, 1);
  return bytes;
}

TEST(NetlogonPing, TheAnswerNamesBothSitesAndAnythingElseIsRefused) {
  adsi::NetlogonAnswer answer;
  std::vector<unsigned char> datagram = answerDatagram(7, responseEx(), true);
  ASSERT_TRUE(adsi::parseNetlogonPingAnswer(datagram.data(), datagram.size(), 7, &answer));
  EXPECT_EQ(answer.dnsDomainName, "orvistal.test");
  EXPECT_EQ(answer.dnsHostName, "dc1.orvistal.test");
  EXPECT_EQ(answer.dcSiteName, "Default-First-Site-Name");
  EXPECT_EQ(answer.clientSiteName, "Branch");
  EXPECT_EQ(answer.flags, 0x13fdu);
  EXPECT_FALSE(adsi::parseNetlogonPingAnswer(datagram.data(), datagram.size(), 8, &answer)) << "another ping's answer";
  // Cut anywhere in the entry (what follows it is not needed).
  std::vector<unsigned char> entry = answerDatagram(7, responseEx(), false);
  for (size_t cut = 0; cut < entry.size(); ++cut)
    EXPECT_FALSE(adsi::parseNetlogonPingAnswer(entry.data(), cut, 7, &answer)) << "cut at " << cut;

  std::vector<unsigned char> looping = responseEx();
  looping[39] = 0xc0;  // DnsDomainName points at itself
  looping[40] = 39;
  EXPECT_FALSE(adsi::parseSamLogonResponseEx(looping.data(), looping.size(), &answer));
  std::vector<unsigned char> outside = responseEx();
  outside[40] = 0xff;  // points past the end
  EXPECT_FALSE(adsi::parseSamLogonResponseEx(outside.data(), outside.size(), &answer));
  std::vector<unsigned char> otherOpcode = responseEx();
  otherOpcode[0] = 0x13;
  EXPECT_FALSE(adsi::parseSamLogonResponseEx(otherOpcode.data(), otherOpcode.size(), &answer));
}

TEST(NetlogonPing, TheRequestAsksTheRootEntryForNetlogonFilteredByDomainAndVersion) {
  std::vector<unsigned char> request = adsi::netlogonPingRequest("orvistal.test", 42);
  berval bytes{static_cast<ber_len_t>(request.size()), reinterpret_cast<char*>(request.data())};
  BerElement* ber = ber_init(&bytes);
  ber_int_t id = 0, scope = -1, deref = -1, size = -1, time = -1, typesOnly = -1;
  berval base{}, domainType{}, domain{}, versionType{}, version{}, attribute{};
  ber_tag_t tag = ber_scanf(ber, "{i{meeiib{{mm}{mm}}{m}}}", &id, &base, &scope, &deref, &size, &time, &typesOnly,
                            &domainType, &domain, &versionType, &version, &attribute);
  ASSERT_NE(tag, LBER_ERROR);
  EXPECT_EQ(id, 42);
  EXPECT_EQ(base.bv_len, 0u);
  EXPECT_EQ(scope, 0);
  EXPECT_EQ(std::string(domainType.bv_val, domainType.bv_len), "DnsDomain");
  EXPECT_EQ(std::string(domain.bv_val, domain.bv_len), "orvistal.test");
  EXPECT_EQ(std::string(version.bv_val, version.bv_len), std::string("\x06\0\0\0", 4));
  EXPECT_EQ(std::string(attribute.bv_val, attribute.bv_len), "Netlogon");
  ber_free(ber, 1);
  EXPECT_TRUE(adsi::isUsableSiteName("Default-First-Site-Name"));
  EXPECT_FALSE(adsi::isUsableSiteName("evil.site"));
  EXPECT_FALSE(adsi::isUsableSiteName(""));
}

}  // namespace
