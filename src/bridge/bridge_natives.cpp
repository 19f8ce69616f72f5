// The native method that belongs to the bridge itself: a test of the connection settings.
#include "bridge/entry_points.h"
#include "bridge/native_frame.h"
#include "directory/adsi_context.h"

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wInit)(JNIEnv* env, jobject self) {
  return guardNative<jint>(0, [&]() -> jint {
    ConnectionSettings settings;
    if (!readConnectionSettings(env, self, &settings)) return 0;
    AdsiContext context(settings.lookupUserName, settings.lookupUserPassword, settings.serverName,
                        settings.serverIsDomain);
    ComPtr<IADs> rootDse;
    return context.bindRootDse(rootDse.put());
  });
}
