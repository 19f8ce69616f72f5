// Native methods of node search and of the NetBIOS name of a domain.
#include "bridge/call_context.h"
#include "bridge/entry_points.h"
#include "bridge/traced_call.h"
#include "bridge/result_objects.h"

namespace {

// A filter or attribute name cut short at a NUL would ask for something else than the caller
// did: one that holds a NUL names nothing, and nothing is sent for it.
bool anyHoldsNul(std::initializer_list<const WideString*> texts) {
  for (const WideString* text : texts)
    if (holdsNul(*text)) return true;
  return false;
}

bool anyHoldsNul(const StringList& texts) {
  for (const WideString& text : texts)
    if (holdsNul(text)) return true;
  return false;
}

}  // namespace

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wSearchNodes)(JNIEnv* env, jobject self, jstring baseDn,
                                                                     jstring filter) {
  TracedCall traced(env, "wSearchNodes", {{"baseDn", baseDn}, {"filter", filter}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString base = wideParameter(env, baseDn);
    WideString filterText = wideParameter(env, filter);
    StringList found;
    if (anyHoldsNul({&filterText})) return newResultStringList(env, DS_NO_SUCH_OBJECT, found);
    AdsiContext context = contextFor(settings);
    HRESULT status = context.searchNodes(base, filterText, &found);
    return newResultStringList(env, status, found);
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wSearchDeletedNodes)(JNIEnv* env, jobject self,
                                                                            jstring filter) {
  TracedCall traced(env, "wSearchDeletedNodes", {{"filter", filter}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString filterText = wideParameter(env, filter);
    StringList found;
    if (anyHoldsNul({&filterText})) return newResultStringList(env, DS_NO_SUCH_OBJECT, found);
    AdsiContext context = contextFor(settings);
    HRESULT status = context.searchDeletedNodes(filterText, &found);
    return newResultStringList(env, status, found);
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wFindNodeValues)(JNIEnv* env, jobject self, jstring baseDn,
                                                                        jstring attributeName, jstring filter,
                                                                        jint sizeLimit, jint timeLimit) {
  TracedCall traced(env, "wFindNodeValues",
                    {{"baseDn", baseDn},
                     {"attributeName", attributeName},
                     {"filter", filter},
                     {"sizeLimit", sizeLimit},
                     {"timeLimit", timeLimit}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString base = wideParameter(env, baseDn);
    WideString attribute = wideParameter(env, attributeName);
    WideString filterText = wideParameter(env, filter);
    StringList found;
    if (anyHoldsNul({&attribute, &filterText})) return newResultStringList(env, DS_NO_SUCH_OBJECT, found);
    AdsiContext context = contextFor(settings);
    HRESULT status = context.findNodeValues(base, attribute, filterText, sizeLimit, timeLimit, &found);
    return newResultStringList(env, status, found);
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetNodeAttributes)(JNIEnv* env, jobject self, jstring baseDn,
                                                                           jstring filter,
                                                                           jobjectArray attributeNames) {
  TracedCall traced(env, "wGetNodeAttributes",
                    {{"baseDn", baseDn}, {"filter", filter}, {"attributeNames", attributeNames}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString base = wideParameter(env, baseDn);
    WideString filterText = wideParameter(env, filter);
    StringList names = stringListFromJavaStrings(env, attributeNames);
    StringList values;
    if (anyHoldsNul({&filterText}) || anyHoldsNul(names))
      return newResultArrayNameValue(env, DS_NO_SUCH_OBJECT, names, values);
    AdsiContext context = contextFor(settings);
    HRESULT status = context.searchFirstEntry(base, filterText, names, &values);
    return newResultArrayNameValue(env, status, names, values);
  }));
}

// The DNS name is carried whole: it goes to the directory only as an escaped filter value.
extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetNetbiosDomain)(JNIEnv* env, jobject self,
                                                                          jstring dnsDomainName) {
  TracedCall traced(env, "wGetNetbiosDomain", {{"dnsDomainName", dnsDomainName}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString dnsName = wideParameter(env, dnsDomainName);
    AdsiContext context = contextFor(settings);
    WideString netbiosName;
    HRESULT status = context.getNetbiosDomain(dnsName, &netbiosName);
    return newResultMessage(env, status, netbiosName);
  }));
}
