// Native methods of the security subsystem.
#include "bridge/entry_points.h"
#include "bridge/native_frame.h"
#include "directory/adsi_context.h"

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wVerifyPassword)(JNIEnv* env, jobject self, jstring userName,
                                                                     jstring password, jstring domainName) {
  return guardStatusNative([&]() -> jint {
    ConnectionSettings settings;
    if (!readConnectionSettings(env, self, &settings)) return E_HANDLE;
    WideString user = wideParameter(env, userName);
    SecretText secret(wideParameter(env, password));
    WideString domain = wideParameter(env, domainName);
    AdsiContext context(settings.lookupUserName, settings.lookupUserPassword, settings.serverName,
                        settings.serverIsDomain);
    return context.verifyPassword(user, domain, secret.get());
  });
}
