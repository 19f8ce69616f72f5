// The abstract schema's class objects (LDAP://[host/]schema/<class>), offering IADsClass.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <set>

#include "adserr.h"
#include "adshlp.h"
#include "adsi/com_guard.h"
#include "adsi/errors.h"
#include "adsi/object.h"
#include "adsi/test_hooks.h"
#include "adsi/text.h"
#include "adsi/values.h"
#include "com/com_object.h"

namespace winapi::adsi {

namespace {

HRESULT copyOut(std::string_view text, BSTR* retval) {
  if (retval == nullptr) return E_POINTER;
  *retval = newBstr(text);
  return *retval == nullptr ? E_OUTOFMEMORY : S_OK;
}

// One name as VT_BSTR, several (or none) as VT_ARRAY|VT_VARIANT, as IADsClass gives them.
HRESULT namesToVariant(const std::vector<std::string>& names, VARIANT* out) {
  if (out == nullptr) return E_POINTER;
  VariantInit(out);
  if (names.size() == 1) {
    out->bstrVal = newBstr(names.front());
    if (out->bstrVal == nullptr) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    return S_OK;
  }
  std::vector<std::u16string> wide;
  wide.reserve(names.size());
  for (const std::string& name : names) wide.push_back(toUtf16(name));
  std::vector<LPWSTR> pointers;
  pointers.reserve(wide.size());
  for (std::u16string& name : wide) pointers.push_back(&name[0]);
  return ADsBuildVarArrayStr(pointers.data(), static_cast<DWORD>(pointers.size()), out);
}

std::vector<std::string> unionOf(const std::vector<const ClassInfo*>& classes, bool mandatory) {
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (const ClassInfo* info : classes)
    for (const std::string& name : mandatory ? info->must : info->may)
      if (seen.insert(toLowerAscii(name)).second) names.push_back(name);
  return names;
}

class SchemaClassObject final : public winapi::com::ComObject<IADsClass> {
 public:
  SchemaClassObject(std::shared_ptr<Connection> connection, std::shared_ptr<const Schema> schema, AdsPath path,
                    std::string className)
      : connection_(std::move(connection)),
        schema_(std::move(schema)),
        path_(std::move(path)),
        className_(std::move(className)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return offer(riid, ppv, {&IID_IUnknown, &IID_IDispatch, &IID_IADs, &IID_IADsClass});
  }

  HRESULT STDMETHODCALLTYPE get_Name(BSTR* retval) override try { return copyOut(className_, retval); } catch (...) {
    return hresultOfCurrentException();
  }
  HRESULT STDMETHODCALLTYPE get_Class(BSTR* retval) override try { return copyOut("Class", retval); } catch (...) {
    return hresultOfCurrentException();
  }
  HRESULT STDMETHODCALLTYPE get_GUID(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* retval) override try {
    return copyOut(buildSchemaPath(path_.hostPart, className_), retval);
  } catch (...) {
    return hresultOfCurrentException();
  }
  HRESULT STDMETHODCALLTYPE get_Parent(BSTR* retval) override try {
    std::string parent = "LDAP://";
    if (!path_.hostPart.empty()) parent += path_.hostPart + "/";
    return copyOut(parent + "schema", retval);
  } catch (...) {
    return hresultOfCurrentException();
  }
  HRESULT STDMETHODCALLTYPE get_Schema(BSTR*) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
  HRESULT STDMETHODCALLTYPE GetInfo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetInfo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Get(BSTR bstrName, VARIANT* pvProp) override try {
    return readProperty(bstrName, false, pvProp);
  } catch (...) {
    return hresultOfCurrentException();
  }
  HRESULT STDMETHODCALLTYPE Put(BSTR, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetEx(BSTR bstrName, VARIANT* pvProp) override try {
    return readProperty(bstrName, true, pvProp);
  } catch (...) {
    return hresultOfCurrentException();
  }
  HRESULT STDMETHODCALLTYPE PutEx(LONG, BSTR, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT, LONG) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE get_Container(VARIANT_BOOL* retval) override try {
    if (retval == nullptr) return E_POINTER;
    std::vector<std::string> inferiors;
    HRESULT hr = readContainment(&inferiors);
    if (FAILED(hr)) return hr;
    *retval = inferiors.empty() ? VARIANT_FALSE : VARIANT_TRUE;
    return S_OK;
  } catch (...) {
    return hresultOfCurrentException();
  }
  HRESULT STDMETHODCALLTYPE get_Containment(VARIANT* retval) override try {
    std::vector<std::string> inferiors;
    HRESULT hr = readContainment(&inferiors);
    if (FAILED(hr)) return hr;
    return namesToVariant(inferiors, retval);
  } catch (...) {
    return hresultOfCurrentException();
  }
  HRESULT STDMETHODCALLTYPE get_MandatoryProperties(VARIANT* retval) override try {
    return namesToVariant(unionOf(schema_->closure(className_), true), retval);
  } catch (...) {
    return hresultOfCurrentException();
  }
  HRESULT STDMETHODCALLTYPE get_OptionalProperties(VARIANT* retval) override try {
    return namesToVariant(unionOf(schema_->closure(className_), false), retval);
  } catch (...) {
    return hresultOfCurrentException();
  }

 private:
  ~SchemaClassObject() = default;

  // An attribute of the class's classSchema object (schemaIDGUID, for one), typed by the schema.
  HRESULT readProperty(BSTR bstrName, bool alwaysArray, VARIANT* pvProp) {
    if (pvProp == nullptr) return E_POINTER;
    VariantInit(pvProp);
    std::string name = bstrName == nullptr ? std::string() : toUtf8(std::u16string_view(bstrName, SysStringLen(bstrName)));
    if (name.empty()) return E_ADS_BAD_PARAMETER;
    std::vector<std::string> values;
    HRESULT hr = readClassAttribute(name, &values);
    if (FAILED(hr)) return hr;
    if (values.empty()) return E_ADS_PROPERTY_NOT_FOUND;
    return ldapValuesToVariant(schema_->typeOf(name), values, alwaysArray, pvProp);
  }

  // The directory computes which classes may live below this one (possibleInferiors of the
  // class's classSchema object), taking every superclass's possible superiors into account.
  HRESULT readContainment(std::vector<std::string>* out) { return readClassAttribute("possibleInferiors", out); }

  // A class's schemaIDGUID names it for good: once read, it is kept with the connection, as the
  // schema is.
  HRESULT readClassAttribute(const std::string& attribute, std::vector<std::string>* out) {
    if (!equalsIgnoreCase(attribute, "schemaIDGUID")) return readFromClassSchema(attribute, out);
    HRESULT read = S_OK;
    auto kept = connection_->remembered("schemaIDGUID\n" + toLowerAscii(className_), [&]() {
      auto values = std::make_shared<std::vector<std::string>>();
      read = readFromClassSchema(attribute, values.get());
      if (FAILED(read) || values->empty()) return std::shared_ptr<const void>();
      return std::shared_ptr<const void>(std::move(values));
    });
    if (FAILED(read)) return read;
    out->clear();
    if (kept) *out = *std::static_pointer_cast<const std::vector<std::string>>(kept);
    return S_OK;
  }

  HRESULT readFromClassSchema(const std::string& attribute, std::vector<std::string>* out) {
    std::shared_ptr<const RootEntry> root;
    LdapOutcome outcome = connection_->rootEntry(&root);
    if (!outcome.ok()) return failWith(outcome);
    std::string base;
    for (const auto& [name, values] : *root)
      if (equalsIgnoreCase(name, "schemaNamingContext") && !values.empty()) base = values.front();
    if (base.empty()) return failLdap(LDAP_NO_SUCH_OBJECT, "no schema naming context");
    std::string filter = "(&(objectClass=classSchema)(lDAPDisplayName=" + escapeFilterValue(className_) + "))";
    LdapMessage found;
    outcome = connection_->search(base, LDAP_SCOPE_ONELEVEL, filter, {attribute}, nullptr, 0, 0, &found);
    if (!outcome.ok()) return failWith(outcome);
    LDAP* ld = connection_->handle();
    LDAPMessage* entry = ldap_first_entry(ld, found.get());
    if (entry == nullptr) return failLdap(LDAP_NO_SUCH_OBJECT, "the class has no schema object");
    *out = entryValues(ld, entry, attribute.c_str());
    return S_OK;
  }

  std::shared_ptr<Connection> connection_;
  std::shared_ptr<const Schema> schema_;
  AdsPath path_;
  std::string className_;
};

std::mutex failingClassMutex;
std::string failingClass;
HRESULT failingClassStatus = S_OK;

HRESULT injectedBindFailure(const std::string& className) {
  std::lock_guard<std::mutex> lock(failingClassMutex);
  return !failingClass.empty() && equalsIgnoreCase(className, failingClass) ? failingClassStatus : S_OK;
}

}  // namespace

void testing::failSchemaClassBindsWith(const std::string& className, HRESULT status) {
  std::lock_guard<std::mutex> lock(failingClassMutex);
  failingClass = SUCCEEDED(status) ? std::string() : className;
  failingClassStatus = status;
}

HRESULT newSchemaClassObject(std::shared_ptr<Connection> connection, const AdsPath& path, REFIID riid, void** ppv) {
  *ppv = nullptr;
  HRESULT hr = injectedBindFailure(path.schemaClass);
  if (FAILED(hr)) return hr;
  std::shared_ptr<const Schema> schema;
  hr = schemaFor(connection.get(), &schema);
  if (FAILED(hr)) return hr;
  const ClassInfo* info = schema->objectClass(path.schemaClass);
  // A class the schema does not define is a name with no object behind it.
  if (info == nullptr) return failLdap(LDAP_NO_SUCH_OBJECT, "no such class in the schema");
  auto* object = new (std::nothrow) SchemaClassObject(connection, schema, path, info->name);
  if (object == nullptr) return E_OUTOFMEMORY;
  hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

}  // namespace winapi::adsi
