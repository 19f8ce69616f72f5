// Objects read earlier in the same native call. The ordinary bind of an object, and a name
// translation, read in the one request that shows it exists what the call is likely to load of
// it (firstReadNames); later binds of that object, and loads of its attributes, within the same
// call are answered from that read (or from a search's whole row) instead of asking the server
// again. What no read of the call asked for, or what the server cut short (range retrieval), is
// asked for.
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
#include "adsi/first_read.h"
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
                             const std::vector<std::string>& names, PropertyMap read);

// Whether the entry settles all that a name translation reads.
bool entryHoldsWhatATranslationReads(const EntryOfThisCall& entry);
// What a first read (names requested) gave, with the object's distinguished name; names the
// server cut short (range retrieval) are asked for again when loaded.
void rememberFirstRead(const std::shared_ptr<Connection>& connection, const std::string& name, const std::string& dn,
                       const std::vector<std::string>& requested, PropertyMap read,
                       const std::set<std::string>& cut);
// The values the entry surely holds of a lower-case name (null: the object has none); false
// when the entry does not settle the name.
bool entrySettles(const EntryOfThisCall& entry, const std::string& key, const CachedProperty** values);

// What the entry holds of these names, into out; the names it cannot answer go to missing.
// No names asks for every ordinary attribute: answered (true) only by a whole read with
// nothing cut, else nothing is filled.
bool answerFromEntry(const EntryOfThisCall& entry, const std::vector<std::string>& names, PropertyMap* out,
                     std::vector<std::string>* missing);
// After any write: the call reads the server again.
void forgetEntriesOfThisCall();

}  // namespace winapi::adsi
