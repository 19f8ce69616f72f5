// Native methods of the account lifecycle: create, delete, reset and change passwords, unlock,
// and the user test.
#include "bridge/call_context.h"
#include "bridge/entry_points.h"

namespace {

// The frame of a native that works on one user named in any form.
template <typename Operation>
jint runOnResolvedUser(JNIEnv* env, jobject self, jstring userName, jstring userDomain, Operation operation) {
  return runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    return onUser(env, settings, userName, userDomain, operation);
  });
}

}  // namespace

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wAddUser)(JNIEnv* env, jobject self, jstring userName,
                                                              jstring containerDn) {
  return runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString user = wideParameter(env, userName);
    WideString container = wideParameter(env, containerDn);
    AdsiContext context = contextFor(settings);
    return context.addUser(user, container);
  });
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wDeleteUser)(JNIEnv* env, jobject self, jstring userName,
                                                                 jstring userDomain) {
  return runOnResolvedUser(env, self, userName, userDomain,
                           [](const AdsiContext& context, const WideString& dn) { return context.deleteUser(dn); });
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wResetPassword)(JNIEnv* env, jobject self, jstring userName,
                                                                    jstring newPassword, jstring userDomain) {
  return runOnResolvedUser(env, self, userName, userDomain, [&](const AdsiContext& context, const WideString& dn) {
    SecretText password;
    javaStringToWide(env, newPassword, password.put());
    return context.resetPassword(dn, password.get());
  });
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wUnlockAccount)(JNIEnv* env, jobject self, jstring userName,
                                                                    jstring userDomain) {
  return runOnResolvedUser(env, self, userName, userDomain,
                           [](const AdsiContext& context, const WideString& dn) { return context.unlockAccount(dn); });
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wIsUserNode)(JNIEnv* env, jobject self, jstring dn) {
  return runStatusNative(env, self, 0, [&](const ConnectionSettings& settings) -> jint {
    WideString name = wideParameter(env, dn);
    AdsiContext context = contextFor(settings);
    return context.isUserNode(name);
  });
}

// Reads no settings and touches no COM: the network account service is called with the four
// texts as given, an absent one as an empty text.
extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wChangePassword)(JNIEnv* env, jobject self, jstring userName,
                                                                     jstring oldPassword, jstring newPassword,
                                                                     jstring domainName) {
  return guardStatusNative([&]() -> jint {
    WideString user = wideParameter(env, userName);
    SecretText oldText, newText;
    javaStringToWide(env, oldPassword, oldText.put());
    javaStringToWide(env, newPassword, newText.put());
    WideString domain = wideParameter(env, domainName);
    return static_cast<jint>(
        NetUserChangePassword(domain.c_str(), user.c_str(), oldText.get().c_str(), newText.get().c_str()));
  });
}
