// Native methods that read and write attributes of users, groups and any directory object,
// and read an object's GUID and parent. User and group names are resolved to distinguished
// names first; a failed resolution is the method's status and nothing else runs.
#include "bridge/call_context.h"
#include "bridge/entry_points.h"
#include "bridge/traced_call.h"
#include "bridge/result_objects.h"
#include "directory/values.h"

namespace {

// The operation's own texts, checked before anything is sent (the refusal the frames return
// first): cut short at a NUL they would name another attribute, or write another value, than
// the caller's. An attribute name with one names nothing; a value with one is refused.
HRESULT attributeRefusal(Name attribute, HRESULT valuesStatus = S_OK) {
  if (holdsNul(attribute)) return DS_NO_SUCH_OBJECT;
  return valuesStatus;
}

HRESULT valueStatus(Name value) { return holdsNul(value) ? E_INVALIDARG : S_OK; }

jobject newStringListResult(JNIEnv* env, HRESULT status, const VariantArray& values) {
  return newResultStringList(env, status, values.array());
}

}  // namespace

// --- users ---

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetUserAttributeString)(JNIEnv* env, jobject self,
                                                                              jstring userName, jstring userDomain,
                                                                              jstring attributeName) {
  TracedCall traced(env, "wGetUserAttributeString",
                    {{"userName", userName}, {"userDomain", userDomain}, {"attributeName", attributeName}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString attribute = wideParameter(env, attributeName), value;
    HRESULT status = onUser(env, settings, userName, userDomain, attributeRefusal(attribute),
                            [&](Context context, Name dn) {
      return context.getAttributeString(AttributeTarget::user, dn, attribute, &value);
    });
    return newResultMessage(env, status, value);
  }));
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetUserAttributeString)(JNIEnv* env, jobject self, jstring userName,
                                                                           jstring userDomain, jstring attributeName,
                                                                           jstring value) {
  TracedCall traced(env, "wSetUserAttributeString",
                    {{"userName", userName}, {"userDomain", userDomain}, {"attributeName", attributeName}});
  return traced.returns(runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString attribute = wideParameter(env, attributeName), text = wideParameter(env, value);
    return onUser(env, settings, userName, userDomain, attributeRefusal(attribute, valueStatus(text)),
                  [&](Context context, Name dn) {
                    return context.setAttributeString(AttributeTarget::user, dn, attribute, text);
                  });
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetUserAttributeInt)(JNIEnv* env, jobject self, jstring userName,
                                                                           jstring userDomain, jstring attributeName) {
  TracedCall traced(env, "wGetUserAttributeInt",
                    {{"userName", userName}, {"userDomain", userDomain}, {"attributeName", attributeName}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString attribute = wideParameter(env, attributeName);
    LONG value = 0;
    HRESULT status = onUser(env, settings, userName, userDomain, attributeRefusal(attribute),
                            [&](Context context, Name dn) {
      return context.getAttributeInt(AttributeTarget::user, dn, attribute, &value);
    });
    return newResultIntegerValue(env, status, value);
  }));
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetUserAttributeInt)(JNIEnv* env, jobject self, jstring userName,
                                                                        jstring userDomain, jstring attributeName,
                                                                        jint value) {
  TracedCall traced(env, "wSetUserAttributeInt",
                    {{"userName", userName}, {"userDomain", userDomain}, {"attributeName", attributeName}});
  return traced.returns(runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString attribute = wideParameter(env, attributeName);
    return onUser(env, settings, userName, userDomain, attributeRefusal(attribute), [&](Context context, Name dn) {
      return context.setAttributeInt(AttributeTarget::user, dn, attribute, value);
    });
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetUserAttributeLargeInt)(JNIEnv* env, jobject self,
                                                                                jstring userName, jstring userDomain,
                                                                                jstring attributeName) {
  TracedCall traced(env, "wGetUserAttributeLargeInt",
                    {{"userName", userName}, {"userDomain", userDomain}, {"attributeName", attributeName}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString attribute = wideParameter(env, attributeName);
    LONG lowPart = 0, highPart = 0;
    HRESULT status = onUser(env, settings, userName, userDomain, attributeRefusal(attribute),
                            [&](Context context, Name dn) {
      return context.getAttributeLargeInt(AttributeTarget::user, dn, attribute, &lowPart, &highPart);
    });
    return newResultLargeIntegerValue(env, status, lowPart, highPart);
  }));
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetUserAttributeLargeInt)(JNIEnv* env, jobject self,
                                                                             jstring userName, jstring userDomain,
                                                                             jstring attributeName, jint lowPart,
                                                                             jint highPart) {
  TracedCall traced(env, "wSetUserAttributeLargeInt",
                    {{"userName", userName}, {"userDomain", userDomain}, {"attributeName", attributeName}});
  return traced.returns(runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString attribute = wideParameter(env, attributeName);
    return onUser(env, settings, userName, userDomain, attributeRefusal(attribute),
                            [&](Context context, Name dn) {
      return context.setAttributeLargeInt(AttributeTarget::user, dn, attribute, lowPart, highPart);
    });
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetUserAttributeStringArray)(JNIEnv* env, jobject self,
                                                                                   jstring userName, jstring userDomain,
                                                                                   jstring attributeName) {
  TracedCall traced(env, "wGetUserAttributeStringArray",
                    {{"userName", userName}, {"userDomain", userDomain}, {"attributeName", attributeName}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString attribute = wideParameter(env, attributeName);
    VariantArray values;
    HRESULT status = onUser(env, settings, userName, userDomain, attributeRefusal(attribute),
                            [&](Context context, Name dn) {
      return context.getAttributeStringArray(AttributeTarget::user, dn, attribute, &values);
    });
    return newStringListResult(env, status, values);
  }));
}

// The list is built before anything else, and refused before any directory access when
// writing it would remove every value by accident.
extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetUserAttributeStringArray)(JNIEnv* env, jobject self,
                                                                                jstring userName, jstring userDomain,
                                                                                jstring attributeName,
                                                                                jobjectArray values, jint controlCode) {
  TracedCall traced(env, "wSetUserAttributeStringArray",
                    {{"userName", userName},
                     {"userDomain", userDomain},
                     {"attributeName", attributeName},
                     {"controlCode", controlCode}});
  return traced.returns(runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    VariantArray list;
    HRESULT listStatus = variantArrayFromJavaStrings(env, values, &list);
    RETURN_IF_FAILED(checkListWrite(controlCode, list));
    WideString attribute = wideParameter(env, attributeName);
    return onUser(env, settings, userName, userDomain, attributeRefusal(attribute, listStatus),
                  [&](Context context, Name dn) {
      return context.setAttributeStringArray(AttributeTarget::user, dn, attribute, controlCode, list);
    });
  }));
}

// --- groups ---

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wIsGroupNode)(JNIEnv* env, jobject self, jstring dn) {
  TracedCall traced(env, "wIsGroupNode", {{"dn", dn}});
  return traced.returns(runStatusNative(env, self, 0, [&](const ConnectionSettings& settings) -> jint {
    return onNode(env, settings, dn, S_OK, [&](Context context, Name name) { return context.isGroupNode(name); });
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetGroupAttributeString)(JNIEnv* env, jobject self,
                                                                               jstring groupName,
                                                                               jstring attributeName) {
  TracedCall traced(env, "wGetGroupAttributeString", {{"groupName", groupName}, {"attributeName", attributeName}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString attribute = wideParameter(env, attributeName), value;
    HRESULT status = onGroup(env, settings, groupName, attributeRefusal(attribute), [&](Context context, Name dn) {
      return context.getAttributeString(AttributeTarget::group, dn, attribute, &value);
    });
    return newResultMessage(env, status, value);
  }));
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetGroupAttributeString)(JNIEnv* env, jobject self,
                                                                            jstring groupName, jstring attributeName,
                                                                            jstring value) {
  TracedCall traced(env, "wSetGroupAttributeString", {{"groupName", groupName}, {"attributeName", attributeName}});
  return traced.returns(runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString attribute = wideParameter(env, attributeName), text = wideParameter(env, value);
    return onGroup(env, settings, groupName, attributeRefusal(attribute, valueStatus(text)),
                   [&](Context context, Name dn) {
                     return context.setAttributeString(AttributeTarget::group, dn, attribute, text);
                   });
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetGroupAttributeInt)(JNIEnv* env, jobject self,
                                                                            jstring groupName, jstring attributeName) {
  TracedCall traced(env, "wGetGroupAttributeInt", {{"groupName", groupName}, {"attributeName", attributeName}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString attribute = wideParameter(env, attributeName);
    LONG value = 0;
    HRESULT status = onGroup(env, settings, groupName, attributeRefusal(attribute), [&](Context context, Name dn) {
      return context.getAttributeInt(AttributeTarget::group, dn, attribute, &value);
    });
    return newResultIntegerValue(env, status, value);
  }));
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetGroupAttributeInt)(JNIEnv* env, jobject self, jstring groupName,
                                                                         jstring attributeName, jint value) {
  TracedCall traced(env, "wSetGroupAttributeInt", {{"groupName", groupName}, {"attributeName", attributeName}});
  return traced.returns(runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString attribute = wideParameter(env, attributeName);
    return onGroup(env, settings, groupName, attributeRefusal(attribute), [&](Context context, Name dn) {
      return context.setAttributeInt(AttributeTarget::group, dn, attribute, value);
    });
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetGroupAttributeStringArray)(JNIEnv* env, jobject self,
                                                                                    jstring groupName,
                                                                                    jstring attributeName) {
  TracedCall traced(env, "wGetGroupAttributeStringArray", {{"groupName", groupName}, {"attributeName", attributeName}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString attribute = wideParameter(env, attributeName);
    VariantArray values;
    HRESULT status = onGroup(env, settings, groupName, attributeRefusal(attribute), [&](Context context, Name dn) {
      return context.getAttributeStringArray(AttributeTarget::group, dn, attribute, &values);
    });
    return newStringListResult(env, status, values);
  }));
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetGroupAttributeStringArray)(
    JNIEnv* env, jobject self, jstring groupName, jstring attributeName, jobjectArray values, jint controlCode) {
  TracedCall traced(env, "wSetGroupAttributeStringArray",
                    {{"groupName", groupName}, {"attributeName", attributeName}, {"controlCode", controlCode}});
  return traced.returns(runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    VariantArray list;
    HRESULT listStatus = variantArrayFromJavaStrings(env, values, &list);
    RETURN_IF_FAILED(checkListWrite(controlCode, list));
    WideString attribute = wideParameter(env, attributeName);
    return onGroup(env, settings, groupName, attributeRefusal(attribute, listStatus), [&](Context context, Name dn) {
      return context.setAttributeStringArray(AttributeTarget::group, dn, attribute, controlCode, list);
    });
  }));
}

// --- any object ---

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetNodeAttributeString)(JNIEnv* env, jobject self, jstring dn,
                                                                              jstring attributeName) {
  TracedCall traced(env, "wGetNodeAttributeString", {{"dn", dn}, {"attributeName", attributeName}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString attribute = wideParameter(env, attributeName), text;
    HRESULT status = onNode(env, settings, dn, attributeRefusal(attribute), [&](Context context, Name name) {
      return context.getAttributeText(AttributeTarget::node, name, attribute, &text);
    });
    return newResultMessage(env, status, text);
  }));
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetNodeAttributeString)(JNIEnv* env, jobject self, jstring dn,
                                                                           jstring attributeName, jstring value) {
  TracedCall traced(env, "wSetNodeAttributeString", {{"dn", dn}, {"attributeName", attributeName}});
  return traced.returns(runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString attribute = wideParameter(env, attributeName), text = wideParameter(env, value);
    return onNode(env, settings, dn, attributeRefusal(attribute, valueStatus(text)), [&](Context context, Name name) {
      return context.setAttributeString(AttributeTarget::node, name, attribute, text);
    });
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetNodeAttributeStringArray)(JNIEnv* env, jobject self,
                                                                                   jstring dn, jstring attributeName) {
  TracedCall traced(env, "wGetNodeAttributeStringArray", {{"dn", dn}, {"attributeName", attributeName}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString attribute = wideParameter(env, attributeName);
    VariantArray values;
    HRESULT status = onNode(env, settings, dn, attributeRefusal(attribute), [&](Context context, Name name) {
      return context.getAttributeStringArray(AttributeTarget::node, name, attribute, &values);
    });
    return newStringListResult(env, status, values);
  }));
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wSetNodeAttributeStringArray)(JNIEnv* env, jobject self, jstring dn,
                                                                                jstring attributeName,
                                                                                jobjectArray values, jint controlCode) {
  TracedCall traced(env, "wSetNodeAttributeStringArray",
                    {{"dn", dn}, {"attributeName", attributeName}, {"controlCode", controlCode}});
  return traced.returns(runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    VariantArray list;
    HRESULT listStatus = variantArrayFromJavaStrings(env, values, &list);
    WideString attribute = wideParameter(env, attributeName);
    return onNode(env, settings, dn, attributeRefusal(attribute, listStatus), [&](Context context, Name name) {
      return context.setAttributeStringArray(AttributeTarget::node, name, attribute, controlCode, list);
    });
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetDeletedNodeAttributeString)(JNIEnv* env, jobject self,
                                                                                     jstring dn,
                                                                                     jstring attributeName) {
  TracedCall traced(env, "wGetDeletedNodeAttributeString", {{"dn", dn}, {"attributeName", attributeName}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString attribute = wideParameter(env, attributeName), text;
    HRESULT status = onNode(env, settings, dn, attributeRefusal(attribute), [&](Context context, Name name) {
      return context.getAttributeText(AttributeTarget::deletedNode, name, attribute, &text);
    });
    return newResultMessage(env, status, text);
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetNodeGuid)(JNIEnv* env, jobject self, jstring dn) {
  TracedCall traced(env, "wGetNodeGuid", {{"dn", dn}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString guid;
    HRESULT status =
        onNode(env, settings, dn, S_OK, [&](Context context, Name name) { return context.getNodeGuid(name, &guid); });
    return newResultMessage(env, status, guid);
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetParentNode)(JNIEnv* env, jobject self, jstring dn) {
  TracedCall traced(env, "wGetParentNode", {{"dn", dn}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString parent;
    HRESULT status = onNode(env, settings, dn, S_OK,
                            [&](Context context, Name name) { return context.getParentNode(name, &parent); });
    return newResultMessage(env, status, parent);
  }));
}
