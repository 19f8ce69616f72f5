// IADsContainer::get__NewEnum: the children of a container, one level down, as IADs objects.
#include <algorithm>
#include <atomic>
#include <new>

#include "adsi/com_guard.h"
#include "adsi/errors.h"
#include "adsi/object.h"
#include "adsi/text.h"
#include "com/com_object.h"

namespace winapi::adsi {

namespace {

struct Child {
  std::string dn;
  std::vector<std::string> objectClasses;
};

class ChildEnumerator final : public winapi::com::ComObject<IEnumVARIANT> {
 public:
  ChildEnumerator(std::shared_ptr<Connection> connection, AdsPath parentPath,
                  std::shared_ptr<std::vector<Child>> children)
      : connection_(std::move(connection)), parentPath_(std::move(parentPath)), children_(std::move(children)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return offer(riid, ppv, {&IID_IUnknown, &IID_IEnumVARIANT});
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override try {
    if (rgVar == nullptr && celt > 0) return E_POINTER;
    ULONG fetched = 0;
    while (fetched < celt && position_ < children_->size()) {
      const Child& child = (*children_)[position_++];
      ObjectSetup setup;
      setup.connection = connection_;
      setup.path = parentPath_;
      setup.path.dn = child.dn;
      setup.dn = child.dn;
      setup.ldapName = child.dn;
      setup.adsPath = buildAdsPath(parentPath_.hostPart, child.dn);
      setup.objectClasses = child.objectClasses;
      auto* object = new (std::nothrow) DirectoryObject(std::move(setup));
      if (object == nullptr) break;
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
    size_t left = children_->size() - position_;
    position_ += std::min<size_t>(celt, left);
    return celt <= left ? S_OK : S_FALSE;
  } catch (...) {
    return hresultOfCurrentException();
  }
  HRESULT STDMETHODCALLTYPE Reset() override try {
    position_ = 0;
    return S_OK;
  } catch (...) {
    return hresultOfCurrentException();
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) override try {
    if (ppEnum == nullptr) return E_POINTER;
    auto* copy = new (std::nothrow) ChildEnumerator(connection_, parentPath_, children_);
    if (copy == nullptr) return E_OUTOFMEMORY;
    copy->position_ = position_;
    *ppEnum = copy;
    return S_OK;
  } catch (...) {
    return hresultOfCurrentException();
  }

 private:
  ~ChildEnumerator() = default;

  std::shared_ptr<Connection> connection_;
  AdsPath parentPath_;
  std::shared_ptr<std::vector<Child>> children_;
  size_t position_ = 0;
};

constexpr int enumerationPageSize = 500;

}  // namespace

HRESULT DirectoryObject::get__NewEnum(IUnknown** retval) try {
  if (retval == nullptr) return E_POINTER;
  *retval = nullptr;
  if (setup_.created) return E_ADS_OBJECT_UNBOUND;
  auto children = std::make_shared<std::vector<Child>>();
  LDAP* ld = setup_.connection->handle();
  std::string cookie;
  do {
    berval cookieValue{static_cast<ber_len_t>(cookie.size()), cookie.empty() ? nullptr : &cookie[0]};
    LdapControl paged;
    int code = ldap_create_page_control(ld, enumerationPageSize, &cookieValue, 0, paged.put());
    if (code != LDAP_SUCCESS) return failLdap(code, "cannot build the paged-results control");
    LDAPControl* controls[] = {paged.get(), nullptr};
    LdapMessage page;
    LdapControls response;
    LdapOutcome outcome = setup_.connection->search(setup_.ldapName, LDAP_SCOPE_ONELEVEL, "(objectClass=*)",
                                                    {"objectClass"}, controls, 0, 0, &page, &response);
    if (!outcome.ok()) return failWith(outcome);
    for (LDAPMessage* entry = ldap_first_entry(ld, page.get()); entry != nullptr; entry = ldap_next_entry(ld, entry)) {
      LdapString dn(ldap_get_dn(ld, entry));
      if (!dn) continue;
      Child child{dn.get(), {}};
      LdapValues classes(ldap_get_values_len(ld, entry, "objectClass"));
      if (classes)
        for (berval** v = classes.get(); *v != nullptr; ++v)
          child.objectClasses.emplace_back((*v)->bv_val, (*v)->bv_len);
      children->push_back(std::move(child));
    }
    cookie.clear();
    LDAPControl* control = response ? ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, response.get(), nullptr) : nullptr;
    if (control != nullptr) {
      ber_int_t estimate = 0;
      berval next{0, nullptr};
      if (ldap_parse_pageresponse_control(ld, control, &estimate, &next) == LDAP_SUCCESS) {
        cookie.assign(next.bv_val != nullptr ? next.bv_val : "", next.bv_len);
        ber_memfree(next.bv_val);
      }
    }
  } while (!cookie.empty());
  auto* enumerator = new (std::nothrow) ChildEnumerator(setup_.connection, setup_.path, std::move(children));
  if (enumerator == nullptr) return E_OUTOFMEMORY;
  *retval = enumerator;
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

}  // namespace winapi::adsi
