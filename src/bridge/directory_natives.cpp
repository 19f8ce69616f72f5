// Native methods of the directory core: name translation and account name resolution.
#include "bridge/entry_points.h"
#include "bridge/native_frame.h"
#include "bridge/result_objects.h"
#include "directory/adsi_context.h"
#include "directory/name_translator.h"

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wTranslateName)(JNIEnv* env, jobject self, jstring name,
                                                                       jint inputFormat, jint outputFormat) {
  return guardNative<jobject>(nullptr, [&]() -> jobject {
    ConnectionSettings settings;
    if (!readConnectionSettings(env, self, &settings)) return nullptr;
    WideString nameText = wideParameter(env, name);
    NameTranslator translator(settings.lookupUserName, settings.lookupUserPassword, settings.serverName,
                              settings.serverIsDomain);
    WideString translated;
    HRESULT status = translator.translate(&translated, nameText, inputFormat, outputFormat);
    return newResultMessage(env, status, translated);
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetUserDsn)(JNIEnv* env, jobject self, jstring userName,
                                                                    jstring userDomain) {
  return guardNative<jobject>(nullptr, [&]() -> jobject {
    ConnectionSettings settings;
    if (!readConnectionSettings(env, self, &settings)) return nullptr;
    WideString user = wideParameter(env, userName);
    WideString domain = wideParameter(env, userDomain);
    AdsiContext context(settings.lookupUserName, settings.lookupUserPassword, settings.serverName,
                        settings.serverIsDomain);
    WideString logonName, dn;
    HRESULT status = context.resolveUser(user, domain, &logonName, &dn);
    return newResultMessage(env, status, dn);
  });
}

extern "C" JNIEXPORT jobject JNICALL ORVISTAL_NATIVE(wGetGroupDsn)(JNIEnv* env, jobject self, jstring groupName) {
  return guardNative<jobject>(nullptr, [&]() -> jobject {
    ConnectionSettings settings;
    if (!readConnectionSettings(env, self, &settings)) return nullptr;
    WideString group = wideParameter(env, groupName);
    AdsiContext context(settings.lookupUserName, settings.lookupUserPassword, settings.serverName,
                        settings.serverIsDomain);
    WideString dn;
    HRESULT status = context.resolveGroup(group, &dn);
    return newResultMessage(env, status, dn);
  });
}
