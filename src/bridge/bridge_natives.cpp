// The native method that belongs to the bridge itself: a test of the connection settings.
#include "bridge/call_context.h"
#include "bridge/entry_points.h"
#include "bridge/traced_call.h"

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wInit)(JNIEnv* env, jobject self) {
  TracedCall traced(env, "wInit", {});
  return traced.returns(runStatusNative(env, self, 0, [&](const ConnectionSettings& settings) -> jint {
    AdsiContext context = contextFor(settings);
    ComPtr<IADs> rootDse;
    return context.bindRootDse(rootDse.put());
  }));
}
