// IADsContainer's enumeration of a container's children (one level down, as IADs objects),
// its hints, and the flat enumerator functions over it. The children are read by a one-level
// search, a page at a time as the caller walks on; the hinted attributes come with each child,
// so reading them later costs no further request.
#include <algorithm>
#include <atomic>
#include <deque>
#include <new>

#include "adserr.h"
#include "adshlp.h"
#include "adsi/com_guard.h"
#include "adsi/errors.h"
#include "adsi/object.h"
#include "adsi/test_hooks.h"
#include "adsi/text.h"
#include "com/com_object.h"

namespace winapi::adsi {

namespace {

constexpr int enumerationPageSize = 500;

std::atomic<HRESULT> childPageFailure{S_OK};

struct Child {
  std::string dn;
  std::vector<std::string> objectClasses;
  PropertyMap hinted;
};

class ChildEnumerator final : public winapi::com::ComObject<IEnumVARIANT> {
 public:
  ChildEnumerator(std::shared_ptr<Connection> connection, AdsPath parentPath, std::string parentName,
                  std::vector<std::string> hints)
      : connection_(std::move(connection)),
        parentPath_(std::move(parentPath)),
        parentName_(std::move(parentName)),
        hints_(std::move(hints)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return offer(riid, ppv, {&IID_IUnknown, &IID_IEnumVARIANT});
  }

  // S_OK when celt children were delivered; S_FALSE with fewer (none at the end). A failed
  // page read is returned when it leaves nothing to deliver.
  HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override try {
    if (pCeltFetched != nullptr) *pCeltFetched = 0;
    if (rgVar == nullptr && celt > 0) return E_POINTER;
    ULONG fetched = 0;
    while (fetched < celt) {
      if (pending_.empty() && !finished_) {
        HRESULT hr = readPage();
        if (FAILED(hr)) {
          if (fetched == 0) return hr;
          break;
        }
      }
      if (pending_.empty()) break;
      auto* object = newChildObject(std::move(pending_.front()));
      if (object == nullptr) {
        if (fetched == 0) return E_OUTOFMEMORY;
        break;
      }
      pending_.pop_front();
      VariantInit(&rgVar[fetched]);
      rgVar[fetched].vt = VT_DISPATCH;
      rgVar[fetched].pdispVal = object->asIADs();
      ++fetched;
    }
    if (pCeltFetched != nullptr) *pCeltFetched = fetched;
    return fetched == celt ? S_OK : S_FALSE;
  } catch (...) {
    return hresultOfCurrentException();
  }

  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override try {
    for (ULONG i = 0; i < celt; ++i) {
      if (pending_.empty() && !finished_) {
        HRESULT hr = readPage();
        if (FAILED(hr)) return hr;
      }
      if (pending_.empty()) return S_FALSE;
      pending_.pop_front();
    }
    return S_OK;
  } catch (...) {
    return hresultOfCurrentException();
  }

  HRESULT STDMETHODCALLTYPE Reset() override try {
    pending_.clear();
    cookie_.clear();
    finished_ = false;
    return S_OK;
  } catch (...) {
    return hresultOfCurrentException();
  }

  // The provider's enumerators cannot be cloned.
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) override {
    if (ppEnum != nullptr) *ppEnum = nullptr;
    return E_NOTIMPL;
  }

 private:
  ~ChildEnumerator() = default;

  DirectoryObject* newChildObject(Child child) {
    ObjectSetup setup;
    setup.connection = connection_;
    setup.path = parentPath_;
    setup.path.dn = child.dn;
    setup.dn = child.dn;
    setup.ldapName = child.dn;
    setup.adsPath = buildAdsPath(parentPath_.hostPart, child.dn);
    setup.objectClasses = std::move(child.objectClasses);
    setup.preloaded = std::move(child.hinted);
    return new (std::nothrow) DirectoryObject(std::move(setup));
  }

  std::vector<std::string> requestedAttributes() const {
    std::vector<std::string> attributes{"objectClass"};
    for (const std::string& hint : hints_)
      if (!equalsIgnoreCase(hint, "objectClass")) attributes.push_back(hint);
    return attributes;
  }

  Child childOf(LDAP* ld, LDAPMessage* entry, const std::string& dn) const {
    Child child{dn, {}, {}};
    std::vector<EntryAttribute> attributes;
    entryAttributes(ld, entry, &attributes);
    for (EntryAttribute& attribute : attributes) {
      if (equalsIgnoreCase(attribute.name, "objectClass")) child.objectClasses = attribute.values;
      bool hinted = std::any_of(hints_.begin(), hints_.end(),
                                [&](const std::string& hint) { return equalsIgnoreCase(hint, attribute.name); });
      if (!hinted || attribute.values.empty()) continue;
      CachedProperty& property = child.hinted[toLowerAscii(attribute.name)];
      property.name = std::move(attribute.name);
      property.values = std::move(attribute.values);
    }
    return child;
  }

  void takeChildren(LDAP* ld, LDAPMessage* page) {
    for (LDAPMessage* entry = ldap_first_entry(ld, page); entry != nullptr; entry = ldap_next_entry(ld, entry)) {
      LdapString dn(ldap_get_dn(ld, entry));
      if (dn) pending_.push_back(childOf(ld, entry, dn.get()));
    }
  }

  // The children are first asked for without paging (rowsWithoutPaging): one container that
  // holds more is read again from its first child, page by page.
  HRESULT readFirstPageUnpaged(bool* tooMany) {
    LDAP* ld = connection_->handle();
    LdapMessage page;
    LdapOutcome outcome = connection_->search(parentName_, LDAP_SCOPE_ONELEVEL, "(objectClass=*)",
                                              requestedAttributes(), nullptr, rowsWithoutPaging, 0, &page);
    *tooMany = tooManyRowsWithoutPaging(ld, outcome.code, page.get());
    if (*tooMany) return S_OK;
    if (!outcome.ok()) return failWith(outcome);
    takeChildren(ld, page.get());
    finished_ = true;
    return S_OK;
  }

  HRESULT readPage() {
    HRESULT injected = childPageFailure.load();
    if (FAILED(injected)) return injected;
    if (!paged_) {
      HRESULT hr = readFirstPageUnpaged(&paged_);
      if (FAILED(hr) || !paged_) return hr;
    }
    LDAP* ld = connection_->handle();
    berval cookieValue{static_cast<ber_len_t>(cookie_.size()), cookie_.empty() ? nullptr : &cookie_[0]};
    LdapControl paged;
    int code = ldap_create_page_control(ld, enumerationPageSize, &cookieValue, 0, paged.put());
    if (code != LDAP_SUCCESS) return failLdap(code, "cannot build the paged-results control");
    LDAPControl* controls[] = {paged.get(), nullptr};
    LdapMessage page;
    LdapControls response;
    LdapOutcome outcome = connection_->search(parentName_, LDAP_SCOPE_ONELEVEL, "(objectClass=*)",
                                              requestedAttributes(), controls, 0, 0, &page, &response);
    if (!outcome.ok()) return failWith(outcome);
    takeChildren(ld, page.get());
    cookie_ = nextPageCookie(ld, response.get());
    finished_ = cookie_.empty();
    return S_OK;
  }

  std::shared_ptr<Connection> connection_;
  AdsPath parentPath_;
  std::string parentName_;
  std::vector<std::string> hints_;
  std::deque<Child> pending_;
  std::string cookie_;
  bool finished_ = false;
  bool paged_ = false;  // the children are more than a page: read page by page
};

}  // namespace

void testing::failChildPagesWith(HRESULT status) { childPageFailure.store(status); }

HRESULT DirectoryObject::get__NewEnum(IUnknown** retval) try {
  if (retval == nullptr) return E_POINTER;
  *retval = nullptr;
  if (setup_.created) return E_ADS_OBJECT_UNBOUND;
  auto* enumerator = new (std::nothrow) ChildEnumerator(setup_.connection, setup_.path, setup_.ldapName, hints_);
  if (enumerator == nullptr) return E_OUTOFMEMORY;
  *retval = enumerator;
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

HRESULT DirectoryObject::get_Filter(VARIANT*) { return E_NOTIMPL; }
HRESULT DirectoryObject::put_Filter(VARIANT) { return E_NOTIMPL; }

HRESULT DirectoryObject::get_Hints(VARIANT* pvFilter) try {
  if (pvFilter == nullptr) return E_POINTER;
  std::vector<std::u16string> wide;
  for (const std::string& hint : hints_) wide.push_back(toUtf16(hint));
  std::vector<LPWSTR> pointers;
  for (std::u16string& hint : wide) pointers.push_back(&hint[0]);
  return ADsBuildVarArrayStr(pointers.data(), static_cast<DWORD>(pointers.size()), pvFilter);
} catch (...) {
  return hresultOfCurrentException();
}

// One name (VT_BSTR) or a list of names (VT_ARRAY of VT_VARIANT or VT_BSTR).
HRESULT DirectoryObject::put_Hints(VARIANT vHints) try {
  std::vector<std::string> names;
  HRESULT hr = propertyNames(vHints, &names);
  if (FAILED(hr)) return hr;
  for (const std::string& name : names)
    if (name.empty()) return E_ADS_BAD_PARAMETER;
  hints_ = std::move(names);
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

}  // namespace winapi::adsi

HRESULT ADsBuildEnumerator(IADsContainer* pADsContainer, IEnumVARIANT** ppEnumVariant) try {
  if (pADsContainer == nullptr || ppEnumVariant == nullptr) return E_POINTER;
  *ppEnumVariant = nullptr;
  IUnknown* unknown = nullptr;
  HRESULT hr = pADsContainer->get__NewEnum(&unknown);
  if (FAILED(hr)) return hr;
  hr = unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(ppEnumVariant));
  unknown->Release();
  return hr;
} catch (...) {
  return winapi::adsi::hresultOfCurrentException();
}

HRESULT ADsEnumerateNext(IEnumVARIANT* pEnumVariant, ULONG cElements, VARIANT* pvar, ULONG* pcElementsFetched) try {
  if (pEnumVariant == nullptr) return E_POINTER;
  return pEnumVariant->Next(cElements, pvar, pcElementsFetched);
} catch (...) {
  return winapi::adsi::hresultOfCurrentException();
}

HRESULT ADsFreeEnumerator(IEnumVARIANT* pEnumVariant) try {
  if (pEnumVariant == nullptr) return E_POINTER;
  pEnumVariant->Release();
  return S_OK;
} catch (...) {
  return winapi::adsi::hresultOfCurrentException();
}
