#include "adsi/kdc_refusal.h"

#include "winerror.h"

namespace winapi::adsi {

namespace {

// PA-PW-SALT, the pre-authentication data type that carries the status in a METHOD-DATA, and the
// KERB-ERROR-DATA type of an extended error.
constexpr int paPasswordSalt = 3;
constexpr int extendedErrorType = 3;
constexpr size_t extendedErrorBytes = 12;

// KDC error numbers (RFC 4120 7.5.9).
constexpr int kdcPrincipalUnknown = 6;
constexpr int kdcPolicy = 12;
constexpr int kdcNoSuitableKey = 14;  // an account without keys (no password set)
constexpr int kdcClientRevoked = 18;
constexpr int kdcClientNotYet = 21;
constexpr int kdcKeyExpired = 23;
constexpr int kdcPreauthFailed = 24;
constexpr int kdcBadIntegrity = 31;

// One DER element read from the front of a byte range.
struct Element {
  unsigned char tag = 0;
  std::string_view content;
};

// Reads the element at the front of *bytes and advances past it. Definite lengths only, as DER
// has them, of at most four length bytes.
bool readElement(std::string_view* bytes, Element* out) {
  if (bytes->size() < 2) return false;
  unsigned char tag = static_cast<unsigned char>((*bytes)[0]);
  unsigned char first = static_cast<unsigned char>((*bytes)[1]);
  size_t header = 2;
  size_t length = first;
  if (first & 0x80) {
    size_t count = first & 0x7F;
    if (count == 0 || count > 4 || bytes->size() < 2 + count) return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | static_cast<unsigned char>((*bytes)[2 + i]);
    header += count;
  }
  if (length > bytes->size() - header) return false;
  out->tag = tag;
  out->content = bytes->substr(header, length);
  bytes->remove_prefix(header + length);
  return true;
}

// An element that must be the only content of its parent (an explicit tag's wrapped value).
bool readOnly(std::string_view bytes, unsigned char tag, std::string_view* content) {
  Element element;
  if (!readElement(&bytes, &element) || element.tag != tag || !bytes.empty()) return false;
  *content = element.content;
  return true;
}

bool readSmallInteger(std::string_view bytes, int* out) {
  std::string_view digits;
  if (!readOnly(bytes, 0x02, &digits) || digits.empty() || digits.size() > 4) return false;
  long value = static_cast<signed char>(digits[0]);
  for (size_t i = 1; i < digits.size(); ++i) value = value * 256 + static_cast<unsigned char>(digits[i]);
  *out = static_cast<int>(value);
  return true;
}

uint32_t statusOfExtendedError(std::string_view value) {
  if (value.size() != extendedErrorBytes) return 0;
  uint32_t status = 0;
  for (int i = 3; i >= 0; --i) status = (status << 8) | static_cast<unsigned char>(value[i]);
  return status;
}

// A SEQUENCE { [1] INTEGER type, [2] OCTET STRING value }: a PA-DATA, or a KERB-ERROR-DATA.
bool readTypedValue(std::string_view sequence, int* type, std::string_view* value) {
  Element typeTag, valueTag;
  if (!readElement(&sequence, &typeTag) || typeTag.tag != 0xA1 || !readSmallInteger(typeTag.content, type))
    return false;
  if (!readElement(&sequence, &valueTag) || valueTag.tag != 0xA2 || !sequence.empty()) return false;
  return readOnly(valueTag.content, 0x04, value);
}

}  // namespace

uint32_t ntstatusOfKdcErrorData(std::string_view eData) {
  std::string_view outer;
  if (!readOnly(eData, 0x30, &outer)) return 0;
  int type = 0;
  std::string_view value;
  // KERB-ERROR-DATA: the sequence itself is the typed value.
  if (readTypedValue(outer, &type, &value)) return type == extendedErrorType ? statusOfExtendedError(value) : 0;
  // METHOD-DATA: a sequence of PA-DATA.
  while (!outer.empty()) {
    Element entry;
    if (!readElement(&outer, &entry) || entry.tag != 0x30) return 0;
    if (readTypedValue(entry.content, &type, &value) && type == paPasswordSalt) {
      uint32_t status = statusOfExtendedError(value);
      if (status != 0) return status;
    }
  }
  return 0;
}

bool refusesTheAccount(int kdcError) {
  switch (kdcError) {
    case kdcPrincipalUnknown:
    case kdcPolicy:
    case kdcNoSuitableKey:
    case kdcClientRevoked:
    case kdcClientNotYet:
    case kdcKeyExpired:
    case kdcPreauthFailed:
    case kdcBadIntegrity:
      return true;
    default:
      return false;
  }
}

DWORD reasonOfKdcRefusal(int kdcError, uint32_t ntstatus) {
  switch (ntstatus) {
    case 0xC0000234:  // STATUS_ACCOUNT_LOCKED_OUT
      return ERROR_ACCOUNT_LOCKED_OUT;
    case 0xC0000072:  // STATUS_ACCOUNT_DISABLED
      return ERROR_ACCOUNT_DISABLED;
    case 0xC0000193:  // STATUS_ACCOUNT_EXPIRED
      return ERROR_ACCOUNT_EXPIRED;
    case 0xC0000071:  // STATUS_PASSWORD_EXPIRED
      return ERROR_PASSWORD_EXPIRED;
    case 0xC0000224:  // STATUS_PASSWORD_MUST_CHANGE
      return ERROR_PASSWORD_MUST_CHANGE;
    case 0xC000006F:  // STATUS_INVALID_LOGON_HOURS
      return ERROR_INVALID_LOGON_HOURS;
    case 0xC0000070:  // STATUS_INVALID_WORKSTATION
      return ERROR_INVALID_WORKSTATION;
    case 0xC000006E:  // STATUS_ACCOUNT_RESTRICTION
      return ERROR_ACCOUNT_RESTRICTION;
    default:
      break;
  }
  switch (kdcError) {
    // Without a status, a revoked client is a locked account: a disabled or expired one comes
    // with its status from AD and Samba, a lockout from Samba without one, as from MIT's KDC.
    case kdcClientRevoked:
      return ERROR_ACCOUNT_LOCKED_OUT;
    case kdcKeyExpired:
      return ERROR_PASSWORD_EXPIRED;
    default:
      return ERROR_LOGON_FAILURE;
  }
}

}  // namespace winapi::adsi
