// Native methods of the security subsystem.
#include "bridge/call_context.h"
#include "bridge/entry_points.h"
#include "bridge/traced_call.h"

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wVerifyPassword)(JNIEnv* env, jobject self, jstring userName,
                                                                     jstring password, jstring domainName) {
  TracedCall traced(env, "wVerifyPassword", {{"userName", userName}, {"domainName", domainName}});
  return traced.returns(runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString user = wideParameter(env, userName);
    SecretText secret;
    javaStringToWide(env, password, secret.put());
    WideString domain = wideParameter(env, domainName);
    AdsiContext context = contextFor(settings);
    return context.verifyPassword(user, domain, secret.get());
  }));
}
