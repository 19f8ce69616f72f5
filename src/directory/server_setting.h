// The server setting as the host part of an LDAP path. Besides a host name (or domain name)
// with an optional :port, it may be an LDAP URL as other LDAP tools take it: ldap://host[:port]
// or ldaps://host[:port], where ldaps:// with no port means 636.
#pragma once
#include "platform.h"

// Sets *host to the path's host part: the setting itself unless it is a URL, else the URL's
// host, with ":" and the port when the URL gives one or ldaps:// implies 636. A URL that says
// more than a host and port is refused with E_ADS_BAD_PATHNAME: a scheme other than ldap or
// ldaps, credentials (user@), a path, query or fragment, a missing host, a port that is not
// 1..65535, or an ldaps:// port other than 636 and 3269, where no LDAPS would be spoken.
HRESULT serverPathHost(const WideString& setting, WideString* host);

// The host part for a setting, or the setting unchanged when serverPathHost refuses it, so that
// the check before the first bind (settingsRefusal) refuses it again.
WideString pathHostOrSetting(const WideString& setting);

// How a bind must protect itself on the path's host part: ADS_USE_SSL on the LDAPS ports (636,
// 3269), where the connection is TLS from the start and the directory refuses a SASL seal inside
// it; ADS_USE_SEALING elsewhere. ADSI takes a port from the path but TLS only from the flag.
DWORD transportFlags(const WideString& pathHost);
