#include "core/platform/proc_table.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

TEST(ProcTableTest, FindsListeningSocketsOfAPortInBothTables) {
  // Port 8080 is 1F90. Only LISTEN (0A) lines on that local port count.
  const char* tcp =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
      "   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 41001 1 0 100 0 0 10 0\n"
      "   1: 0100007F:1F90 0100007F:D2F0 01 00000000:00000000 00:00000000 00000000  1000        0 41002 1 0 20 4 30 10 -1\n"
      "   2: 00000000:1F91 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 41003 1 0 100 0 0 10 0\n"
      "   3: 0100007F:0050 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 41004 1 0 100 0 0 10 0\n"
      "   4: garbage\n"
      "   5: 0100007F:ZZZZ 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 41005\n"
      "   6: 00000000:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 41006 1 0 100 0 0 10 0";
  const char* tcp6 =
      "  sl  local_address                         remote_address                        st tx_queue rx_queue tr "
      "tm->when retrnsmt   uid  timeout inode\n"
      "   0: 00000000000000000000000001000000:1F90 00000000000000000000000000000000:0000 0A 00000000:00000000 "
      "00:00000000 00000000  1000        0 52001 1 0 100 0 0 10 0\n"
      "   1: 00000000000000000000000001000000:1F90 00000000000000000000000001000000:A000 06 00000000:00000000 "
      "03:00000F2C 00000000     0        0 0 3 0\n";

  EXPECT_EQ(parseListeningSocketInodes(tcp, 8080), (std::vector<std::uint64_t>{41001, 41006}));
  EXPECT_EQ(parseListeningSocketInodes(tcp, 80), (std::vector<std::uint64_t>{41004}));
  EXPECT_EQ(parseListeningSocketInodes(tcp, 8082), (std::vector<std::uint64_t>{}));
  EXPECT_EQ(parseListeningSocketInodes(tcp6, 8080), (std::vector<std::uint64_t>{52001}));

  // A connection from port D2F0 (54000) to 8080 is line 1 seen from the other end; only
  // ESTABLISHED (01) lines count, so the TIME_WAIT one of tcp6 (inode 0, port A000) does not.
  const char* client =
      "   7: 0100007F:D2F0 0100007F:1F90 01 00000000:00000000 00:00000000 00000000  1000        0 41007 1 0 20 4 30 10 -1\n";
  EXPECT_EQ(parseConnectedSocketInodes(std::string(tcp) + "\n" + client, 54000, 8080), (std::vector<std::uint64_t>{41007}));
  EXPECT_EQ(parseConnectedSocketInodes(tcp, 8080, 54000), (std::vector<std::uint64_t>{41002}));
  EXPECT_EQ(parseConnectedSocketInodes(tcp6, 40960, 8080), (std::vector<std::uint64_t>{}));
}

}  // namespace
}  // namespace qs
