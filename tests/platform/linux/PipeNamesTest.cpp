// The listing of pipe names: the live sockets of the name mapping in the
// socket directory that TMPDIR names.
#include "PipeNames.h"
#include "EnvironmentSetting.h"
#include "SocketPeer.h"
#include "TempDirectory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {
using Words = std::vector<std::string>;

TEST(PipeNamesTest, AreTheLiveSocketsOfTheMapping) {
  const TempDirectory directory("skellan-names");
  const EnvironmentSetting tmpdir("TMPDIR", directory.Path());
  EXPECT_EQ(PipeNames::List(), Words{});
  std::vector<SocketPeer> live(4);
  const char *const liveFiles[] = {"CoreFxPipe_beta", "CoreFxPipe_alpha", "CoreFxPipe_", "other"};
  for (std::size_t i = 0; i < live.size(); ++i)
    ASSERT_EQ(live[i].Listen(directory.Path() + "/" + liveFiles[i]), 0) << liveFiles[i];
  ASSERT_EQ(SocketPeer::LeaveStale(directory.Path() + "/CoreFxPipe_stale"), 0);
  std::ofstream(directory.Path() + "/CoreFxPipe_file") << "no socket";
  EXPECT_EQ(PipeNames::List(), (Words{"alpha", "beta"}));
}
} // namespace
