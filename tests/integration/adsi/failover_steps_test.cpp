// Failover steps a real DC will not show on demand: a server before the DC in the candidates that
// refuses StartTLS, as a new DC does before its certificate arrives.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "adsi/connection.h"
#include "adsi/directory_env.h"
#include "adsi/failover.h"
#include "adsi/pool.h"
#include "adsi/test_hooks.h"

namespace adsi = winapi::adsi;

namespace {

// A listener on loopback that answers the first request of each connection (StartTLS) with
// protocolError, as a server without TLS does, and closes it.
class StartTlsRefuser {
 public:
  StartTlsRefuser() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~StartTlsRefuser() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    if (thread_.joinable()) thread_.join();
  }
  int port() const { return port_; }
  int refused() const { return refused_; }

 private:
  // Each request of a connection in turn: StartTLS is refused with protocolError, as a server
  // without TLS refuses it; a bind on the plain connection that remains would succeed.
  void serve() {
    for (;;) {
      int client = accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      unsigned char request[512];
      for (ssize_t got; (got = read(client, request, sizeof request)) > 0;) {
        // SEQUENCE, its length (short or long form), the message id as INTEGER, then the operation.
        size_t at = 2 + ((got > 1 && (request[1] & 0x80)) ? (request[1] & 0x7f) : 0);
        if (got <= static_cast<ssize_t>(at + 3) || request[at] != 0x02 || request[at + 1] != 1) break;
        unsigned char id = request[at + 2], operation = request[at + 3];
        unsigned char answer[] = {0x30, 0x0c, 0x02, 0x01, id, 0x78, 0x07, 0x0a, 0x01, 0x02, 0x04, 0x00, 0x04, 0x00};
        if (operation == 0x77) {
          ++refused_;
        } else if (operation == 0x60) {
          answer[5] = 0x61;  // a BindResponse
          answer[9] = 0x00;  // success
        } else {
          break;
        }
        if (write(client, answer, sizeof answer) != static_cast<ssize_t>(sizeof answer)) break;
      }
      close(client);
    }
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<int> refused_{0};
  std::thread thread_;
};

TEST(FailoverSteps, AServerThatRefusesStartTlsIsPassedOverForTheNextWithoutBeingMarkedDown) {
  adsi::testing::clearPool();
  StartTlsRefuser refuser;
  ASSERT_NE(refuser.port(), 0);
  adsi::Credentials anonymous;
  anonymous.mode = adsi::BindMode::Anonymous;
  adsi::Endpoint refusing{"127.0.0.1", refuser.port()};
  adsi::Endpoint dc{adsitest::setting("ORVISTAL_TEST_SERVER"), 389};
  std::shared_ptr<adsi::Connection> connection;
  ASSERT_EQ(adsi::acquireConnection({refusing, dc}, anonymous, &connection), S_OK);
  EXPECT_EQ(connection->endpoint().host, dc.host);
  EXPECT_TRUE(connection->encrypted());
  EXPECT_EQ(refuser.refused(), 1);
  EXPECT_FALSE(adsi::isServerDown(refusing)) << "it answered: the next call asks it again";
  adsi::testing::clearPool();
}

}  // namespace
