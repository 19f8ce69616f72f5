// Native methods of the directory core: name translation and account name resolution.
#include "bridge/call_context.h"
#include "bridge/entry_points.h"
#include "bridge/traced_call.h"
#include "bridge/result_objects.h"

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wTranslateName)(JNIEnv* env, jobject self, jstring name,
                                                                       jint inputFormat, jint outputFormat) {
  TracedCall traced(env, "wTranslateName",
                    {{"name", name}, {"inputFormat", inputFormat}, {"outputFormat", outputFormat}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString nameText = wideParameter(env, name);
    NameTranslator translator = translatorFor(settings);
    WideString translated;
    HRESULT status = translator.translate(&translated, nameText, inputFormat, outputFormat);
    return newResultMessage(env, status, translated);
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetUserDsn)(JNIEnv* env, jobject self, jstring userName,
                                                                    jstring userDomain) {
  TracedCall traced(env, "wGetUserDsn", {{"userName", userName}, {"userDomain", userDomain}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString user = wideParameter(env, userName);
    WideString domain = wideParameter(env, userDomain);
    AdsiContext context = contextFor(settings);
    WideString logonName, dn;
    HRESULT status = context.resolveUser(user, domain, &logonName, &dn);
    return newResultMessage(env, status, dn);
  }));
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetGroupDsn)(JNIEnv* env, jobject self, jstring groupName) {
  TracedCall traced(env, "wGetGroupDsn", {{"groupName", groupName}});
  return traced.returns(runObjectNative(env, self, [&](const ConnectionSettings& settings) {
    WideString group = wideParameter(env, groupName);
    AdsiContext context = contextFor(settings);
    WideString dn;
    HRESULT status = context.resolveGroup(group, &dn);
    return newResultMessage(env, status, dn);
  }));
}
