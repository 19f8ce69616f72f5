// Objects read earlier in the same native call. The ordinary bind of an object reads all of
// its ordinary attributes in the one request that shows it exists, and a name translation
// reads the whole object it names; later binds of that object, and loads of its attributes,
// within the same call are answered from that read instead of asking the server again. What
// the server gives only when asked by name (constructed attributes such as tokenGroups), or
// cut short (range retrieval), is still asked for.
//
// Kept for the calling thread alone, and only within its current entry into its COM apartment
// (one native call): nothing read here is seen by a later call. Every write the provider sends
// forgets them all, so a call that changes an object and reads it again sees the change.
#pragma once
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "adsi/connection.h"
#include "adsi/object.h"

namespace winapi::adsi {

struct EntryOfThisCall {
  std::string dn;
  bool whole = false;                // every ordinary attribute was read ("*")
  PropertyMap ordinary;              // what that read gave
  std::set<std::string> cut;         // lower-case names the server cut short: asked for again
  PropertyMap named;                 // attributes asked for by name beside those
  std::set<std::string> namesAsked;  // lower-case names asked for by name, there or not
};

// The attributes of a base-scope result entry, by lower-case name; those the server cut short
// (";range=") are left out, their names going to cut.
void entryProperties(LDAP* ld, LDAPMessage* entry, PropertyMap* out, std::set<std::string>* cut);

// What this call read of the object that this connection names so; null when nothing.
const EntryOfThisCall* entryOfThisCall(const Connection* connection, const std::string& name);
// Adds a read of the object to what this call knows of it. A whole read replaces the earlier
// ones; a read by name adds those names. Outside a COM apartment nothing is kept.
void rememberWholeEntry(const std::shared_ptr<Connection>& connection, const std::string& name, const std::string& dn,
                        PropertyMap ordinary, std::set<std::string> cut);
void rememberNamedAttributes(const std::shared_ptr<Connection>& connection, const std::string& name,
                             const std::vector<std::string>& names, const PropertyMap& read);
// What the entry holds of these names, into out; the names it cannot answer go to missing.
// No names asks for every ordinary attribute: answered (true) only by a whole read with
// nothing cut, else nothing is filled.
bool answerFromEntry(const EntryOfThisCall& entry, const std::vector<std::string>& names, PropertyMap* out,
                     std::vector<std::string>* missing);
// After any write: the call reads the server again.
void forgetEntriesOfThisCall();

}  // namespace winapi::adsi
