// The per-call directory context made from a call's connection settings, and the frame of the
// natives that work on one user, group or node: the names converted, the context made, the
// user or group resolved to its distinguished name, then the operation on it. A failed
// resolution is the call's status and nothing else runs.
#pragma once
#include "bridge/native_frame.h"
#include "directory/adsi_context.h"
#include "directory/name_translator.h"

inline AdsiContext contextFor(const ConnectionSettings& settings) {
  return AdsiContext(settings.lookupUserName, settings.lookupUserPassword, settings.serverName,
                     settings.serverIsDomain);
}

inline NameTranslator translatorFor(const ConnectionSettings& settings) {
  return NameTranslator(settings.lookupUserName, settings.lookupUserPassword, settings.serverName,
                        settings.serverIsDomain);
}

using Context = const AdsiContext&;
using Name = const WideString&;

// A refusal (a failed check of the call's own texts) ends the call before anything is sent.
template <typename Operation>
HRESULT onUser(JNIEnv* env, const ConnectionSettings& settings, jstring userName, jstring userDomain, HRESULT refusal,
               Operation operation) {
  RETURN_IF_FAILED(refusal);
  WideString user = wideParameter(env, userName), domain = wideParameter(env, userDomain);
  AdsiContext context = contextFor(settings);
  WideString logonName, dn;
  RETURN_IF_FAILED(context.resolveUser(user, domain, &logonName, &dn));
  return operation(context, dn);
}

template <typename Operation>
HRESULT onUser(JNIEnv* env, const ConnectionSettings& settings, jstring userName, jstring userDomain,
               Operation operation) {
  return onUser(env, settings, userName, userDomain, S_OK, operation);
}

template <typename Operation>
HRESULT onGroup(JNIEnv* env, const ConnectionSettings& settings, jstring groupName, HRESULT refusal,
                Operation operation) {
  RETURN_IF_FAILED(refusal);
  WideString group = wideParameter(env, groupName);
  AdsiContext context = contextFor(settings);
  WideString dn;
  RETURN_IF_FAILED(context.resolveGroup(group, &dn));
  return operation(context, dn);
}

// Any object is named by its distinguished name as given; nothing is resolved.
template <typename Operation>
HRESULT onNode(JNIEnv* env, const ConnectionSettings& settings, jstring dn, HRESULT refusal, Operation operation) {
  RETURN_IF_FAILED(refusal);
  WideString name = wideParameter(env, dn);
  AdsiContext context = contextFor(settings);
  return operation(context, name);
}
