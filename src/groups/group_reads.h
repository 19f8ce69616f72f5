// The attribute reads that group expansion makes on a member: one attribute, loaded by name,
// read and converted; a user is bound as a user, any other object plainly.
#pragma once
#include "directory/adsi_context.h"

class VariantArray;

HRESULT readUserInteger(const AdsiContext& context, const WideString& userDn, const WideString& name, LONG* value);
HRESULT readNodeInteger(const AdsiContext& context, const WideString& dn, const WideString& name, LONG* value);
HRESULT readUserStringArray(const AdsiContext& context, const WideString& userDn, const WideString& name,
                            VariantArray* values);
HRESULT readNodeStringArray(const AdsiContext& context, const WideString& dn, const WideString& name,
                            VariantArray* values);
