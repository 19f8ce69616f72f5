// The test whether an object is a group.
#include "directory/adsi_context.h"

// An object is a group exactly when it can be bound as one.
HRESULT AdsiContext::isGroupNode(const WideString& dn) const {
  ComPtr<IADsGroup> group;
  return bindGroup(dn, group.put());
}
