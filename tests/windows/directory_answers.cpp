#include "directory_answers.h"

#include <cstdlib>

namespace {

struct Names : DirectoryEnvironment {
  std::u16string org, people, bulk, schema, alice;
};

enum class Account { Bind, Administrator, WrongPassword };

struct Call {
  std::string label;
  const char* native;
  std::vector<Argument> arguments;
  Account account = Account::Bind;
  // The values the seeded directory holds at least: both libraries giving fewer (an empty
  // answer on both sides, say) would agree and prove nothing.
  size_t leastValues = 0;
};

Argument text(const std::u16string& value) { return textArgument(value); }

std::vector<Call> initCalls() {
  return {
      {"the bind account", "wInit", {}},
      {"the administrator", "wInit", {}, Account::Administrator},
      {"a wrong password", "wInit", {}, Account::WrongPassword},
  };
}

std::vector<Call> groupNameCalls() {
  return {
      {"a group's account name", "wGetGroupDsn", {text(u"g-devs")}},
      {"no such group", "wGetGroupDsn", {text(u"g-no-such-group")}},
      {"filter characters in the name", "wGetGroupDsn", {text(u"g-devs)(cn=*")}},
      {"an empty name", "wGetGroupDsn", {text(u"")}},
  };
}

std::vector<Call> netbiosCalls(const Names& n) {
  return {
      {"the domain", "wGetNetbiosDomain", {text(n.domain)}},
      {"the domain in capitals", "wGetNetbiosDomain", {text(u"ORVISTAL.TEST")}},
      {"no such domain", "wGetNetbiosDomain", {text(u"no-such.test")}},
      {"an empty name", "wGetNetbiosDomain", {text(u"")}},
  };
}

std::vector<Call> searchCalls(const Names& n) {
  return {
      {"one user by account name", "wSearchNodes", {text(n.org), text(u"(sAMAccountName=alice)")}},
      {"300 users, three pages", "wSearchNodes", {text(n.bulk), text(u"(objectClass=user)")}, Account::Bind, 300},
      {"1,478 attributes, past the server's 1,000 a page", "wSearchNodes",
       {text(n.schema), text(u"(objectClass=attributeSchema)")}, Account::Bind, 1001},
      {"users and contacts of several containers", "wSearchNodes",
       {text(n.org), text(u"(|(objectClass=contact)(sAMAccountName=bulk00*)(cn=Alice*))")}},
      {"a base relative to the domain", "wSearchNodes", {text(u"OU=Bulk,OU=Orvistal"), text(u"(cn=bulk029*)")}},
      {"a filter that matches nothing", "wSearchNodes", {text(n.org), text(u"(sAMAccountName=no-such-account)")}},
      {"a filter the directory refuses", "wSearchNodes", {text(n.org), text(u"(cn=alice")}},
      {"a base that does not exist", "wSearchNodes", {text(u"OU=Nowhere," + n.org), text(u"(objectClass=*)")}},
  };
}

std::vector<Call> valueCalls(const Names& n) {
  auto find = [&](std::string label, const std::u16string& base, const char16_t* attribute, const char16_t* filter,
                  int32_t sizeLimit, int32_t timeLimit, size_t leastValues = 0) {
    return Call{std::move(label),
                "wFindNodeValues",
                {text(base), text(attribute), text(filter), intArgument(sizeLimit), intArgument(timeLimit)},
                Account::Bind,
                leastValues};
  };
  return {
      find("300 descriptions, no limits", n.bulk, u"description", u"(objectClass=user)", 0, 0, 300),
      find("a size limit of 25 of 300", n.bulk, u"description", u"(objectClass=user)", 25, 0),
      find("a time limit of 30 s", n.bulk, u"sAMAccountName", u"(objectClass=user)", 0, 30),
      find("both limits, 5 rows and 10 s", n.bulk, u"cn", u"(cn=bulk01*)", 5, 10),
      find("1,478 names unpaged", n.schema, u"lDAPDisplayName", u"(objectClass=attributeSchema)", 0, 0, 1001),
      find("a size limit of 1,200 of 1,478", n.schema, u"lDAPDisplayName", u"(objectClass=attributeSchema)", 1200, 0),
      find("GUIDs as hexadecimal", n.bulk, u"objectGUID", u"(cn=bulk000*)", 0, 0),
      find("integers as decimal text", n.bulk, u"userAccountControl", u"(cn=bulk000*)", 0, 0),
      find("a column no entry has", n.bulk, u"facsimileTelephoneNumber", u"(objectClass=user)", 0, 0),
      find("a column some entries have", n.org, u"mail", u"(|(sAMAccountName=alice)(cn=bulk000*))", 0, 0),
      find("a filter that matches nothing", n.bulk, u"cn", u"(cn=no-such-*)", 0, 0),
      find("a negative size limit", n.bulk, u"cn", u"(cn=bulk000*)", -1, 0),
  };
}

std::vector<Call> attributeCalls(const Names& n) {
  auto get = [&](std::string label, const std::u16string& base, const char16_t* filter,
                 std::vector<std::u16string> attributes) {
    return Call{std::move(label), "wGetNodeAttributes", {text(base), text(filter), stringsArgument(attributes)}};
  };
  return {
      get("two strings of one user", n.alice, u"(objectClass=*)", {u"mail", u"title"}),
      get("strings, an octet string and a multi-valued attribute", n.org, u"(sAMAccountName=alice)",
          {u"cn", u"objectGUID", u"otherTelephone", u"distinguishedName"}),
      get("the first attribute missing", n.org, u"(sAMAccountName=alice)", {u"facsimileTelephoneNumber", u"mail"}),
      get("the last attribute missing", n.org, u"(sAMAccountName=alice)", {u"mail", u"facsimileTelephoneNumber"}),
      get("a filter that matches nothing", n.org, u"(sAMAccountName=no-such-account)", {u"cn"}),
      get("no attribute names", n.alice, u"(objectClass=*)", {}),
  };
}

// One line a value: an int in hexadecimal, a string quoted, an array as its length and then its
// elements, an object as its class and then every call made on it with its arguments. Rows keep
// the directory's order: Samba sends the same request's rows in the same order, paged or not.
void render(const JavaValue& value, const std::string& indent, std::vector<std::string>* lines) {
  if (value.type != 'L') {
    lines->push_back(indent + hex(static_cast<uint32_t>(value.integer)));
    return;
  }
  const JavaObject* object = value.object;
  if (object == nullptr) {
    lines->push_back(indent + "null");
    return;
  }
  if (object->kind == JavaObject::Kind::String) {
    lines->push_back(indent + "\"" + printable(object->text) + "\"");
    return;
  }
  if (object->kind == JavaObject::Kind::Array) {
    lines->push_back(indent + "array of " + std::to_string(object->elements.size()));
    for (JavaObject* element : object->elements) render(JavaValue{'L', 0, element}, indent + "  ", lines);
    return;
  }
  lines->push_back(indent + (object->type != nullptr ? object->type->name : std::string("?")));
  for (const MethodCall& call : object->calls) {
    lines->push_back(indent + "  " + call.method->name);
    for (const JavaValue& argument : call.arguments) render(argument, indent + "    ", lines);
  }
}

size_t valueCount(const JavaObject* result) {
  const MethodCall* list = result == nullptr ? nullptr : result->callOf("setStringList");
  return list == nullptr || list->arguments[0].object == nullptr ? 0 : list->arguments[0].object->elements.size();
}

std::string describeArguments(const std::vector<Argument>& arguments) {
  std::string shown;
  for (const Argument& argument : arguments) {
    shown += shown.empty() ? "" : ", ";
    if (argument.type == 'I') {
      shown += std::to_string(argument.integer);
    } else if (argument.type == 'A') {
      shown += "[";
      for (size_t i = 0; i < argument.texts.size(); ++i) shown += (i > 0 ? ", " : "") + printable(argument.texts[i]);
      shown += "]";
    } else {
      shown += "\"" + printable(argument.text) + "\"";
    }
  }
  return shown;
}

}  // namespace

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

bool readDirectoryEnvironment(DirectoryEnvironment* names) {
  bool complete = true;
  auto read = [&](const char* name, std::u16string* value) {
    const char* text = std::getenv(name);
    if (text != nullptr && *text != 0) {
      *value = wide(text);
      return;
    }
    std::printf("FAIL: the directory's environment lacks %s\n", name);
    complete = false;
  };
  read("ORVISTAL_TEST_SERVER", &names->server);
  read("ORVISTAL_TEST_DOMAIN", &names->domain);
  read("ORVISTAL_TEST_ADMIN_USER", &names->adminUser);
  read("ORVISTAL_TEST_ADMIN_PASSWORD", &names->adminPassword);
  read("ORVISTAL_TEST_BIND_USER", &names->bindUser);
  read("ORVISTAL_TEST_BIND_PASSWORD", &names->bindPassword);
  read("ORVISTAL_TEST_BASE_DN", &names->baseDn);
  return complete;
}

int writeDirectoryAnswers(TestJvm* jvm, const NativeCaller& call, std::FILE* out) {
  Names n;
  if (!readDirectoryEnvironment(&n)) return -1;
  n.org = u"OU=Orvistal," + n.baseDn;
  n.people = u"OU=People," + n.org;
  n.bulk = u"OU=Bulk," + n.org;
  n.schema = u"CN=Schema,CN=Configuration," + n.baseDn;
  n.alice = u"CN=Alice Liddell," + n.people;

  auto settingsFor = [&](Account account) {
    Settings settings;
    settings.server = n.server;
    settings.user = account == Account::Administrator ? n.adminUser : n.bindUser;
    settings.password = account == Account::Administrator ? n.adminPassword
                        : account == Account::Bind         ? n.bindPassword
                                                           : u"not-the-password";
    return settings;
  };
  std::vector<Call> calls = initCalls();
  for (auto group : {groupNameCalls(), netbiosCalls(n), searchCalls(n), valueCalls(n), attributeCalls(n)})
    calls.insert(calls.end(), group.begin(), group.end());

  int count = 0;
  bool complete = true;
  for (const Call& one : calls) {
    const NativeSignature* signature = signatureOf(one.native);
    uintptr_t value = 0;
    jobject self = newSettings(jvm, settingsFor(one.account));
    if (signature == nullptr || !call(*signature, self, one.arguments, &value)) {
      std::printf("FAIL: %s is not exported\n", one.native);
      return -1;
    }
    std::vector<std::string> lines;
    JavaValue result{'I', static_cast<int32_t>(value), nullptr};
    if (signature->resultClass != nullptr) result = JavaValue{'L', 0, jvm->target(reinterpret_cast<jobject>(value))};
    if (valueCount(result.object) < one.leastValues) {
      std::printf("FAIL: %s (%s) gave %u values, the directory holds at least %u\n", one.native, one.label.c_str(),
                  static_cast<unsigned>(valueCount(result.object)), static_cast<unsigned>(one.leastValues));
      complete = false;
    }
    render(result, "  ", &lines);
    std::fprintf(out, "== %s (%s): %s\n", one.native, one.label.c_str(), describeArguments(one.arguments).c_str());
    for (const std::string& line : lines) std::fprintf(out, "%s\n", line.c_str());
    if (!jvm->pendingException().empty()) std::fprintf(out, "  pending %s\n", jvm->pendingException().c_str());
    for (const std::string& fault : jvm->faults()) std::fprintf(out, "  JNI fault: %s\n", fault.c_str());
    ++count;
  }
  return complete ? count : -1;
}
