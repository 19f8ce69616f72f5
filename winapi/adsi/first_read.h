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
enum class FirstRead { bind, groupBind, translation };
// The classes (a group's primaryGroupToken and members too; for a translation,
// namesATranslationReads) and the attributes calls have lately loaded, each once.
std::vector<std::string> firstReadNames(FirstRead kind);
// The controls of a first read of these names: the descriptor's flags when they name it.
LDAPControl** firstReadControls(const std::vector<std::string>& requested);
// The names a call loaded from an object: learned, or kept fresh, for the first reads to come.
void noteNamesLoaded(const std::vector<std::string>& names);

}  // namespace winapi::adsi
