// Native methods of the account lifecycle: create, delete, reset and change passwords, unlock,
// and the user test.
#include "bridge/call_context.h"
#include "bridge/entry_points.h"
#include "bridge/traced_call.h"

namespace {

// The frame of a native that works on one user named in any form.
template <typename Operation>
jint runOnResolvedUser(JNIEnv* env, jobject self, jstring userName, jstring userDomain, Operation operation) {
  return runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    return onUser(env, settings, userName, userDomain, operation);
  });
}

// The network password service's statuses for what a NUL would cut short: the text before it
// would be taken for the account, the old or the new password, or the domain.
constexpr jint userNotFound = NERR_UserNotFound;
constexpr jint invalidPassword = ERROR_INVALID_PASSWORD;  // the old password is not the account's
constexpr jint invalidParameter = ERROR_INVALID_PARAMETER;
constexpr jint invalidComputer = NERR_InvalidComputer;    // no such domain or server

}  // namespace

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wAddUser)(JNIEnv* env, jobject self, jstring userName,
                                                              jstring containerDn) {
  TracedCall traced(env, "wAddUser", {{"userName", userName}, {"containerDn", containerDn}});
  return traced.returns(runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    WideString user = wideParameter(env, userName);
    WideString container = wideParameter(env, containerDn);
    // The name becomes the account name too, a value the directory interface would cut at a NUL.
    if (holdsNul(user)) return E_INVALIDARG;
    AdsiContext context = contextFor(settings);
    return context.addUser(user, container);
  }));
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wDeleteUser)(JNIEnv* env, jobject self, jstring userName,
                                                                 jstring userDomain) {
  TracedCall traced(env, "wDeleteUser", {{"userName", userName}, {"userDomain", userDomain}});
  return traced.returns(runOnResolvedUser(env, self, userName, userDomain,
                           [](const AdsiContext& context, const WideString& dn) { return context.deleteUser(dn); }));
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wResetPassword)(JNIEnv* env, jobject self, jstring userName,
                                                                    jstring newPassword, jstring userDomain) {
  TracedCall traced(env, "wResetPassword", {{"userName", userName}, {"userDomain", userDomain}});
  return traced.returns(runStatusNative(env, self, E_HANDLE, [&](const ConnectionSettings& settings) -> jint {
    SecretText password;
    javaStringToWide(env, newPassword, password.put());
    // Cut short at a NUL, the account would be given another password than the one asked for.
    if (holdsNul(password.get())) return E_INVALIDARG;
    return onUser(env, settings, userName, userDomain, [&](const AdsiContext& context, const WideString& dn) {
      return context.resetPassword(dn, password.get());
    });
  }));
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wUnlockAccount)(JNIEnv* env, jobject self, jstring userName,
                                                                    jstring userDomain) {
  TracedCall traced(env, "wUnlockAccount", {{"userName", userName}, {"userDomain", userDomain}});
  return traced.returns(runOnResolvedUser(env, self, userName, userDomain,
                           [](const AdsiContext& context, const WideString& dn) { return context.unlockAccount(dn); }));
}

extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wIsUserNode)(JNIEnv* env, jobject self, jstring dn) {
  TracedCall traced(env, "wIsUserNode", {{"dn", dn}});
  return traced.returns(runStatusNative(env, self, 0, [&](const ConnectionSettings& settings) -> jint {
    WideString name = wideParameter(env, dn);
    AdsiContext context = contextFor(settings);
    return context.isUserNode(name);
  }));
}

// Reads no settings and touches no COM: the network account service is called with the four
// texts as given, an absent one as an empty text. An empty account (or DOMAIN\ alone) is refused
// here: the service would take the caller's own logon name for it.
extern "C" JNIEXPORT jint JNICALL ORVISTAL_NATIVE(wChangePassword)(JNIEnv* env, jobject self, jstring userName,
                                                                     jstring oldPassword, jstring newPassword,
                                                                     jstring domainName) {
  TracedCall traced(env, "wChangePassword", {{"userName", userName}, {"domainName", domainName}});
  return traced.returns(guardStatusNative([&]() -> jint {
    WideString user = wideParameter(env, userName);
    SecretText oldText, newText;
    javaStringToWide(env, oldPassword, oldText.put());
    javaStringToWide(env, newPassword, newText.put());
    WideString domain = wideParameter(env, domainName);
    if (user.empty() || user.back() == WIDE('\\')) return invalidParameter;
    if (holdsNul(user)) return userNotFound;
    if (holdsNul(oldText.get())) return invalidPassword;
    if (holdsNul(newText.get())) return invalidParameter;
    if (holdsNul(domain)) return invalidComputer;
    return static_cast<jint>(
        NetUserChangePassword(domain.c_str(), user.c_str(), oldText.get().c_str(), newText.get().c_str()));
  }));
}
