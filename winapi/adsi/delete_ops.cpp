// IADsDeleteOps: an object deletes itself, with everything below it.
#include "adserr.h"
#include "adsi/call_entries.h"
#include "adsi/com_guard.h"
#include "adsi/controls.h"
#include "adsi/object.h"

namespace winapi::adsi {

// One delete with the tree-delete control, for a leaf as for an object with children: the
// server removes the subtree in one operation, or nothing when it refuses.
HRESULT DirectoryObject::DeleteObject(LONG lnFlags) try {
  if (lnFlags != 0) return E_INVALIDARG;
  if (setup_.created) return E_ADS_OBJECT_UNBOUND;
  LDAPControl* controls[] = {treeDeleteControl(), nullptr};
  forgetEntriesOfThisCall();
  LdapOutcome outcome = setup_.connection->remove(displayDn(), controls);
  if (!outcome.ok()) return failWith(outcome);
  return S_OK;
} catch (...) {
  return hresultOfCurrentException();
}

}  // namespace winapi::adsi
