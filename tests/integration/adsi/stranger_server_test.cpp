// A server that is not the directory, with a certificate this machine trusts (as anyone who can
// answer a DNS query and holds a certificate for a host of their own has), never receives a
// password: by default it sees no simple bind at all and the call fails; only with
// ORVISTAL_SIMPLE_BIND=1 (ctest runs this file a second time with it) does it receive them.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "activeds.h"
#include "adsi/directory_env.h"
#include "adsi/kerberos_logon.h"
#include "adsi/test_hooks.h"

using namespace adsitest;

namespace {

constexpr char strangerAddress[] = "127.0.0.77";

// An LDAPS listener: openssl's TLS server, with a certificate for its address from the test
// directory's own CA, hands the clear text of its one client at a time to a thread that reads
// LDAP messages, counts the simple binds that carry a password and refuses every bind.
class StrangerServer {
 public:
  explicit StrangerServer(const std::string& folder) {
    std::string ca = setting("ORVISTAL_DC_DIR") + "/dc/private/custom-tls/ca";
    std::ofstream(folder + "/san.ext") << "subjectAltName=IP:" << strangerAddress << "\n";
    std::string make = "cd " + folder +
                       " && openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout key.pem"
                       " -out req.pem -subj /CN=stranger 2>/dev/null && openssl x509 -req -in req.pem -CA " + ca +
                       ".pem -CAkey " + ca + ".key -CAserial serial -CAcreateserial -days 1 -extfile san.ext"
                       " -out cert.pem 2>/dev/null";
    if (std::system(make.c_str()) != 0) return;
    int toServer[2], fromServer[2];
    if (pipe(toServer) != 0 || pipe(fromServer) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(toServer[0], 0);
      dup2(fromServer[1], 1);
      int devNull = ::open("/dev/null", O_WRONLY);
      dup2(devNull, 2);
      std::string accept = std::string(strangerAddress) + ":636";
      std::string cert = folder + "/cert.pem", key = folder + "/key.pem";
      execlp("openssl", "openssl", "s_server", "-quiet", "-accept", accept.c_str(), "-cert", cert.c_str(), "-key",
             key.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(toServer[0]);
    close(fromServer[1]);
    in_ = fromServer[0];
    out_ = toServer[1];
    reader_ = std::thread([this] { serve(); });
    ready_ = waitUntilListening();
  }
  ~StrangerServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    // The server gone, the reader meets the end of its output; only then are the pipes closed.
    if (reader_.joinable()) reader_.join();
    if (in_ >= 0) close(in_);
    if (out_ >= 0) close(out_);
  }
  bool ready() const { return ready_; }
  int simpleBindsWithPassword() const { return simpleBinds_.load(); }
  int binds() const { return binds_.load(); }

 private:
  bool waitUntilListening() {
    for (int attempt = 0; attempt < 100; ++attempt) {
      int probe = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(636);
      inet_pton(AF_INET, strangerAddress, &address.sin_addr);
      bool listening = connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
      close(probe);
      if (listening) return true;
      usleep(50000);
    }
    return false;
  }
  bool readExactly(unsigned char* into, size_t count) {
    while (count > 0) {
      ssize_t got = read(in_, into, count);
      if (got <= 0) return false;
      into += got;
      count -= static_cast<size_t>(got);
    }
    return true;
  }
  // One BER element: its tag, and its content.
  bool readMessage(std::string* content) {
    unsigned char header[2];
    if (!readExactly(header, 2)) return false;
    size_t length = header[1];
    if (header[1] & 0x80) {
      unsigned char bytes[4];
      size_t count = header[1] & 0x7F;
      if (count == 0 || count > 4 || !readExactly(bytes, count)) return false;
      length = 0;
      for (size_t i = 0; i < count; ++i) length = length << 8 | bytes[i];
    }
    content->resize(length);
    return length == 0 || readExactly(reinterpret_cast<unsigned char*>(&(*content)[0]), length);
  }
  // LDAPMessage { messageID, bindRequest [APPLICATION 0] { version, name, simple [0] | sasl [3] } }:
  // every bind is answered invalidCredentials; other requests get no answer.
  void serve() {
    std::string message;
    while (readMessage(&message)) {
      if (message.size() < 5 || message[0] != 0x02) continue;
      size_t idLength = static_cast<unsigned char>(message[1]);
      if (idLength > 4 || message.size() < 2 + idLength + 2) continue;
      std::string id = message.substr(0, 2 + idLength);
      size_t op = 2 + idLength;
      if (static_cast<unsigned char>(message[op]) != 0x60) continue;
      ++binds_;
      // The request's content: version (3 bytes), the name, then the authentication choice.
      size_t at = op + 2 + ((message[op + 1] & 0x80) ? (message[op + 1] & 0x7F) : 0) + 3;
      if (at + 2 > message.size() || message[at] != 0x04) continue;
      size_t nameLength = static_cast<unsigned char>(message[at + 1]);
      size_t choice = at + 2 + nameLength;
      if (choice + 2 <= message.size() && static_cast<unsigned char>(message[choice]) == 0x80 &&
          message[choice + 1] != 0)
        ++simpleBinds_;
      std::string response = id + "\x61\x07\x0a\x01\x31\x04\x00\x04\x00";
      response = std::string("\x30", 1) + static_cast<char>(response.size()) + response;
      if (write(out_, response.data(), response.size()) < 0) return;
    }
  }

  bool ready_ = false;
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  std::thread reader_;
  std::atomic<int> simpleBinds_{0};
  std::atomic<int> binds_{0};
};

class StrangerServerTest : public DirectoryTest {};

TEST_F(StrangerServerTest, ReceivesAPasswordOnlyWhenSimpleBindsAreAllowed) {
  char folder[] = "/tmp/orvistal-stranger-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  // It holds a key the test CA signed: gone however the test ends.
  std::unique_ptr<char, void (*)(char*)> removed(folder, [](char* made) {
    std::system((std::string("rm -rf ") + made).c_str());
  });
  {
    StrangerServer stranger(folder);
    ASSERT_TRUE(stranger.ready()) << "no TLS listener on " << strangerAddress << ":636";
    std::string server = std::string(strangerAddress) + ":636";
    // The settings' account binding an object there, and a password check sent there.
    Ptr<IADs> object;
    EXPECT_TRUE(FAILED(open("LDAP://" + server + "/RootDSE", s.bindUser, s.bindPassword, ADS_SECURE_AUTHENTICATION,
                            IID_IADs, object.put())));
    Ptr<IADsNameTranslate> translate;
    ASSERT_EQ(CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_ALL, IID_IADsNameTranslate, translate.put()), S_OK);
    EXPECT_TRUE(FAILED(translate->InitEx(ADS_NAME_INITTYPE_SERVER, Bstr(server).b, Bstr(s.bindUser).b, Bstr("").b,
                                         Bstr(s.bindPassword).b)));
    if (winapi::adsi::simpleBindsAllowed()) {
      EXPECT_EQ(stranger.simpleBindsWithPassword(), 2);
    } else {
      EXPECT_EQ(stranger.simpleBindsWithPassword(), 0);
      EXPECT_EQ(stranger.binds(), 0) << "not even a Kerberos bind: the KDC knows no such service";
    }
  }
}

}  // namespace
