// How an account name given by the Java side is told apart: a distinguished name, a
// DOMAIN\account or principal name, or a bare account name.
#pragma once
#include "platform.h"

enum class AccountNameForm { DistinguishedName, QualifiedName, BareName };

AccountNameForm accountNameFormOf(const WideString& name);
