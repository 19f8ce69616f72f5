// Where user accounts can live: an object is a user container when its schema class may
// contain a class that has sAMAccountName among its mandatory attributes. The answer depends
// only on the class, so it is kept per schema class path for the life of the process.
#include "nodes/user_containers.h"

#include <mutex>
#include <vector>

#include "directory/adsi_context.h"

namespace {

// An enumerator of a container's children, freed with ADsFreeEnumerator on every path.
class UniqueEnumerator {
 public:
  UniqueEnumerator() = default;
  ~UniqueEnumerator() {
    if (enumerator_ != nullptr) ADsFreeEnumerator(enumerator_);
  }
  UniqueEnumerator(const UniqueEnumerator&) = delete;
  UniqueEnumerator& operator=(const UniqueEnumerator&) = delete;
  IEnumVARIANT* get() const { return enumerator_; }
  IEnumVARIANT** put() { return &enumerator_; }

 private:
  IEnumVARIANT* enumerator_ = nullptr;
};

const WideString userAccountAttribute = WIDE("sAMAccountName");

// One of the two process-wide lists of schema class paths. Entries are only ever appended,
// and lookups and appends may come from any thread.
class SchemaClassList {
 public:
  bool contains(const WideString& schemaPath) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const WideString& entry : entries_)
      if (entry == schemaPath) return true;
    return false;
  }
  void append(const WideString& schemaPath) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const WideString& entry : entries_)
      if (entry == schemaPath) return;
    entries_.push_back(schemaPath);
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<WideString> entries_;
};

SchemaClassList& userContainerClasses() {
  static SchemaClassList list;
  return list;
}

SchemaClassList& nonUserContainerClasses() {
  static SchemaClassList list;
  return list;
}

// The class names of a containment or mandatory-attribute value: one name as VT_BSTR, several
// as VT_ARRAY|VT_VARIANT. False for any other type.
bool namesOf(const VARIANT& value, std::vector<WideString>* names) {
  names->clear();
  if (value.vt == VT_BSTR) {
    names->push_back(textOfBstr(value.bstrVal));
    return true;
  }
  if (value.vt != (VT_ARRAY | VT_VARIANT) || value.parray == nullptr) return false;
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(value.parray, 1, &lower)) || FAILED(SafeArrayGetUBound(value.parray, 1, &upper)))
    return false;
  VARIANT* elements = nullptr;
  if (FAILED(SafeArrayAccessData(value.parray, reinterpret_cast<void**>(&elements)))) return false;
  for (LONG i = 0; i <= upper - lower; ++i)
    if (elements[i].vt == VT_BSTR) names->push_back(textOfBstr(elements[i].bstrVal));
  SafeArrayUnaccessData(value.parray);
  return true;
}

// The path of the schema container, "LDAP://host/schema/", from a class's schema path.
WideString schemaBaseOf(const WideString& schemaPath) {
  size_t slash = schemaPath.rfind(WIDE('/'));
  return slash == WideString::npos ? WideString() : schemaPath.substr(0, slash + 1);
}

enum class ClassVerdict { HoldsUsers, Examined, NotExamined };

ClassVerdict examineContainedClass(const AdsiContext& context, const WideString& childPath) {
  ComPtr<IADsClass> childClass;
  if (FAILED(context.bindSchemaClass(childPath, childClass.put()))) return ClassVerdict::NotExamined;
  UniqueVariant mandatory;
  if (FAILED(childClass->get_MandatoryProperties(mandatory.put()))) return ClassVerdict::NotExamined;
  std::vector<WideString> attributes;
  if (!namesOf(*mandatory.get(), &attributes)) return ClassVerdict::NotExamined;
  for (const WideString& attribute : attributes)
    if (attribute == userAccountAttribute) return ClassVerdict::HoldsUsers;
  return ClassVerdict::Examined;
}

HRESULT decideClass(const AdsiContext& context, const WideString& schemaPath) {
  ComPtr<IADsClass> schemaClass;
  RETURN_IF_FAILED(context.bindSchemaClass(schemaPath, schemaClass.put()));
  UniqueBstr className;
  RETURN_IF_FAILED(schemaClass->get_Name(className.put()));
  WideString schemaBase = schemaBaseOf(schemaPath);
  UniqueVariant containment;
  RETURN_IF_FAILED(schemaClass->get_Containment(containment.put()));
  std::vector<WideString> containedClasses;
  if (!namesOf(*containment.get(), &containedClasses)) return E_FAIL;
  // "Not a user container" is remembered only when every contained class could be judged:
  // a passing failure must not decide the class for the rest of the process.
  bool everyClassExamined = true;
  for (const WideString& contained : containedClasses) {
    ClassVerdict verdict = examineContainedClass(context, schemaBase + contained);
    if (verdict == ClassVerdict::HoldsUsers) {
      userContainerClasses().append(schemaPath);
      return S_OK;
    }
    if (verdict == ClassVerdict::NotExamined) everyClassExamined = false;
  }
  if (everyClassExamined) nonUserContainerClasses().append(schemaPath);
  return E_FAIL;
}

// The decision for an object already bound: its class's schema path, then the caches, then
// the schema.
HRESULT isUserContainerObject(const AdsiContext& context, IADs* object) {
  UniqueBstr schema;
  RETURN_IF_FAILED(object->get_Schema(schema.put()));
  WideString schemaPath = textOfBstr(schema.get());
  if (nonUserContainerClasses().contains(schemaPath)) return E_FAIL;
  if (userContainerClasses().contains(schemaPath)) return S_OK;
  return decideClass(context, schemaPath);
}

}  // namespace

HRESULT AdsiContext::isUserContainer(const WideString& dn) const {
  ComPtr<IADs> object;
  RETURN_IF_FAILED(bindObject(dn, object.put()));
  return isUserContainerObject(*this, object.get());
}

// The container is bound without reading it first: the enumeration's first page is the one
// request, and a container that is not there fails it with the status its bind would have had.
HRESULT AdsiContext::getChildUserContainers(const WideString& dn, StringList* containers) const {
  ComPtr<IADsContainer> container;
  RETURN_IF_FAILED(openNamedObject(dn, IID_IADsContainer, ADS_SECURE_AUTHENTICATION | ADS_FAST_BIND,
                                   container.putVoid()));
  WCHAR hintName[] = WIDE("distinguishedName");
  LPWSTR hintNames[] = {hintName};
  UniqueVariant hints;
  RETURN_IF_FAILED(ADsBuildVarArrayStr(hintNames, 1, hints.put()));
  RETURN_IF_FAILED(container->put_Hints(*hints.get()));
  UniqueEnumerator enumerator;
  RETURN_IF_FAILED(ADsBuildEnumerator(container.get(), enumerator.put()));
  for (;;) {
    UniqueVariant element;
    ULONG fetched = 0;
    HRESULT status = ADsEnumerateNext(enumerator.get(), 1, element.put(), &fetched);
    // A page of children that cannot be read ends the list short: that is the call's status,
    // never a success.
    RETURN_IF_FAILED(status);
    if (status != S_OK || fetched != 1) return S_OK;
    if (element.get()->vt != VT_DISPATCH || element.get()->pdispVal == nullptr) continue;
    ComPtr<IADs> child;
    if (FAILED(element.get()->pdispVal->QueryInterface(IID_IADs, child.putVoid()))) continue;
    UniqueVariant childDn;
    UniqueBstr property = UniqueBstr::copyOf(WIDE("distinguishedName"));
    if (FAILED(child->Get(property.get(), childDn.put())) || childDn.get()->vt != VT_BSTR) continue;
    // The child's class is judged on the object the enumeration delivered, which already knows
    // its classes: no second bind per child. A child that cannot be judged (its schema cannot
    // be read) ends the walk with that status rather than vanish from the list.
    HRESULT verdict = isUserContainerObject(*this, child.get());
    if (verdict == S_OK) containers->append(textOfBstr(childDn.get()->bstrVal));
    else if (FAILED(verdict) && verdict != E_FAIL) return verdict;
  }
}

void clearUserContainerCachesForTesting() {
  userContainerClasses().clear();
  nonUserContainerClasses().clear();
}

bool userContainerCacheHoldsForTesting(const WideString& schemaPath, bool* isUserContainer) {
  if (nonUserContainerClasses().contains(schemaPath)) {
    *isUserContainer = false;
    return true;
  }
  if (userContainerClasses().contains(schemaPath)) {
    *isUserContainer = true;
    return true;
  }
  return false;
}
