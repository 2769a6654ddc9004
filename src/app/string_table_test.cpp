#include "app/string_table.h"

#include <gtest/gtest.h>

namespace kerro {
namespace {

TEST(StringTable, MessagesWithTheirArgument) {
  EXPECT_EQ(FormatMessage(kMessageReadError, "C:\\A.CE2"), "File read error. \"C:\\A.CE2\"");
  EXPECT_EQ(FormatMessage(kMessageWriteError, "/x/B.CE2"), "File write error. \"/x/B.CE2\"");
  EXPECT_EQ(FormatMessage(kMessageFinished), "Finished");
  EXPECT_EQ(FormatMessage(kMessageInitialOutOfRange), "Initial value is out of range.");
  EXPECT_EQ(FormatMessage(kMessageStepOutOfRange), "Step value is out of range.");
  // An argument that itself holds "%1" is not expanded again.
  EXPECT_EQ(FormatMessage(kMessageReadError, "%1"), "File read error. \"%1\"");
  EXPECT_TRUE(MessageText(101).empty());
}

}  // namespace
}  // namespace kerro
