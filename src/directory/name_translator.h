// Conversion of a directory object's name between formats through the directory's
// name-translation service, with the connection's credentials.
#pragma once
#include <initializer_list>

#include "directory/owners.h"

class NameTranslator {
 public:
  NameTranslator(const WideString& lookupUserName, const WideString& lookupUserPassword, const WideString& serverName,
                 bool serverIsDomain);
  ~NameTranslator() { secureWipe(&lookupUserPassword_); }
  NameTranslator(const NameTranslator&) = delete;
  NameTranslator& operator=(const NameTranslator&) = delete;

  // On success the output holds the translated name; on failure it is left as it was.
  HRESULT translate(WideString* output, const WideString& name, LONG inputFormat, LONG outputFormat) const;
  // The name in the first of the output formats it has, found once; the last format's failure
  // when it has none of them.
  HRESULT translateToFirstOf(WideString* output, const WideString& name, LONG inputFormat,
                             std::initializer_list<LONG> outputFormats) const;

  HRESULT comInitResult() const { return comInit_.result(); }

 private:
  HRESULT initialise(IADsNameTranslate* service) const;
  HRESULT openRootEntry() const;

  ComApartment comInit_;
  WideString lookupUserName_;
  WideString lookupUserPassword_;
  WideString serverName_;
  bool serverIsDomain_;
  // Holds the bind account's pooled connection open while the translator lives.
  mutable ComPtr<IADs> rootEntry_;
  mutable HRESULT rootEntryStatus_ = S_FALSE;  // not yet tried
};
