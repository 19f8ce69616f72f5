// What the first read of an object in a call (its bind's, or a name translation's) asks for, by
// name: its classes (and what a translation renders), and the attributes that calls have lately
// gone on to load. Read whole, a user costs the server (Samba) twice as much. Only names are learned
// from the calls, never values; a name no call has loaded for a while is no longer asked for.
#pragma once
#include <string>
#include <vector>

#include <ldap.h>

namespace winapi::adsi {

// The classes and what a name translation renders.
const std::vector<std::string>& namesATranslationReads();
// A lookup is a search for one object by name, read as a translation reads it.
enum class FirstRead { bind, groupBind, translation, lookup };
// Through which interface a call loads what it reads of a bound object: the property cache's
// (IADs and its kin: Get, GetInfoEx) or the directory object's (GetObjectAttributes). Names are
// learned for the one they were loaded through, and asked by the binds that hand it out: the
// access check loads the security descriptor through the directory object, and a read of it
// costs Samba a third more, which no ordinary bind should pay.
enum class LoadPath { propertyCache, directoryObject };
// The classes (a group's primaryGroupToken and members too; for a translation or a lookup,
// namesATranslationReads) and the attributes calls have lately loaded through that path, each
// once; a lookup leaves out those a server refused in one.
std::vector<std::string> firstReadNames(FirstRead kind, LoadPath path = LoadPath::propertyCache);
// Whether a first read failed for what it asked (a result code of the server's own, not a missing
// or misnamed object, a referral or a transport that failed): asking fewer names may then succeed.
bool refusedWhatWasAsked(int code);
// The controls of a first read of these names: the descriptor's flags when they name it.
LDAPControl** firstReadControls(const std::vector<std::string>& requested);
// A server refused a lookup that asked for these names: such a search can refuse a name that a
// read of the object gives (a constructed attribute, as tokenGroups). The learned ones among them
// are no longer asked for in lookups.
void noteRefusedInLookups(const std::vector<std::string>& names);
// The names a call loaded from an object through that path: learned, or kept fresh, for the first
// reads to come.
void noteNamesLoaded(const std::vector<std::string>& names, LoadPath path = LoadPath::propertyCache);

}  // namespace winapi::adsi
