// How an account name given by the Java side is told apart: a distinguished name, a
// DOMAIN\account or principal name, or a bare account name.
#pragma once
#include "platform.h"

enum class AccountNameForm { DistinguishedName, QualifiedName, BareName };

AccountNameForm accountNameFormOf(const WideString& name);

// A DOMAIN\account name split at its first backslash; false, with both parts untouched, when
// the name holds no backslash.
bool splitDownLevelName(const WideString& name, WideString* domain, WideString* account);

// The account part of a name: the text after the backslash of DOMAIN\account, before the last
// "@" of a principal name, else the whole name.
WideString accountPartOf(const WideString& name);
