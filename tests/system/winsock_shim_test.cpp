// The Winsock binding: start-up, the error numbering and the two mappings.
#include "tests/system/SystemTestSupport.h"

#include <utility>
#include <vector>

#include "system/SocketImp.h"

namespace {

class WinsockShimTest : public SocketTest {};

TEST_F(WinsockShimTest, TheLayerStartedAtStartUpAndStartsAgainWithoutLoading) {
  EXPECT_TRUE(SocketsStarted());
  EXPECT_EQ(StartSockets(), 0);
  EXPECT_EQ(StartSockets(), 0);
  EXPECT_TRUE(LoadWinsockShim());
  // Skipped while started: the table loaded at start-up stays as it is.
  EXPECT_TRUE(LoadLegacyWinsockTable());
  EXPECT_EQ(LegacyWinsockEntryCount(), 21);
}

TEST_F(WinsockShimTest, TCPMappingFoldsTheBSDNumbersIntoTheLanguageCodes) {
  const std::vector<std::pair<int32_t, int32_t>> expected = {
      {1, 107},  {13, 107}, {49, 49},  {12, 108}, {23, 108}, {55, 108},  {32, 102},
      {52, 102}, {53, 102}, {54, 102}, {48, 105}, {51, 103}, {57, 103},  {60, 103},
      {61, 103}, {22, 22},  {4, 4},    {9, 9},    {56, 56},  {100, 100}, {0, 0}};
  for (const auto& [bsd, code] : expected) EXPECT_EQ(MapTCPSocketError(bsd), code) << bsd;
}

TEST_F(WinsockShimTest, UDPMappingDiffersOnlyIn49And52And54) {
  for (int32_t bsd = -1; bsd < 200; ++bsd) {
    if (bsd == 49 || bsd == 52 || bsd == 54) continue;
    EXPECT_EQ(MapUDPSocketError(bsd), MapTCPSocketError(bsd)) << bsd;
  }
  EXPECT_EQ(MapUDPSocketError(49), 107);
  EXPECT_EQ(MapUDPSocketError(52), 52);
  EXPECT_EQ(MapUDPSocketError(54), 54);
}

TEST_F(WinsockShimTest, OnlyWouldBlockInProgressAndAlreadyAreInProgress) {
  for (int32_t bsd = 0; bsd < 120; ++bsd) {
    EXPECT_EQ(IsInProgressError(bsd), bsd == 35 || bsd == 36 || bsd == 37) << bsd;
  }
}

TEST_F(WinsockShimTest, SocketErrnoGivesTheWinsockCodeMinus10000) {
  SOCKET fresh = shim::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_NE(fresh, INVALID_SOCKET);
  sockaddr_in peer{};
  int length = sizeof peer;
  EXPECT_NE(shim::getpeername(fresh, reinterpret_cast<sockaddr*>(&peer), &length), 0);
  EXPECT_EQ(SocketErrno(), 57);
  raw::Close(fresh);
}

}  // namespace
