// Native methods of node search and of the NetBIOS name of a domain.
#include "bridge/call_context.h"
#include "bridge/entry_points.h"
#include "bridge/result_objects.h"


extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wSearchNodes)(JNIEnv* env, jobject self, jstring baseDn,
                                                                     jstring filter) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString base = wideParameter(env, baseDn);
    WideString filterText = wideParameter(env, filter);
    AdsiContext context = contextFor(settings);
    StringList found;
    HRESULT status = context.searchNodes(base, filterText, &found);
    return newResultStringList(env, status, found);
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wSearchDeletedNodes)(JNIEnv* env, jobject self,
                                                                            jstring filter) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString filterText = wideParameter(env, filter);
    AdsiContext context = contextFor(settings);
    StringList found;
    HRESULT status = context.searchDeletedNodes(filterText, &found);
    return newResultStringList(env, status, found);
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wFindNodeValues)(JNIEnv* env, jobject self, jstring baseDn,
                                                                        jstring attributeName, jstring filter,
                                                                        jint sizeLimit, jint timeLimit) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString base = wideParameter(env, baseDn);
    WideString attribute = wideParameter(env, attributeName);
    WideString filterText = wideParameter(env, filter);
    AdsiContext context = contextFor(settings);
    StringList found;
    HRESULT status = context.findNodeValues(base, attribute, filterText, sizeLimit, timeLimit, &found);
    return newResultStringList(env, status, found);
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetNodeAttributes)(JNIEnv* env, jobject self, jstring baseDn,
                                                                           jstring filter,
                                                                           jobjectArray attributeNames) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString base = wideParameter(env, baseDn);
    WideString filterText = wideParameter(env, filter);
    StringList names = stringListFromJavaStrings(env, attributeNames);
    AdsiContext context = contextFor(settings);
    StringList values;
    HRESULT status = context.searchFirstEntry(base, filterText, names, &values);
    return newResultArrayNameValue(env, status, names, values);
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetNetbiosDomain)(JNIEnv* env, jobject self,
                                                                          jstring dnsDomainName) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString dnsName = wideParameter(env, dnsDomainName);
    AdsiContext context = contextFor(settings);
    WideString netbiosName;
    HRESULT status = context.getNetbiosDomain(dnsName, &netbiosName);
    return newResultMessage(env, status, netbiosName);
  });
}
