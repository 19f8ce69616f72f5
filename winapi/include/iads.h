// Active Directory Service Interfaces: the interfaces, types and constants of the SDK's
// iads.h that the library uses, with the SDK's names, values and argument orders.
#pragma once
#include "oleauto.h"

typedef enum {
  ADSTYPE_INVALID = 0,
  ADSTYPE_DN_STRING,
  ADSTYPE_CASE_EXACT_STRING,
  ADSTYPE_CASE_IGNORE_STRING,
  ADSTYPE_PRINTABLE_STRING,
  ADSTYPE_NUMERIC_STRING,
  ADSTYPE_BOOLEAN,
  ADSTYPE_INTEGER,
  ADSTYPE_OCTET_STRING,
  ADSTYPE_UTC_TIME,
  ADSTYPE_LARGE_INTEGER,
  ADSTYPE_PROV_SPECIFIC,
  ADSTYPE_OBJECT_CLASS,
  ADSTYPE_CASEIGNORE_LIST,
  ADSTYPE_OCTET_LIST,
  ADSTYPE_PATH,
  ADSTYPE_POSTALADDRESS,
  ADSTYPE_TIMESTAMP,
  ADSTYPE_BACKLINK,
  ADSTYPE_TYPEDNAME,
  ADSTYPE_HOLD,
  ADSTYPE_NETADDRESS,
  ADSTYPE_REPLICAPOINTER,
  ADSTYPE_FAXNUMBER,
  ADSTYPE_EMAIL,
  ADSTYPE_NT_SECURITY_DESCRIPTOR,
  ADSTYPE_UNKNOWN,
  ADSTYPE_DN_WITH_BINARY,
  ADSTYPE_DN_WITH_STRING
} ADSTYPEENUM;
typedef ADSTYPEENUM ADSTYPE;

typedef LPWSTR ADS_DN_STRING;
typedef LPWSTR ADS_CASE_EXACT_STRING;
typedef LPWSTR ADS_CASE_IGNORE_STRING;
typedef LPWSTR ADS_PRINTABLE_STRING;
typedef LPWSTR ADS_NUMERIC_STRING;
typedef DWORD ADS_BOOLEAN;
typedef DWORD ADS_INTEGER;
typedef SYSTEMTIME ADS_UTC_TIME;
typedef LARGE_INTEGER ADS_LARGE_INTEGER;
typedef LPWSTR ADS_OBJECT_CLASS;

typedef struct {
  DWORD dwLength;
  LPBYTE lpValue;
} ADS_OCTET_STRING, ADS_NT_SECURITY_DESCRIPTOR, ADS_PROV_SPECIFIC;

typedef struct {
  DWORD dwLength;
  LPBYTE lpBinaryValue;
  LPWSTR pszDNString;
} ADS_DN_WITH_BINARY, *PADS_DN_WITH_BINARY;

typedef struct {
  LPWSTR pszStringValue;
  LPWSTR pszDNString;
} ADS_DN_WITH_STRING, *PADS_DN_WITH_STRING;

typedef struct _adsvalue {
  ADSTYPE dwType;
  union {
    ADS_DN_STRING DNString;
    ADS_CASE_EXACT_STRING CaseExactString;
    ADS_CASE_IGNORE_STRING CaseIgnoreString;
    ADS_PRINTABLE_STRING PrintableString;
    ADS_NUMERIC_STRING NumericString;
    ADS_BOOLEAN Boolean;
    ADS_INTEGER Integer;
    ADS_OCTET_STRING OctetString;
    ADS_UTC_TIME UTCTime;
    ADS_LARGE_INTEGER LargeInteger;
    ADS_OBJECT_CLASS ClassName;
    ADS_PROV_SPECIFIC ProviderSpecific;
    ADS_NT_SECURITY_DESCRIPTOR SecurityDescriptor;
    PADS_DN_WITH_BINARY pDNWithBinary;
    PADS_DN_WITH_STRING pDNWithString;
  };
} ADSVALUE, *PADSVALUE, *LPADSVALUE;

typedef struct _ads_attr_info {
  LPWSTR pszAttrName;
  DWORD dwControlCode;
  ADSTYPE dwADsType;
  PADSVALUE pADsValues;
  DWORD dwNumValues;
} ADS_ATTR_INFO, *PADS_ATTR_INFO;

typedef struct _ads_object_info {
  LPWSTR pszRDN;
  LPWSTR pszObjectDN;
  LPWSTR pszParentDN;
  LPWSTR pszSchemaDN;
  LPWSTR pszClassName;
} ADS_OBJECT_INFO, *PADS_OBJECT_INFO;

typedef enum {
  ADS_SECURE_AUTHENTICATION = 0x1,
  ADS_USE_ENCRYPTION = 0x2,
  ADS_USE_SSL = 0x2,
  ADS_READONLY_SERVER = 0x4,
  ADS_PROMPT_CREDENTIALS = 0x8,
  ADS_NO_AUTHENTICATION = 0x10,
  ADS_FAST_BIND = 0x20,
  ADS_USE_SIGNING = 0x40,
  ADS_USE_SEALING = 0x80,
  ADS_USE_DELEGATION = 0x100,
  ADS_SERVER_BIND = 0x200,
  ADS_NO_REFERRAL_CHASING = 0x400,
  ADS_AUTH_RESERVED = 0x80000000
} ADS_AUTHENTICATION_ENUM;

#define ADS_ATTR_CLEAR (1)
#define ADS_ATTR_UPDATE (2)
#define ADS_ATTR_APPEND (3)
#define ADS_ATTR_DELETE (4)

typedef enum { ADS_STATUS_S_OK = 0, ADS_STATUS_INVALID_SEARCHPREF, ADS_STATUS_INVALID_SEARCHPREFVALUE } ADS_STATUSENUM;

typedef enum { ADS_DEREF_NEVER = 0, ADS_DEREF_SEARCHING = 1, ADS_DEREF_FINDING = 2, ADS_DEREF_ALWAYS = 3 } ADS_DEREFENUM;

typedef enum { ADS_SCOPE_BASE = 0, ADS_SCOPE_ONELEVEL = 1, ADS_SCOPE_SUBTREE = 2 } ADS_SCOPEENUM;

typedef enum {
  ADS_CHASE_REFERRALS_NEVER = 0,
  ADS_CHASE_REFERRALS_SUBORDINATE = 0x20,
  ADS_CHASE_REFERRALS_EXTERNAL = 0x40,
  ADS_CHASE_REFERRALS_ALWAYS = 0x60
} ADS_CHASE_REFERRALS_ENUM;

typedef enum {
  ADS_SEARCHPREF_ASYNCHRONOUS = 0,
  ADS_SEARCHPREF_DEREF_ALIASES,
  ADS_SEARCHPREF_SIZE_LIMIT,
  ADS_SEARCHPREF_TIME_LIMIT,
  ADS_SEARCHPREF_ATTRIBTYPES_ONLY,
  ADS_SEARCHPREF_SEARCH_SCOPE,
  ADS_SEARCHPREF_TIMEOUT,
  ADS_SEARCHPREF_PAGESIZE,
  ADS_SEARCHPREF_PAGED_TIME_LIMIT,
  ADS_SEARCHPREF_CHASE_REFERRALS,
  ADS_SEARCHPREF_SORT_ON,
  ADS_SEARCHPREF_CACHE_RESULTS,
  ADS_SEARCHPREF_DIRSYNC,
  ADS_SEARCHPREF_TOMBSTONE,
  ADS_SEARCHPREF_VLV,
  ADS_SEARCHPREF_ATTRIBUTE_QUERY,
  ADS_SEARCHPREF_SECURITY_MASK,
  ADS_SEARCHPREF_DIRSYNC_FLAG,
  ADS_SEARCHPREF_EXTENDED_DN
} ADS_SEARCHPREF_ENUM;
typedef ADS_SEARCHPREF_ENUM ADS_SEARCHPREF;

typedef struct ads_searchpref_info {
  ADS_SEARCHPREF_ENUM dwSearchPref;
  ADSVALUE vValue;
  ADS_STATUSENUM dwStatus;
} ADS_SEARCHPREF_INFO, *PADS_SEARCHPREF_INFO, *LPADS_SEARCHPREF_INFO;

typedef HANDLE ADS_SEARCH_HANDLE;
typedef ADS_SEARCH_HANDLE* PADS_SEARCH_HANDLE;

typedef struct ads_search_column {
  LPWSTR pszAttrName;
  ADSTYPE dwADsType;
  PADSVALUE pADsValues;
  DWORD dwNumValues;
  HANDLE hReserved;
} ADS_SEARCH_COLUMN, *PADS_SEARCH_COLUMN;

typedef enum { ADS_PROPERTY_CLEAR = 1, ADS_PROPERTY_UPDATE = 2, ADS_PROPERTY_APPEND = 3, ADS_PROPERTY_DELETE = 4 } ADS_PROPERTY_OPERATION_ENUM;

typedef enum {
  ADS_NAME_TYPE_1779 = 1,
  ADS_NAME_TYPE_CANONICAL = 2,
  ADS_NAME_TYPE_NT4 = 3,
  ADS_NAME_TYPE_DISPLAY = 4,
  ADS_NAME_TYPE_DOMAIN_SIMPLE = 5,
  ADS_NAME_TYPE_ENTERPRISE_SIMPLE = 6,
  ADS_NAME_TYPE_GUID = 7,
  ADS_NAME_TYPE_UNKNOWN = 8,
  ADS_NAME_TYPE_USER_PRINCIPAL_NAME = 9,
  ADS_NAME_TYPE_CANONICAL_EX = 10,
  ADS_NAME_TYPE_SERVICE_PRINCIPAL_NAME = 11,
  ADS_NAME_TYPE_SID_OR_SID_HISTORY_NAME = 12
} ADS_NAME_TYPE_ENUM;

typedef enum { ADS_NAME_INITTYPE_DOMAIN = 1, ADS_NAME_INITTYPE_SERVER = 2, ADS_NAME_INITTYPE_GC = 3 } ADS_NAME_INITTYPE_ENUM;

typedef enum {
  ADS_RIGHT_DELETE = 0x10000,
  ADS_RIGHT_READ_CONTROL = 0x20000,
  ADS_RIGHT_WRITE_DAC = 0x40000,
  ADS_RIGHT_WRITE_OWNER = 0x80000,
  ADS_RIGHT_SYNCHRONIZE = 0x100000,
  ADS_RIGHT_ACCESS_SYSTEM_SECURITY = 0x1000000,
  ADS_RIGHT_GENERIC_READ = static_cast<int>(0x80000000),
  ADS_RIGHT_GENERIC_WRITE = 0x40000000,
  ADS_RIGHT_GENERIC_EXECUTE = 0x20000000,
  ADS_RIGHT_GENERIC_ALL = 0x10000000,
  ADS_RIGHT_DS_CREATE_CHILD = 0x1,
  ADS_RIGHT_DS_DELETE_CHILD = 0x2,
  ADS_RIGHT_ACTRL_DS_LIST = 0x4,
  ADS_RIGHT_DS_SELF = 0x8,
  ADS_RIGHT_DS_READ_PROP = 0x10,
  ADS_RIGHT_DS_WRITE_PROP = 0x20,
  ADS_RIGHT_DS_DELETE_TREE = 0x40,
  ADS_RIGHT_DS_LIST_OBJECT = 0x80,
  ADS_RIGHT_DS_CONTROL_ACCESS = 0x100
} ADS_RIGHTS_ENUM;

extern const IID IID_IADs;
extern const IID IID_IADsUser;
extern const IID IID_IADsGroup;
extern const IID IID_IADsContainer;
extern const IID IID_IADsClass;
extern const IID IID_IADsDeleteOps;
extern const IID IID_IADsLargeInteger;
extern const IID IID_IDirectoryObject;
extern const IID IID_IDirectorySearch;
extern const IID IID_IADsNameTranslate;
extern const CLSID CLSID_NameTranslate;

struct IADs : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Class(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_GUID(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Parent(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Schema(BSTR* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetInfo() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetInfo() = 0;
  virtual HRESULT STDMETHODCALLTYPE Get(BSTR bstrName, VARIANT* pvProp) = 0;
  virtual HRESULT STDMETHODCALLTYPE Put(BSTR bstrName, VARIANT vProp) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEx(BSTR bstrName, VARIANT* pvProp) = 0;
  virtual HRESULT STDMETHODCALLTYPE PutEx(LONG lnControlCode, BSTR bstrName, VARIANT vProp) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT vProperties, LONG lnReserved) = 0;

 protected:
  ~IADs() = default;
};

struct IADsUser : public IADs {
  virtual HRESULT STDMETHODCALLTYPE get_IsAccountLocked(VARIANT_BOOL* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsAccountLocked(VARIANT_BOOL fIsAccountLocked) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPassword(BSTR NewPassword) = 0;
  virtual HRESULT STDMETHODCALLTYPE ChangePassword(BSTR bstrOldPassword, BSTR bstrNewPassword) = 0;

 protected:
  ~IADsUser() = default;
};

struct IADsGroup : public IADs {
  virtual HRESULT STDMETHODCALLTYPE IsMember(BSTR bstrMember, VARIANT_BOOL* bMember) = 0;

 protected:
  ~IADsGroup() = default;
};

struct IADsContainer : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Filter(VARIANT* pVar) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Filter(VARIANT Var) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Hints(VARIANT* pvFilter) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Hints(VARIANT vHints) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetObject(BSTR ClassName, BSTR RelativeName, IDispatch** ppObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE Create(BSTR ClassName, BSTR RelativeName, IDispatch** ppObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE Delete(BSTR bstrClassName, BSTR bstrRelativeName) = 0;

 protected:
  ~IADsContainer() = default;
};

struct IADsClass : public IADs {
  virtual HRESULT STDMETHODCALLTYPE get_Container(VARIANT_BOOL* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Containment(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MandatoryProperties(VARIANT* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_OptionalProperties(VARIANT* retval) = 0;

 protected:
  ~IADsClass() = default;
};

struct IADsDeleteOps : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE DeleteObject(LONG lnFlags) = 0;

 protected:
  ~IADsDeleteOps() = default;
};

struct IADsLargeInteger : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_HighPart(LONG* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_HighPart(LONG lnHighPart) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LowPart(LONG* retval) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_LowPart(LONG lnLowPart) = 0;

 protected:
  ~IADsLargeInteger() = default;
};

struct IDirectoryObject : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetObjectInformation(PADS_OBJECT_INFO* ppObjInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetObjectAttributes(LPWSTR* pAttributeNames, DWORD dwNumberAttributes,
                                                        PADS_ATTR_INFO* ppAttributeEntries,
                                                        DWORD* pdwNumAttributesReturned) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetObjectAttributes(PADS_ATTR_INFO pAttributeEntries, DWORD dwNumAttributes,
                                                        DWORD* pdwNumAttributesModified) = 0;

 protected:
  ~IDirectoryObject() = default;
};

struct IDirectorySearch : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetSearchPreference(PADS_SEARCHPREF_INFO pSearchPrefs, DWORD dwNumPrefs) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExecuteSearch(LPWSTR pszSearchFilter, LPWSTR* pAttributeNames,
                                                  DWORD dwNumberAttributes, PADS_SEARCH_HANDLE phSearchResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE AbandonSearch(ADS_SEARCH_HANDLE phSearchResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFirstRow(ADS_SEARCH_HANDLE hSearchResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNextRow(ADS_SEARCH_HANDLE hSearchResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNextColumnName(ADS_SEARCH_HANDLE hSearchHandle, LPWSTR* ppszColumnName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetColumn(ADS_SEARCH_HANDLE hSearchResult, LPWSTR szColumnName,
                                              PADS_SEARCH_COLUMN pSearchColumn) = 0;
  virtual HRESULT STDMETHODCALLTYPE FreeColumn(PADS_SEARCH_COLUMN pSearchColumn) = 0;
  virtual HRESULT STDMETHODCALLTYPE CloseSearchHandle(ADS_SEARCH_HANDLE hSearchResult) = 0;

 protected:
  ~IDirectorySearch() = default;
};

struct IADsNameTranslate : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE put_ChaseReferral(LONG lnChaseReferral) = 0;
  virtual HRESULT STDMETHODCALLTYPE Init(LONG lnSetType, BSTR bstrADsPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE InitEx(LONG lnSetType, BSTR bstrADsPath, BSTR bstrUserID, BSTR bstrDomain,
                                           BSTR bstrPassword) = 0;
  virtual HRESULT STDMETHODCALLTYPE Set(LONG lnSetType, BSTR bstrADsPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE Get(LONG lnFormatType, BSTR* pbstrADsPath) = 0;

 protected:
  ~IADsNameTranslate() = default;
};
