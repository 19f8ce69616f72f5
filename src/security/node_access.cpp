// Which directory rights an account holds on an object, decided locally: the object's
// security descriptor is evaluated against the account's token by the system's access check,
// with object entries matched against the object's class and principal-self entries against
// the object's own SID. The thread never impersonates the token.
#include <cstring>
#include <utility>
#include <vector>

#include "directory/adsi_context.h"
#include "directory/name_resolution.h"
#include "security/descriptor_bounds.h"

namespace {

constexpr DWORD tokenAccess = TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_QUERY;
constexpr size_t classGuidLength = 16;
constexpr DWORD privilegeSetLength = 256;

// Read, write, execute and all, in the directory's terms.
GENERIC_MAPPING directoryGenericMapping() { return GENERIC_MAPPING{0x00020094, 0x00020028, 0x00020004, 0x000F01FF}; }

class UniqueHandle {
 public:
  UniqueHandle() = default;
  ~UniqueHandle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  HANDLE get() const { return handle_; }
  HANDLE* put() {
    if (handle_ != nullptr) CloseHandle(std::exchange(handle_, nullptr));
    return &handle_;
  }

 private:
  HANDLE handle_ = nullptr;
};

// The five parts of an absolute security descriptor, freed together.
struct AbsoluteDescriptor {
  std::vector<BYTE> descriptor, dacl, sacl, owner, group;
};

// A system error of the logon as an HRESULT. A failure that left no error must still read as
// one: status 0 would report every right as granted.
HRESULT lastErrorStatus() {
  DWORD code = GetLastError();
  if (code == 0) return E_FAIL;
  return HRESULT_FROM_WIN32(code);
}

HRESULT classSchemaPath(IDirectoryObject* object, WideString* schemaPath) {
  UniqueAdsMem information;
  RETURN_IF_FAILED(object->GetObjectInformation(information.put<ADS_OBJECT_INFO>()));
  const ADS_OBJECT_INFO* info = information.as<ADS_OBJECT_INFO>();
  *schemaPath = info->pszSchemaDN != nullptr ? WideString(info->pszSchemaDN) : WideString();
  return S_OK;
}

HRESULT classGuid(const AdsiContext& context, const WideString& schemaPath, GUID* guid) {
  ComPtr<IADsClass> schemaClass;
  RETURN_IF_FAILED(context.bindSchemaClass(schemaPath, schemaClass.put()));
  UniqueBstr name = UniqueBstr::copyOf(WIDE("schemaIDGUID"));
  UniqueVariant value;
  RETURN_IF_FAILED(schemaClass->Get(name.get(), value.put()));
  SAFEARRAY* bytes = value.get()->parray;
  if (value.get()->vt != (VT_ARRAY | VT_UI1) || bytes == nullptr || SafeArrayGetDim(bytes) != 1)
    return VALUE_TYPE_MISMATCH;
  LONG lower = 0, upper = -1;
  RETURN_IF_FAILED(SafeArrayGetLBound(bytes, 1, &lower));
  RETURN_IF_FAILED(SafeArrayGetUBound(bytes, 1, &upper));
  // A class GUID is exactly 16 bytes; anything else is not one.
  if (upper - lower + 1 != static_cast<LONG>(classGuidLength)) return VALUE_TYPE_MISMATCH;
  void* data = nullptr;
  RETURN_IF_FAILED(SafeArrayAccessData(bytes, &data));
  std::memcpy(guid, data, classGuidLength);
  SafeArrayUnaccessData(bytes);
  return S_OK;
}

// The descriptor and SID of the object, checked against the lengths the directory gave.
struct ObjectSecurity {
  std::vector<BYTE> descriptor;
  std::vector<BYTE> sid;  // empty: the object has none
};

WCHAR asciiLower(WCHAR c) { return c >= WIDE('A') && c <= WIDE('Z') ? static_cast<WCHAR>(c + 32) : c; }

// Attribute names are compared without regard to case.
bool isNamed(LPCWSTR name, const WCHAR* expected) {
  if (name == nullptr) return false;
  for (; *name != 0 && *expected != 0; ++name, ++expected)
    if (asciiLower(*name) != asciiLower(*expected)) return false;
  return *name == *expected;
}

HRESULT readObjectSecurity(IDirectoryObject* object, ObjectSecurity* security) {
  WCHAR descriptorName[] = WIDE("nTSecurityDescriptor");
  WCHAR sidName[] = WIDE("objectSid");
  LPWSTR names[] = {descriptorName, sidName};
  UniqueAdsMem block;
  DWORD returned = 0;
  RETURN_IF_FAILED(object->GetObjectAttributes(names, 2, block.put<ADS_ATTR_INFO>(), &returned));
  const ADS_ATTR_INFO* attributes = block.as<ADS_ATTR_INFO>();
  const ADS_NT_SECURITY_DESCRIPTOR* descriptor = nullptr;
  const ADS_OCTET_STRING* sid = nullptr;
  for (DWORD i = 0; attributes != nullptr && i < returned; ++i) {
    const ADS_ATTR_INFO& attribute = attributes[i];
    if (attribute.dwNumValues == 0 || attribute.pADsValues == nullptr) continue;
    const ADSVALUE& value = attribute.pADsValues[0];
    if (isNamed(attribute.pszAttrName, WIDE("nTSecurityDescriptor")) &&
        attribute.dwADsType == ADSTYPE_NT_SECURITY_DESCRIPTOR && value.dwType == ADSTYPE_NT_SECURITY_DESCRIPTOR)
      descriptor = &value.SecurityDescriptor;
    if (isNamed(attribute.pszAttrName, WIDE("objectSID")) && attribute.dwADsType == ADSTYPE_OCTET_STRING &&
        value.dwType == ADSTYPE_OCTET_STRING)
      sid = &value.OctetString;
  }
  // Without the descriptor (one the account may not read) there is nothing to decide on.
  if (descriptor == nullptr || descriptor->lpValue == nullptr) return E_ADS_PROPERTY_NOT_FOUND;
  if (!isSoundSelfRelativeDescriptor(descriptor->lpValue, descriptor->dwLength))
    return HRESULT_FROM_WIN32(ERROR_INVALID_SECURITY_DESCR);
  security->descriptor.assign(descriptor->lpValue, descriptor->lpValue + descriptor->dwLength);
  if (sid != nullptr) {
    if (!isWholeSid(sid->lpValue, sid->dwLength)) return HRESULT_FROM_WIN32(ERROR_INVALID_SID);
    security->sid.assign(sid->lpValue, sid->lpValue + sid->dwLength);
  }
  return S_OK;
}

HRESULT makeAbsolute(std::vector<BYTE>& selfRelative, AbsoluteDescriptor* absolute) {
  DWORD sizes[5] = {0, 0, 0, 0, 0};
  if (MakeAbsoluteSD(selfRelative.data(), nullptr, &sizes[0], nullptr, &sizes[1], nullptr, &sizes[2], nullptr,
                     &sizes[3], nullptr, &sizes[4]) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return lastErrorStatus();
  absolute->descriptor.resize(sizes[0]);
  absolute->dacl.resize(sizes[1]);
  absolute->sacl.resize(sizes[2]);
  absolute->owner.resize(sizes[3]);
  absolute->group.resize(sizes[4]);
  auto part = [](std::vector<BYTE>& bytes) { return bytes.empty() ? nullptr : bytes.data(); };
  if (!MakeAbsoluteSD(selfRelative.data(), part(absolute->descriptor), &sizes[0],
                      reinterpret_cast<PACL>(part(absolute->dacl)), &sizes[1],
                      reinterpret_cast<PACL>(part(absolute->sacl)), &sizes[2], part(absolute->owner), &sizes[3],
                      part(absolute->group), &sizes[4]))
    return lastErrorStatus();
  return S_OK;
}

// "DOMAIN\account" is logged on as the account within its domain; a principal name alone.
HRESULT logOn(const WideString& logonName, const WideString& password, HANDLE* token) {
  WideString domain, account;
  bool downLevel = splitDownLevelName(logonName, &domain, &account);
  BOOL loggedOn = LogonUserW(downLevel ? account.c_str() : logonName.c_str(), downLevel ? domain.c_str() : nullptr,
                             password.c_str(), LOGON32_LOGON_INTERACTIVE, LOGON32_PROVIDER_DEFAULT, token);
  return loggedOn ? S_OK : lastErrorStatus();
}

// The calling thread's token, else the process's.
HRESULT openOwnToken(HANDLE* token) {
  if (OpenThreadToken(GetCurrentThread(), tokenAccess, TRUE, token)) return S_OK;
  if (OpenProcessToken(GetCurrentProcess(), tokenAccess, token)) return S_OK;
  return E_FAIL;
}

HRESULT decideNodeAccess(const AdsiContext& context, const WideString& nodeDn, DWORD desiredAccess,
                         DWORD* grantedAccess, DWORD* accessStatus) {
  ComPtr<IDirectoryObject> object;
  RETURN_IF_FAILED(context.bindDirectoryObject(nodeDn, object.put()));
  WideString schemaPath;
  RETURN_IF_FAILED(classSchemaPath(object.get(), &schemaPath));
  GUID objectClass{};
  HRESULT status = classGuid(context, schemaPath, &objectClass);
  if (status != S_OK) return status;
  ObjectSecurity security;
  RETURN_IF_FAILED(readObjectSecurity(object.get(), &security));

  // The privilege set is written as a PRIVILEGE_SET, so its buffer is aligned for one.
  union {
    PRIVILEGE_SET set;
    BYTE bytes[privilegeSetLength];
  } privileges;
  std::memset(&privileges, 0, sizeof privileges);
  OBJECT_TYPE_LIST objectTypes[1] = {};
  objectTypes[0].Level = ACCESS_OBJECT_GUID;
  objectTypes[0].ObjectType = &objectClass;
  GENERIC_MAPPING mapping = directoryGenericMapping();
  AbsoluteDescriptor absolute;
  RETURN_IF_FAILED(makeAbsolute(security.descriptor, &absolute));

  UniqueHandle token;
  if (!context.lookupUserName().empty()) {
    WideString logonName, accountDn;
    RETURN_IF_FAILED(context.resolveUser(context.lookupUserName(), WideString(), &logonName, &accountDn));
    RETURN_IF_FAILED(logOn(logonName, context.lookupUserPassword(), token.put()));
  } else {
    RETURN_IF_FAILED(openOwnToken(token.put()));
  }
  UniqueHandle impersonation;
  if (!DuplicateToken(token.get(), SecurityImpersonation, impersonation.put())) return E_FAIL;

  // The check takes only specific rights: generic ones are first mapped to the directory's.
  DWORD desired = desiredAccess;
  MapGenericMask(&desired, &mapping);
  DWORD privilegeLength = privilegeSetLength;
  PSID principalSelf = security.sid.empty() ? nullptr : security.sid.data();
  if (!AccessCheckByTypeResultList(absolute.descriptor.data(), principalSelf, impersonation.get(), desired,
                                   objectTypes, 1, &mapping, &privileges.set, &privilegeLength, grantedAccess,
                                   accessStatus))
    return E_FAIL;
  return S_OK;
}

}  // namespace

// A check that fails says so in both results: no right granted, and the denial that a Windows
// check reports (ERROR_ACCESS_DENIED), so that a caller who reads only the access status (0 is what
// a grant carries) never takes a failed check for a grant. The status says why it failed.
HRESULT AdsiContext::checkNodeAccess(const WideString& nodeDn, DWORD desiredAccess, DWORD* grantedAccess,
                                     DWORD* accessStatus) const {
  HRESULT status = decideNodeAccess(*this, nodeDn, desiredAccess, grantedAccess, accessStatus);
  if (status != S_OK) {
    *grantedAccess = 0;
    *accessStatus = ERROR_ACCESS_DENIED;
  }
  return status;
}

