// Native methods of user container discovery.
#include "bridge/call_context.h"
#include "bridge/entry_points.h"
#include "bridge/traced_call.h"
#include "bridge/result_objects.h"

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wIsUserContainerNode)(JNIEnv* env, jobject self, jstring dn) {
  TracedCall traced(env, "wIsUserContainerNode", {{"dn", dn}});
  return traced.returns(runStatusNative(env, self, 0, [&](const ConnectionSettings& settings) -> jint {
    WideString nodeDn = wideParameter(env, dn);
    AdsiContext context = contextFor(settings);
    return context.isUserContainer(nodeDn);
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetChildUserContainers)(JNIEnv* env, jobject self,
                                                                                jstring dn) {
  TracedCall traced(env, "wGetChildUserContainers", {{"dn", dn}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) -> jobject {
    WideString nodeDn = wideParameter(env, dn);
    AdsiContext context = contextFor(settings);
    StringList containers;
    HRESULT status = context.getChildUserContainers(nodeDn, &containers);
    return newResultStringList(env, status, containers);
  }));
}
