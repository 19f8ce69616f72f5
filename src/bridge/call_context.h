// The per-call directory context made from a call's connection settings.
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
