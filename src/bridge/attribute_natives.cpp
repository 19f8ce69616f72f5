// Native methods that read and write attributes of users, groups and any directory object,
// and read an object's GUID and parent. User and group names are resolved to distinguished
// names first; a failed resolution is the method's status and nothing else runs.
#include "bridge/call_context.h"
#include "bridge/entry_points.h"
#include "bridge/result_objects.h"
#include "directory/values.h"

namespace {

template <typename Operation>
HRESULT onResolvedUser(const AdsiContext& context, const WideString& userName, const WideString& userDomain,
                       Operation operation) {
  WideString logonName, dn;
  RETURN_IF_FAILED(context.resolveUser(userName, userDomain, &logonName, &dn));
  return operation(dn);
}

template <typename Operation>
HRESULT onResolvedGroup(const AdsiContext& context, const WideString& groupName, Operation operation) {
  WideString dn;
  RETURN_IF_FAILED(context.resolveGroup(groupName, &dn));
  return operation(dn);
}

jobject newStringListResult(JNIEnv* env, HRESULT status, const VariantArray& values) {
  return newResultStringList(env, status, newJavaStringArray(env, values.array(), status));
}

}  // namespace

// --- users ---

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetUserAttributeString)(JNIEnv* env, jobject self,
                                                                                jstring userName, jstring userDomain,
                                                                                jstring attributeName) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString user = wideParameter(env, userName), domain = wideParameter(env, userDomain);
    WideString attribute = wideParameter(env, attributeName);
    AdsiContext context = contextFor(settings);
    WideString value;
    HRESULT status = onResolvedUser(context, user, domain, [&](const WideString& dn) {
      return context.getUserAttributeString(dn, attribute, &value);
    });
    return newResultMessage(env, status, value);
  });
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetUserAttributeString)(JNIEnv* env, jobject self, jstring userName,
                                                                             jstring userDomain, jstring attributeName,
                                                                             jstring value) {
  return runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString user = wideParameter(env, userName), domain = wideParameter(env, userDomain);
    WideString attribute = wideParameter(env, attributeName), text = wideParameter(env, value);
    AdsiContext context = contextFor(settings);
    return onResolvedUser(context, user, domain, [&](const WideString& dn) {
      return context.setUserAttributeString(dn, attribute, text);
    });
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetUserAttributeInt)(JNIEnv* env, jobject self, jstring userName,
                                                                             jstring userDomain,
                                                                             jstring attributeName) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString user = wideParameter(env, userName), domain = wideParameter(env, userDomain);
    WideString attribute = wideParameter(env, attributeName);
    AdsiContext context = contextFor(settings);
    LONG value = 0;
    HRESULT status = onResolvedUser(context, user, domain, [&](const WideString& dn) {
      return context.getUserAttributeInt(dn, attribute, &value);
    });
    return newResultIntegerValue(env, status, value);
  });
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetUserAttributeInt)(JNIEnv* env, jobject self, jstring userName,
                                                                          jstring userDomain, jstring attributeName,
                                                                          jint value) {
  return runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString user = wideParameter(env, userName), domain = wideParameter(env, userDomain);
    WideString attribute = wideParameter(env, attributeName);
    AdsiContext context = contextFor(settings);
    return onResolvedUser(context, user, domain, [&](const WideString& dn) {
      return context.setUserAttributeInt(dn, attribute, value);
    });
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetUserAttributeLargeInt)(JNIEnv* env, jobject self,
                                                                                  jstring userName, jstring userDomain,
                                                                                  jstring attributeName) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString user = wideParameter(env, userName), domain = wideParameter(env, userDomain);
    WideString attribute = wideParameter(env, attributeName);
    AdsiContext context = contextFor(settings);
    LONG lowPart = 0, highPart = 0;
    HRESULT status = onResolvedUser(context, user, domain, [&](const WideString& dn) {
      return context.getUserAttributeLargeInt(dn, attribute, &lowPart, &highPart);
    });
    return newResultLargeIntegerValue(env, status, lowPart, highPart);
  });
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetUserAttributeLargeInt)(JNIEnv* env, jobject self,
                                                                               jstring userName, jstring userDomain,
                                                                               jstring attributeName, jint lowPart,
                                                                               jint highPart) {
  return runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString user = wideParameter(env, userName), domain = wideParameter(env, userDomain);
    WideString attribute = wideParameter(env, attributeName);
    AdsiContext context = contextFor(settings);
    return onResolvedUser(context, user, domain, [&](const WideString& dn) {
      return context.setUserAttributeLargeInt(dn, attribute, lowPart, highPart);
    });
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetUserAttributeStringArray)(JNIEnv* env, jobject self,
                                                                                     jstring userName,
                                                                                     jstring userDomain,
                                                                                     jstring attributeName) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString user = wideParameter(env, userName), domain = wideParameter(env, userDomain);
    WideString attribute = wideParameter(env, attributeName);
    AdsiContext context = contextFor(settings);
    VariantArray values;
    HRESULT status = onResolvedUser(context, user, domain, [&](const WideString& dn) {
      return context.getUserAttributeStringArray(dn, attribute, &values);
    });
    return newStringListResult(env, status, values);
  });
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetUserAttributeStringArray)(JNIEnv* env, jobject self,
                                                                                  jstring userName, jstring userDomain,
                                                                                  jstring attributeName,
                                                                                  jobjectArray values,
                                                                                  jint controlCode) {
  return runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString user = wideParameter(env, userName), domain = wideParameter(env, userDomain);
    WideString attribute = wideParameter(env, attributeName);
    VariantArray list;
    variantArrayFromJavaStrings(env, values, &list);
    RETURN_IF_FAILED(checkListWrite(controlCode, list));
    AdsiContext context = contextFor(settings);
    return onResolvedUser(context, user, domain, [&](const WideString& dn) {
      return context.setUserAttributeStringArray(dn, attribute, controlCode, list);
    });
  });
}

// --- groups ---

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wIsGroupNode)(JNIEnv* env, jobject self, jstring dn) {
  return runStatusNative(env, self, 0, [&](const ConnectionSettings& settings) -> jint {
    WideString name = wideParameter(env, dn);
    AdsiContext context = contextFor(settings);
    return context.isGroupNode(name);
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetGroupAttributeString)(JNIEnv* env, jobject self,
                                                                                 jstring groupName,
                                                                                 jstring attributeName) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString group = wideParameter(env, groupName), attribute = wideParameter(env, attributeName);
    AdsiContext context = contextFor(settings);
    WideString value;
    HRESULT status = onResolvedGroup(context, group, [&](const WideString& dn) {
      return context.getGroupAttributeString(dn, attribute, &value);
    });
    return newResultMessage(env, status, value);
  });
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetGroupAttributeString)(JNIEnv* env, jobject self,
                                                                              jstring groupName, jstring attributeName,
                                                                              jstring value) {
  return runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString group = wideParameter(env, groupName), attribute = wideParameter(env, attributeName);
    WideString text = wideParameter(env, value);
    AdsiContext context = contextFor(settings);
    return onResolvedGroup(context, group, [&](const WideString& dn) {
      return context.setGroupAttributeString(dn, attribute, text);
    });
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetGroupAttributeInt)(JNIEnv* env, jobject self,
                                                                              jstring groupName,
                                                                              jstring attributeName) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString group = wideParameter(env, groupName), attribute = wideParameter(env, attributeName);
    AdsiContext context = contextFor(settings);
    LONG value = 0;
    HRESULT status = onResolvedGroup(context, group, [&](const WideString& dn) {
      return context.getGroupAttributeInt(dn, attribute, &value);
    });
    return newResultIntegerValue(env, status, value);
  });
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetGroupAttributeInt)(JNIEnv* env, jobject self, jstring groupName,
                                                                           jstring attributeName, jint value) {
  return runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString group = wideParameter(env, groupName), attribute = wideParameter(env, attributeName);
    AdsiContext context = contextFor(settings);
    return onResolvedGroup(context, group, [&](const WideString& dn) {
      return context.setGroupAttributeInt(dn, attribute, value);
    });
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetGroupAttributeStringArray)(JNIEnv* env, jobject self,
                                                                                      jstring groupName,
                                                                                      jstring attributeName) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString group = wideParameter(env, groupName), attribute = wideParameter(env, attributeName);
    AdsiContext context = contextFor(settings);
    VariantArray values;
    HRESULT status = onResolvedGroup(context, group, [&](const WideString& dn) {
      return context.getGroupAttributeStringArray(dn, attribute, &values);
    });
    return newStringListResult(env, status, values);
  });
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetGroupAttributeStringArray)(JNIEnv* env, jobject self,
                                                                                   jstring groupName,
                                                                                   jstring attributeName,
                                                                                   jobjectArray values,
                                                                                   jint controlCode) {
  return runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString group = wideParameter(env, groupName), attribute = wideParameter(env, attributeName);
    VariantArray list;
    variantArrayFromJavaStrings(env, values, &list);
    RETURN_IF_FAILED(checkListWrite(controlCode, list));
    AdsiContext context = contextFor(settings);
    return onResolvedGroup(context, group, [&](const WideString& dn) {
      return context.setGroupAttributeStringArray(dn, attribute, controlCode, list);
    });
  });
}

// --- any object ---

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetNodeAttributeString)(JNIEnv* env, jobject self, jstring dn,
                                                                                jstring attributeName) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString name = wideParameter(env, dn), attribute = wideParameter(env, attributeName);
    AdsiContext context = contextFor(settings);
    WideString text;
    HRESULT status = context.getNodeAttributeString(name, attribute, &text);
    return newResultMessage(env, status, text);
  });
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetNodeAttributeString)(JNIEnv* env, jobject self, jstring dn,
                                                                             jstring attributeName, jstring value) {
  return runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString name = wideParameter(env, dn), attribute = wideParameter(env, attributeName);
    WideString text = wideParameter(env, value);
    AdsiContext context = contextFor(settings);
    return context.setNodeAttributeString(name, attribute, text);
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetNodeAttributeStringArray)(JNIEnv* env, jobject self,
                                                                                     jstring dn,
                                                                                     jstring attributeName) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString name = wideParameter(env, dn), attribute = wideParameter(env, attributeName);
    AdsiContext context = contextFor(settings);
    VariantArray values;
    HRESULT status = context.getNodeAttributeStringArray(name, attribute, &values);
    return newStringListResult(env, status, values);
  });
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetNodeAttributeStringArray)(JNIEnv* env, jobject self, jstring dn,
                                                                                  jstring attributeName,
                                                                                  jobjectArray values,
                                                                                  jint controlCode) {
  return runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString name = wideParameter(env, dn), attribute = wideParameter(env, attributeName);
    VariantArray list;
    variantArrayFromJavaStrings(env, values, &list);
    AdsiContext context = contextFor(settings);
    return context.setNodeAttributeStringArray(name, attribute, controlCode, list);
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetDeletedNodeAttributeString)(JNIEnv* env, jobject self,
                                                                                       jstring dn,
                                                                                       jstring attributeName) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString name = wideParameter(env, dn), attribute = wideParameter(env, attributeName);
    AdsiContext context = contextFor(settings);
    WideString text;
    HRESULT status = context.getDeletedNodeAttributeString(name, attribute, &text);
    return newResultMessage(env, status, text);
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetNodeGuid)(JNIEnv* env, jobject self, jstring dn) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString name = wideParameter(env, dn);
    AdsiContext context = contextFor(settings);
    WideString guid;
    HRESULT status = context.getNodeGuid(name, &guid);
    return newResultMessage(env, status, guid);
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetParentNode)(JNIEnv* env, jobject self, jstring dn) {
  return runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString name = wideParameter(env, dn);
    AdsiContext context = contextFor(settings);
    WideString parent;
    HRESULT status = context.getParentNode(name, &parent);
    return newResultMessage(env, status, parent);
  });
}
