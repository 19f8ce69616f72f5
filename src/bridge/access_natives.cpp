// Native method of the node access check.
#include "bridge/call_context.h"
#include "bridge/entry_points.h"
#include "bridge/traced_call.h"
#include "bridge/result_objects.h"

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wCheckNodeAccess)(JNIEnv* env, jobject self, jstring dn,
                                                                         jint desiredAccess) {
  TracedCall traced(env, "wCheckNodeAccess", {{"dn", dn}, {"desiredAccess", desiredAccess}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) -> jobject {
    WideString nodeDn = wideParameter(env, dn);
    AdsiContext context = contextFor(settings);
    DWORD grantedAccess = 0;
    DWORD accessStatus = 0;
    HRESULT status =
        context.checkNodeAccess(nodeDn, static_cast<DWORD>(desiredAccess), &grantedAccess, &accessStatus);
    return newResultCheckAccess(env, status, grantedAccess, accessStatus);
  }));
}
